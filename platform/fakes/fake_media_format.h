// A media format service for tests: a codec catalogue built by the test, with failures that
// can be injected into any call, and a writer that records what it is asked to do.
#pragma once

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "platform/codec_catalogue.h"
#include "platform/media_writer.h"

namespace marrowdale {

// Failures of one format's stream configuration.
struct FakeFormatFaults {
    HResult queryMediaProps = S_OK;
    HResult mediaTypeSize = S_OK;   // the size query of the media type
    HResult mediaTypeFetch = S_OK;  // the fetch itself
    HResult bitrate = S_OK;
    HResult names = S_OK;
    HResult bufferWindow = S_OK;
};

class FakeStreamConfig final : public BasicStreamConfig {
  public:
    FakeStreamConfig(const CodecFormatEntry& format, FakeFormatFaults faults)
        : BasicStreamConfig(format), faults_(faults) {}
    HResult queryMediaProps(MediaProps** props) override {
        if (failed(faults_.queryMediaProps))
            return faults_.queryMediaProps;
        return BasicStreamConfig::queryMediaProps(props);
    }
    HResult getMediaType(MediaType* type, std::uint32_t* size) override {
        if (type == nullptr && failed(faults_.mediaTypeSize))
            return faults_.mediaTypeSize;
        if (type != nullptr && failed(faults_.mediaTypeFetch))
            return faults_.mediaTypeFetch;
        return BasicStreamConfig::getMediaType(type, size);
    }
    HResult getBitrate(std::uint32_t* v) override {
        return failed(faults_.bitrate) ? faults_.bitrate : BasicStreamConfig::getBitrate(v);
    }
    HResult getBufferWindow(std::uint32_t* v) override {
        return failed(faults_.bufferWindow) ? faults_.bufferWindow
                                            : BasicStreamConfig::getBufferWindow(v);
    }
    HResult getStreamName(std::string* n, std::size_t max) override {
        return failed(faults_.names) ? faults_.names : BasicStreamConfig::getStreamName(n, max);
    }
    HResult getConnectionName(std::string* n, std::size_t max) override {
        return failed(faults_.names) ? faults_.names : BasicStreamConfig::getConnectionName(n, max);
    }

  private:
    FakeFormatFaults faults_;
};

class FakeCodecInfo final : public CatalogueCodecInfo {
  public:
    explicit FakeCodecInfo(std::shared_ptr<const CodecCatalogue> catalogue)
        : CatalogueCodecInfo(std::move(catalogue)) {}

    // A failing call: the hook returns the result for (call, media type, codec, format), S_OK
    // to let the call go through. Calls: "count", "nameSize", "name", "formatCount",
    // "format", "formatDesc". Indices that do not apply are 0.
    std::function<HResult(const std::string&, const Guid&, std::uint32_t, std::uint32_t)> fail;
    // Faults of the configuration of (video?, codec, format).
    std::map<std::tuple<bool, std::uint32_t, std::uint32_t>, FakeFormatFaults> formatFaults;
    // Format counts reported instead of the catalogue's, by (video?, codec).
    std::map<std::pair<bool, std::uint32_t>, std::uint32_t> formatCountOverride;
    // What was asked, in order: "format a/0/3" = getCodecFormat(audio, codec 0, format 3).
    std::vector<std::string> calls;

    HResult getCodecInfoCount(const Guid& mediaType, std::uint32_t* count) override {
        if (HResult hr = hook("count", mediaType, 0, 0); failed(hr))
            return hr;
        return CatalogueCodecInfo::getCodecInfoCount(mediaType, count);
    }
    HResult getCodecName(const Guid& mediaType, std::uint32_t codec, char* name,
                         std::uint32_t* length) override {
        if (HResult hr = hook(name == nullptr ? "nameSize" : "name", mediaType, codec, 0);
            failed(hr))
            return hr;
        return CatalogueCodecInfo::getCodecName(mediaType, codec, name, length);
    }
    HResult getCodecFormatCount(const Guid& mediaType, std::uint32_t codec,
                                std::uint32_t* count) override {
        if (HResult hr = hook("formatCount", mediaType, codec, 0); failed(hr))
            return hr;
        const auto it = formatCountOverride.find({mediaType == kMediaTypeVideo, codec});
        if (it != formatCountOverride.end() && count != nullptr) {
            *count = it->second;
            return S_OK;
        }
        return CatalogueCodecInfo::getCodecFormatCount(mediaType, codec, count);
    }
    HResult getCodecFormat(const Guid& mediaType, std::uint32_t codec, std::uint32_t index,
                           std::unique_ptr<StreamConfig>* config) override {
        if (HResult hr = hook("format", mediaType, codec, index); failed(hr))
            return hr;
        return make(mediaType, codec, index, config);
    }
    HResult getCodecFormatDesc(const Guid& mediaType, std::uint32_t codec, std::uint32_t index,
                               std::unique_ptr<StreamConfig>* config, char* description,
                               std::uint32_t* length) override {
        if (HResult hr = hook("formatDesc", mediaType, codec, index); failed(hr))
            return hr;
        const auto* entry = format(mediaType, codec, index);
        if (entry == nullptr)
            return E_INVALIDARG;
        const HResult copied = copyTextOut(entry->description, description, length);
        if (failed(copied))
            return copied;
        return make(mediaType, codec, index, config);
    }

  private:
    HResult hook(const char* call, const Guid& mediaType, std::uint32_t codec,
                 std::uint32_t index) {
        calls.push_back(std::string(call) + (mediaType == kMediaTypeVideo ? " v/" : " a/") +
                        std::to_string(codec) + "/" + std::to_string(index));
        return fail ? fail(call, mediaType, codec, index) : S_OK;
    }
    HResult make(const Guid& mediaType, std::uint32_t codec, std::uint32_t index,
                 std::unique_ptr<StreamConfig>* config) {
        if (config == nullptr)
            return E_POINTER;
        const auto* entry = format(mediaType, codec, index);
        if (entry == nullptr)
            return E_INVALIDARG;
        FakeFormatFaults faults;
        const auto it = formatFaults.find({mediaType == kMediaTypeVideo, codec, index});
        if (it != formatFaults.end())
            faults = it->second;
        *config = std::make_unique<FakeStreamConfig>(*entry, faults);
        return S_OK;
    }
};

// What a fake writer was asked to do; it outlives the writer.
struct FakeWriterLog {
    struct Sample {
        std::uint64_t time100ns = 0;
        std::uint32_t allocated = 0;
        std::uint32_t length = 0;
        std::vector<std::int16_t> pcm;
    };
    std::mutex mutex;
    std::vector<std::string> calls;  // "setOutputFilename test.wma", "beginWriting", ...
    std::vector<Sample> samples;
    std::string outputFilename;
    std::vector<ProfileStream> profileStreams;
    std::string profileName;
    bool liveSource = false;
    MediaType input;
    bool writing = false;
    int writersAlive = 0;
    int samplesAlive = 0;
};

// Results the fake writer gives.
struct FakeWriterResults {
    HResult setProfile = S_OK;
    HResult queryAdvanced = S_OK;
    HResult beginWriting = S_OK;
    HResult endWriting = S_OK;
    HResult allocateSample = S_OK;
    HResult sampleBuffer = S_OK;
    HResult writeSample = S_OK;
    int failWriteSampleAt = -1;  // fail only the write with this index (0 based), -1: all
};

class FakeMediaSample final : public MediaSample {
  public:
    FakeMediaSample(std::shared_ptr<FakeWriterLog> log, std::uint32_t size, HResult bufferResult)
        : log_(std::move(log)), data_(size), bufferResult_(bufferResult) {
        std::lock_guard lock(log_->mutex);
        ++log_->samplesAlive;
    }
    ~FakeMediaSample() override {
        std::lock_guard lock(log_->mutex);
        --log_->samplesAlive;
    }
    HResult getBufferAndLength(std::uint8_t** data, std::uint32_t* max) override {
        if (failed(bufferResult_))
            return bufferResult_;
        *data = data_.data();
        *max = static_cast<std::uint32_t>(data_.size());
        return S_OK;
    }
    HResult setLength(std::uint32_t length) override {
        if (length > data_.size())
            return E_INVALIDARG;
        length_ = length;
        return S_OK;
    }
    std::uint32_t length() const override { return length_; }
    std::uint32_t allocated() const { return static_cast<std::uint32_t>(data_.size()); }
    const std::vector<std::uint8_t>& bytes() const { return data_; }

  private:
    std::shared_ptr<FakeWriterLog> log_;
    std::vector<std::uint8_t> data_;
    HResult bufferResult_;
    std::uint32_t length_ = 0;
};

class FakeMediaWriter final : public MediaWriter, public WriterAdvanced {
  public:
    FakeMediaWriter(std::shared_ptr<FakeWriterLog> log, FakeWriterResults results)
        : log_(std::move(log)), results_(results) {
        std::lock_guard lock(log_->mutex);
        ++log_->writersAlive;
    }
    ~FakeMediaWriter() override {
        std::lock_guard lock(log_->mutex);
        --log_->writersAlive;
        log_->calls.push_back("release");
    }
    HResult setOutputFilename(const std::string& path) override {
        note("setOutputFilename " + path);
        log_->outputFilename = path;
        return S_OK;
    }
    HResult setProfile(const Profile& profile) override {
        note("setProfile");
        if (failed(results_.setProfile))
            return results_.setProfile;
        streams_ = profile.streams();
        log_->profileStreams = profile.streams();
        log_->profileName = profile.name();
        return S_OK;
    }
    HResult queryAdvanced(WriterAdvanced** advanced) override {
        if (failed(results_.queryAdvanced))
            return results_.queryAdvanced;
        *advanced = this;
        return S_OK;
    }
    HResult setLiveSource(bool live) override {
        note(live ? "setLiveSource 1" : "setLiveSource 0");
        log_->liveSource = live;
        return S_OK;
    }
    HResult getInputFormatCount(std::uint32_t, std::uint32_t* count) override {
        *count = streams_.empty() ? 0 : 1;
        return S_OK;
    }
    HResult getInputFormat(std::uint32_t input, std::uint32_t index, MediaType* type) override {
        note("getInputFormat " + std::to_string(input) + " " + std::to_string(index));
        WaveFormatEx wave;
        if (streams_.empty() || index != 0 ||
            !decodeWaveFormat(streams_[0].mediaType.format, &wave))
            return E_INVALIDARG;
        *type = waveMediaType(kWaveFormatPcm, wave.channels, wave.samplesPerSec, 16);
        return S_OK;
    }
    HResult setInputProps(std::uint32_t input, const MediaType& type) override {
        note("setInputProps " + std::to_string(input));
        log_->input = type;
        return S_OK;
    }
    HResult beginWriting() override {
        note("beginWriting");
        if (failed(results_.beginWriting))
            return results_.beginWriting;
        log_->writing = true;
        return S_OK;
    }
    HResult endWriting() override {
        note("endWriting");
        log_->writing = false;
        return results_.endWriting;
    }
    HResult allocateSample(std::uint32_t size, std::unique_ptr<MediaSample>* sample) override {
        if (failed(results_.allocateSample))
            return results_.allocateSample;
        *sample = std::make_unique<FakeMediaSample>(log_, size, results_.sampleBuffer);
        return S_OK;
    }
    HResult writeSample(std::uint32_t, std::uint64_t time, std::uint32_t,
                        MediaSample& sample) override {
        const int index = writes_++;
        if (failed(results_.writeSample) &&
            (results_.failWriteSampleAt < 0 || results_.failWriteSampleAt == index))
            return results_.writeSample;
        auto& fake = static_cast<FakeMediaSample&>(sample);
        FakeWriterLog::Sample s;
        s.time100ns = time;
        s.allocated = fake.allocated();
        s.length = fake.length();
        s.pcm.resize(fake.length() / 2);
        std::memcpy(s.pcm.data(), fake.bytes().data(), s.pcm.size() * 2);
        std::lock_guard lock(log_->mutex);
        log_->samples.push_back(std::move(s));
        return S_OK;
    }

  private:
    void note(std::string call) {
        std::lock_guard lock(log_->mutex);
        log_->calls.push_back(std::move(call));
    }
    std::shared_ptr<FakeWriterLog> log_;
    FakeWriterResults results_;
    std::vector<ProfileStream> streams_;
    int writes_ = 0;
};

class FakeProfileManager final : public ProfileManager {
  public:
    FakeProfileManager(std::shared_ptr<CodecInfo> info, HResult queryResult, HResult profileResult)
        : info_(std::move(info)), queryResult_(queryResult), profileResult_(profileResult) {}
    HResult queryCodecInfo(std::shared_ptr<CodecInfo>* info) override {
        if (failed(queryResult_))
            return queryResult_;
        *info = info_;
        return S_OK;
    }
    HResult createEmptyProfile(std::uint32_t version, std::unique_ptr<Profile>* profile) override {
        if (failed(profileResult_))
            return profileResult_;
        *profile = std::make_unique<Profile>(version);
        return S_OK;
    }

  private:
    std::shared_ptr<CodecInfo> info_;
    HResult queryResult_;
    HResult profileResult_;
};

class FakeMediaFormatService final : public MediaFormatService {
  public:
    explicit FakeMediaFormatService(CodecCatalogue catalogue)
        : codecInfo(std::make_shared<FakeCodecInfo>(
              std::make_shared<const CodecCatalogue>(std::move(catalogue)))) {}

    std::shared_ptr<FakeCodecInfo> codecInfo;
    std::shared_ptr<FakeWriterLog> log = std::make_shared<FakeWriterLog>();
    FakeWriterResults writerResults;
    HResult createProfileManagerResult = S_OK;
    HResult queryCodecInfoResult = S_OK;
    HResult createEmptyProfileResult = S_OK;
    HResult createWriterResult = S_OK;

    HResult createProfileManager(std::unique_ptr<ProfileManager>* manager) override {
        if (failed(createProfileManagerResult))
            return createProfileManagerResult;
        *manager = std::make_unique<FakeProfileManager>(codecInfo, queryCodecInfoResult,
                                                        createEmptyProfileResult);
        return S_OK;
    }
    HResult createWriter(std::unique_ptr<MediaWriter>* writer) override {
        if (failed(createWriterResult))
            return createWriterResult;
        *writer = std::make_unique<FakeMediaWriter>(log, writerResults);
        return S_OK;
    }
};

// A catalogue format entry of a wave codec: rate, channels, bit rate, 16 bits.
inline CodecFormatEntry fakeWaveFormat(std::uint16_t tag, std::uint32_t rate,
                                       std::uint16_t channels, std::uint32_t bitrate,
                                       std::uint16_t bits = 16, std::size_t blockSize = 18) {
    WaveFormatEx wave;
    wave.formatTag = tag;
    wave.channels = channels;
    wave.samplesPerSec = rate;
    wave.avgBytesPerSec = bitrate / 8;
    wave.blockAlign = 1485;
    wave.bitsPerSample = bits;
    CodecFormatEntry entry;
    entry.description = std::to_string(bitrate / 1000) + " kbps, " + std::to_string(rate / 1000) +
                        " kHz, " + (channels == 1 ? "mono" : "stereo") + " CBR";
    entry.bitrate = bitrate;
    entry.bufferWindowMs = 3000;
    entry.mediaType.majorType = kMediaTypeAudio;
    entry.mediaType.subtype = mediaSubtypeFromTag(tag);
    entry.mediaType.fixedSizeSamples = true;
    entry.mediaType.sampleSize = wave.blockAlign;
    entry.mediaType.formatType = kFormatTypeWaveFormatEx;
    entry.mediaType.format = encodeWaveFormat(wave);
    entry.mediaType.format.resize(blockSize);
    return entry;
}

}  // namespace marrowdale
