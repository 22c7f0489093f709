// A codec catalogue held as plain data, and the codec-information service and stream
// configuration that serve it. The FFmpeg backend fills one from what its encoders accept;
// tests fill one by hand.
#pragma once

#include <string>
#include <vector>

#include "platform/codec_info.h"

namespace marrowdale {

struct CodecFormatEntry {
    std::string description;  // "192 kbps, 48 kHz, stereo CBR"
    std::uint32_t bitrate = 0;
    std::uint32_t bufferWindowMs = 0;
    std::string streamName;
    std::string connectionName;
    MediaType mediaType;
};

struct CodecEntry {
    std::string name;
    std::string encoderName;  // the encoder that serves it (FFmpeg's name), empty in tests
    std::vector<CodecFormatEntry> formats;
};

struct CodecCatalogue {
    std::vector<CodecEntry> audio;
    std::vector<CodecEntry> video;
};

// A stream configuration holding its values. Its media properties are itself.
class BasicStreamConfig : public StreamConfig, public MediaProps {
  public:
    BasicStreamConfig() = default;
    explicit BasicStreamConfig(const CodecFormatEntry& format);

    HResult getBitrate(std::uint32_t* bitsPerSecond) override;
    HResult getBufferWindow(std::uint32_t* milliseconds) override;
    HResult getStreamName(std::string* name, std::size_t maxChars) override;
    HResult getConnectionName(std::string* name, std::size_t maxChars) override;
    HResult getStreamNumber(std::uint16_t* number) override;
    HResult setStreamNumber(std::uint16_t number) override;
    HResult setStreamName(const std::string& name) override;
    HResult queryMediaProps(MediaProps** props) override;
    HResult getMediaType(MediaType* type, std::uint32_t* size) override;

  protected:
    std::uint32_t bitrate_ = 0;
    std::uint32_t bufferWindowMs_ = 0;
    std::uint16_t streamNumber_ = 0;
    std::string streamName_;
    std::string connectionName_;
    MediaType mediaType_;
};

// The codec-information service over a catalogue (kept by shared ownership).
class CatalogueCodecInfo : public CodecInfo {
  public:
    explicit CatalogueCodecInfo(std::shared_ptr<const CodecCatalogue> catalogue);

    HResult getCodecInfoCount(const Guid& mediaType, std::uint32_t* count) override;
    HResult getCodecName(const Guid& mediaType, std::uint32_t codecIndex, char* name,
                         std::uint32_t* length) override;
    HResult getCodecFormatCount(const Guid& mediaType, std::uint32_t codecIndex,
                                std::uint32_t* count) override;
    HResult getCodecFormat(const Guid& mediaType, std::uint32_t codecIndex,
                           std::uint32_t formatIndex,
                           std::unique_ptr<StreamConfig>* config) override;
    HResult getCodecFormatDesc(const Guid& mediaType, std::uint32_t codecIndex,
                               std::uint32_t formatIndex, std::unique_ptr<StreamConfig>* config,
                               char* description, std::uint32_t* length) override;

    const CodecCatalogue& catalogue() const { return *catalogue_; }

  protected:
    // Null when the media type or an index is unknown.
    const std::vector<CodecEntry>* codecs(const Guid& mediaType) const;
    const CodecEntry* codec(const Guid& mediaType, std::uint32_t codecIndex) const;
    const CodecFormatEntry* format(const Guid& mediaType, std::uint32_t codecIndex,
                                   std::uint32_t formatIndex) const;

  private:
    std::shared_ptr<const CodecCatalogue> catalogue_;
};

// Copies `text` into a caller's buffer under the two-call rule of CodecInfo::getCodecName.
HResult copyTextOut(const std::string& text, char* buffer, std::uint32_t* length);

}  // namespace marrowdale
