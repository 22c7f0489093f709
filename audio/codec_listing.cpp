#include "audio/codec_listing.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <new>

namespace marrowdale {

namespace {

constexpr std::size_t kNameChars = 90;
constexpr std::uint32_t kDescriptionChars = 300;

// Cuts `text` after kCodecListLineChars characters (UTF-8 sequences are kept whole).
void limitLine(std::string& text) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xC0) != 0x80) {
            if (chars == kCodecListLineChars) {
                text.resize(i);
                return;
            }
            ++chars;
        }
    }
}

class Listing {
  public:
    Listing(int detailLevel, std::vector<std::string>& lines)
        : detailLevel_(detailLevel), lines_(lines) {}

    __attribute__((format(printf, 2, 3))) void put(const char* format, ...) {
        va_list args;
        va_start(args, format);
        va_list copy;
        va_copy(copy, args);
        const int size = std::vsnprintf(nullptr, 0, format, copy);
        va_end(copy);
        std::string text;
        if (size > 0) {
            text.resize(static_cast<std::size_t>(size));
            std::vsnprintf(text.data(), text.size() + 1, format, args);
        }
        va_end(args);
        limitLine(text);
        lines_.push_back(std::move(text));
    }

    void listCodecInfo(CodecInfo& info) {
        std::uint32_t count = 0;
        if (failed(info.getCodecInfoCount(kMediaTypeAudio, &count))) {
            put("Could not get the count of audio codecs.\n");
            return;
        }
        put("Number of audio codecs: %d\n\n", static_cast<int>(count));
        if (!listCodecsOf(info, kMediaTypeAudio, count))
            return;
        if (detailLevel_ < 2)
            return;
        if (failed(info.getCodecInfoCount(kMediaTypeVideo, &count))) {
            put("Could not get the count of video codecs.\n");
            return;
        }
        put("\n\nNumber of video codecs: %d.\n\n", static_cast<int>(count));
        listCodecsOf(info, kMediaTypeVideo, count);
    }

  private:
    // False when a "Could not" line ended the listing.
    bool listCodecsOf(CodecInfo& info, const Guid& mediaType, std::uint32_t count) {
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint32_t length = 0;
            if (failed(info.getCodecName(mediaType, i, nullptr, &length))) {
                put("Could not get the size of the codec name.\n");
                return false;
            }
            std::unique_ptr<char[]> name(new (std::nothrow) char[std::size_t{length} + 1]);
            if (!name) {
                put("Could not allocate memory.\n");
                return false;
            }
            name[0] = '\0';
            name[length] = '\0';
            if (failed(info.getCodecName(mediaType, i, name.get(), &length))) {
                put("Could not get the codec name.\n");
                return false;
            }
            put("%d %s\n", static_cast<int>(i), name.get());
            name.reset();
            listCodecFormats(info, mediaType, i);
        }
        return true;
    }

    void listCodecFormats(CodecInfo& info, const Guid& mediaType, std::uint32_t codec) {
        std::uint32_t formatCount = 0;
        if (failed(info.getCodecFormatCount(mediaType, codec, &formatCount)))
            formatCount = 0;
        put("\tFound %lu formats\n", static_cast<unsigned long>(formatCount));
        std::vector<char> description(kDescriptionChars);
        for (std::uint32_t j = 0; j < formatCount; ++j) {
            std::fill(description.begin(), description.end(), '\0');
            std::unique_ptr<StreamConfig> config;
            std::uint32_t descriptionLength = kDescriptionChars;
            if (failed(info.getCodecFormatDesc(mediaType, codec, j, &config, description.data(),
                                               &descriptionLength)))
                description[0] = '\0';
            std::uint32_t bitrate = 0;
            std::uint32_t bufferWindow = 0;
            std::string connectionName;
            std::string streamName;
            if (config) {
                if (failed(config->getBitrate(&bitrate)))
                    bitrate = 0;
                if (failed(config->getConnectionName(&connectionName, kNameChars)))
                    connectionName.clear();
                if (failed(config->getStreamName(&streamName, kNameChars)))
                    streamName.clear();
                if (failed(config->getBufferWindow(&bufferWindow)))
                    bufferWindow = 0;
            }
            put("\t%lu Stream %s, Conn %s, bps %lu, bufWin %lu\n%s\n",
                static_cast<unsigned long>(j + 1), streamName.c_str(), connectionName.c_str(),
                static_cast<unsigned long>(bitrate), static_cast<unsigned long>(bufferWindow),
                description.data());
            if (!config) {
                if (detailLevel_ > 3)
                    put("Format %lu not available.\n", static_cast<unsigned long>(j + 1));
                continue;
            }
            MediaProps* props = nullptr;
            const bool haveProps = succeeded(config->queryMediaProps(&props)) && props != nullptr;
            MediaType type;
            std::uint32_t size = kCodecListMediaTypeBuffer;
            const HResult fetched = haveProps ? props->getMediaType(&type, &size) : E_NOINTERFACE;
            if (detailLevel_ > 3) {
                if (succeeded(fetched)) {
                    listMediaTypeDetails(type);
                } else if (fetched == ASF_E_BUFFERTOOSMALL) {
                    put("Media type of %lu bytes not shown: larger than %lu bytes.\n",
                        static_cast<unsigned long>(size),
                        static_cast<unsigned long>(kCodecListMediaTypeBuffer));
                } else {
                    put("Media type not available.\n");
                }
            }
        }
    }

    void listMediaTypeDetails(const MediaType& type) {
        const std::string major = guidToRegistryString(type.majorType);
        const std::string minor = guidToRegistryString(type.subtype);
        put("Major Type:  %s\n", major.c_str());
        put("nMinor Type:  %s\n", minor.c_str());
        put("Fixed Size Samples:  %s\n", type.fixedSizeSamples ? "Yes" : "No");
        put("nSample Size: %lu\n", static_cast<unsigned long>(type.sampleSize));
        WaveFormatEx wave;
        if (type.formatType == kFormatTypeWaveFormatEx && decodeWaveFormat(type.format, &wave)) {
            put("WaveFormatEx:\n");
            put("Samples per Second:   %u\n", static_cast<unsigned>(wave.samplesPerSec));
            put("Average bytes per Second:  %lu\n",
                static_cast<unsigned long>(wave.avgBytesPerSec));
            put("Block Align:  %lu\n", static_cast<unsigned long>(wave.blockAlign));
            put("Bits per Sample:  %lu\n", static_cast<unsigned long>(wave.bitsPerSample));
            put("nFormat Tag:  %lu\n", static_cast<unsigned long>(wave.formatTag));
        }
    }

    int detailLevel_;
    std::vector<std::string>& lines_;
};

}  // namespace

std::vector<std::string> listCodecs(MediaFormatService& service, int detailLevel,
                                    bool firstListing) {
    std::vector<std::string> lines;
    Listing listing(detailLevel, lines);
    if (firstListing)
        listing.put("System Codecs");
    std::unique_ptr<ProfileManager> manager;
    if (failed(service.createProfileManager(&manager)) || !manager) {
        listing.put("Could not create the profile manager.\n");
        return lines;
    }
    std::shared_ptr<CodecInfo> info;
    if (failed(manager->queryCodecInfo(&info)) || !info) {
        listing.put("Could not get the codec information service.\n");
        return lines;
    }
    listing.listCodecInfo(*info);
    return lines;
}

}  // namespace marrowdale
