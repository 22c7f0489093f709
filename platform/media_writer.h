// The media file writer service: profile manager, profile, writer and writer samples. A
// profile lists the streams of a file; a writer encodes samples of its inputs into the file
// that its profile describes. One thread at a time per object.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/codec_info.h"
#include "platform/media_types.h"
#include "platform/result_codes.h"

namespace marrowdale {

inline constexpr std::uint32_t kProfileVersion9 = 0x00090000;  // profile version 9.0

// One stream of a profile, copied out of a stream configuration.
struct ProfileStream {
    std::uint16_t number = 0;
    std::string name;
    std::string connectionName;
    std::uint32_t bitrate = 0;
    std::uint32_t bufferWindowMs = 0;
    MediaType mediaType;
};

class Profile {
  public:
    explicit Profile(std::uint32_t version) : version_(version) {}

    std::uint32_t version() const { return version_; }
    const std::string& name() const { return name_; }
    HResult setName(const std::string& name) {
        name_ = name;
        return S_OK;
    }
    // Copies the configuration into the profile. Fails when the configuration has no media
    // properties, a number outside 1..63, or a number already used.
    HResult addStream(StreamConfig& config);
    const std::vector<ProfileStream>& streams() const { return streams_; }

  private:
    std::uint32_t version_;
    std::string name_;
    std::vector<ProfileStream> streams_;
};

class ProfileManager {
  public:
    virtual ~ProfileManager() = default;
    // The codec-information service, shared with the caller.
    virtual HResult queryCodecInfo(std::shared_ptr<CodecInfo>* codecInfo) = 0;
    virtual HResult createEmptyProfile(std::uint32_t version,
                                       std::unique_ptr<Profile>* profile) = 0;
};

// A buffer that the writer hands out for one input sample.
class MediaSample {
  public:
    virtual ~MediaSample() = default;
    // The data area (at least the allocated size) and its size.
    virtual HResult getBufferAndLength(std::uint8_t** data, std::uint32_t* maxLength) = 0;
    HResult getBuffer(std::uint8_t** data) {
        std::uint32_t ignored = 0;
        return getBufferAndLength(data, &ignored);
    }
    // The bytes of the data area that hold the sample. E_INVALIDARG above the allocated size.
    virtual HResult setLength(std::uint32_t length) = 0;
    virtual std::uint32_t length() const = 0;
};

class WriterAdvanced {
  public:
    virtual ~WriterAdvanced() = default;
    // A live source delivers samples in real time; the writer then puts each encoded packet
    // into the file at once instead of batching.
    virtual HResult setLiveSource(bool live) = 0;
};

class MediaWriter {
  public:
    virtual ~MediaWriter() = default;
    // UTF-8 path, relative to the current directory when not absolute.
    virtual HResult setOutputFilename(const std::string& path) = 0;
    virtual HResult setProfile(const Profile& profile) = 0;
    // The writer's advanced interface, owned by the writer. E_NOINTERFACE when it has none.
    virtual HResult queryAdvanced(WriterAdvanced** advanced) = 0;
    // The input formats offered for an input, best first (valid after setProfile).
    virtual HResult getInputFormatCount(std::uint32_t input, std::uint32_t* count) = 0;
    virtual HResult getInputFormat(std::uint32_t input, std::uint32_t formatIndex,
                                   MediaType* type) = 0;
    virtual HResult setInputProps(std::uint32_t input, const MediaType& type) = 0;
    // Opens the output file and starts the encoders.
    virtual HResult beginWriting() = 0;
    // Encodes what is pending and completes the file. Ends writing also when it fails.
    virtual HResult endWriting() = 0;
    virtual HResult allocateSample(std::uint32_t size, std::unique_ptr<MediaSample>* sample) = 0;
    // Queues `sample` of `input` with its time in 100-ns units. The caller keeps the sample.
    virtual HResult writeSample(std::uint32_t input, std::uint64_t sampleTime100ns,
                                std::uint32_t flags, MediaSample& sample) = 0;
};

// The entry points of the media format service.
class MediaFormatService {
  public:
    virtual ~MediaFormatService() = default;
    virtual HResult createProfileManager(std::unique_ptr<ProfileManager>* manager) = 0;
    virtual HResult createWriter(std::unique_ptr<MediaWriter>* writer) = 0;
};

}  // namespace marrowdale
