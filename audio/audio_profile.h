// The audio file side of a recording: the one-stream encoding profile chosen from the codec
// catalogue for the capture's format, the writer of test.wma and the per-packet sample path.
// Everything here runs on the audio worker's thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/codec_info.h"
#include "platform/media_types.h"
#include "platform/media_writer.h"
#include "platform/result_codes.h"

namespace marrowdale {

inline constexpr std::uint32_t kMaxAudioBitsPerSecond = 300000;
inline constexpr std::uint16_t kAudioBitsPerSample = 16;
inline constexpr std::uint16_t kAudioStreamNumber = 1;
inline constexpr const char* kAudioStreamName = "Audio";
inline constexpr const char* kAudioProfileName = "MyProfile";
inline constexpr const char* kAudioFileName = "test.wma";
// Media types up to this size are fetched into a fixed buffer; larger ones into a heap block.
inline constexpr std::uint32_t kMediaTypeFixedBuffer = 200;
// Smallest acceptable format block of a codec format.
inline constexpr std::uint32_t kMinWaveFormatBlock = 18;
// Characters of the description buffer of a format.
inline constexpr std::uint32_t kFormatDescriptionChars = 300;

// Picks codec and format: the first audio codec whose format 0 has `subtype`, and of its
// formats the one with the highest bit rate not above `maxBitsPerSecond` that has the wanted
// channels, rate and bits per sample (the first listed wins ties).
// S_OK with *config set; E_INVALIDARG when no codec has the subtype, the codec has no formats
// or no format matches; E_UNEXPECTED when a format block is under 18 bytes; else the failing
// call's result. `codecFound` (may be null) tells whether a codec with the subtype was found.
HResult findAudioStreamConfig(const WaveFormatEx& wantedFormat, std::uint32_t maxBitsPerSecond,
                              const Guid& subtype, CodecInfo& codecInfo,
                              std::unique_ptr<StreamConfig>* config, bool* codecFound = nullptr);

// Builds the one-stream profile for the capture's mix format. The stream asks for WMA 9
// Professional; when no codec of the catalogue has that subtype, the search is made once more
// for WMA (0x0161). S_OK with both outputs set, or the first failure with both left empty.
HResult createAudioProfile(MediaFormatService& service, const WaveFormatEx& mixFormat,
                           std::unique_ptr<Profile>* profile,
                           std::shared_ptr<CodecInfo>* codecInfo);

// The path of test.wma in `folder` (just the name when the folder is empty).
std::string audioFilePath(const std::string& folder);

// Creates the writer of `path` (test.wma) with the profile, as a live source. Null when the
// writer cannot be created, refuses the profile or has no advanced interface.
std::unique_ptr<MediaWriter> createAudioWriter(MediaFormatService& service, const Profile& profile,
                                               const std::string& path = kAudioFileName);

// Gives input 0 the first input format the writer offers for it. Returns the last result.
HResult setUpAudioWriterInput(MediaWriter& writer);

// The time of a packet that follows `framesWritten` frames, in 100-ns units.
inline double ticksPerAudioFrame(std::uint32_t samplesPerSec) {
    return 10000000.0 / static_cast<double>(samplesPerSec);
}
inline std::uint64_t audioSampleTime(std::uint64_t framesWritten, double ticksPerFrame) {
    return static_cast<std::uint64_t>(static_cast<double>(framesWritten) * ticksPerFrame);
}

// Allocates the writer sample for a packet of `frames` frames: blockAlign × frames bytes.
HResult allocateAudioSample(MediaWriter& writer, const WaveFormatEx& mixFormat,
                            std::uint32_t frames, std::unique_ptr<MediaSample>* sample);

// The rest of the sample path for one packet of float samples: the sample's data area, the
// conversion, the length and the write at `sampleTime100ns`.
enum class SamplePathFailure { None, SampleBuffer, WriteSample };
struct SamplePathResult {
    SamplePathFailure failure = SamplePathFailure::None;
    HResult result = S_OK;
    std::uint32_t bytes = 0;  // the sample's length
};
SamplePathResult writeAudioPacket(MediaWriter& writer, MediaSample& sample,
                                  const WaveFormatEx& mixFormat, const float* data,
                                  std::uint32_t frames, std::uint64_t sampleTime100ns);

}  // namespace marrowdale
