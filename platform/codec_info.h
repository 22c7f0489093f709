// The codec-information service: which codecs the media encoder offers for a media type, and
// each codec's formats as stream configurations. All calls report a result code (S_OK or a
// negative failure); out-parameters are left untouched on failure unless said otherwise.
// One thread at a time per object.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/media_types.h"
#include "platform/result_codes.h"

namespace marrowdale {

// The media properties of a stream configuration.
class MediaProps {
  public:
    virtual ~MediaProps() = default;
    // Two-call fetch. With `type` null: *size becomes the bytes the media type needs
    // (mediaTypeFetchSize). Otherwise *size announces the caller's buffer: when it is smaller
    // than needed the result is ASF_E_BUFFERTOOSMALL and *size becomes the needed size;
    // else *type receives the media type. `size` null: E_POINTER.
    virtual HResult getMediaType(MediaType* type, std::uint32_t* size) = 0;
};

// One stream's settings as the encoder would use them.
class StreamConfig {
  public:
    virtual ~StreamConfig() = default;
    virtual HResult getBitrate(std::uint32_t* bitsPerSecond) = 0;
    virtual HResult getBufferWindow(std::uint32_t* milliseconds) = 0;
    // Names are UTF-8. `maxChars` announces the caller's buffer, terminator included: a name
    // that does not fit gives ASF_E_BUFFERTOOSMALL and leaves *name as it was.
    virtual HResult getStreamName(std::string* name, std::size_t maxChars) = 0;
    virtual HResult getConnectionName(std::string* name, std::size_t maxChars) = 0;
    virtual HResult getStreamNumber(std::uint16_t* number) = 0;
    virtual HResult setStreamNumber(std::uint16_t number) = 0;
    virtual HResult setStreamName(const std::string& name) = 0;
    // The configuration's media properties, owned by the configuration and valid while it
    // lives. E_NOINTERFACE when it has none.
    virtual HResult queryMediaProps(MediaProps** props) = 0;
};

class CodecInfo {
  public:
    virtual ~CodecInfo() = default;
    // `mediaType` is kMediaTypeAudio or kMediaTypeVideo.
    virtual HResult getCodecInfoCount(const Guid& mediaType, std::uint32_t* count) = 0;
    // Two-call fetch of a codec's UTF-8 name. *length counts bytes with the terminator. With
    // `name` null: *length becomes the needed length. Otherwise *length announces the buffer
    // and the terminated name is copied (ASF_E_BUFFERTOOSMALL when it does not fit).
    virtual HResult getCodecName(const Guid& mediaType, std::uint32_t codecIndex, char* name,
                                 std::uint32_t* length) = 0;
    virtual HResult getCodecFormatCount(const Guid& mediaType, std::uint32_t codecIndex,
                                        std::uint32_t* count) = 0;
    virtual HResult getCodecFormat(const Guid& mediaType, std::uint32_t codecIndex,
                                   std::uint32_t formatIndex,
                                   std::unique_ptr<StreamConfig>* config) = 0;
    // The format and its description; the description follows the same two-call rule as the
    // codec name (`description` null: *length becomes the needed length).
    virtual HResult getCodecFormatDesc(const Guid& mediaType, std::uint32_t codecIndex,
                                       std::uint32_t formatIndex,
                                       std::unique_ptr<StreamConfig>* config, char* description,
                                       std::uint32_t* length) = 0;
};

}  // namespace marrowdale
