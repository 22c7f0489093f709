// The audio endpoint service: the default endpoint of a direction, its audio client (mix
// format, shared-mode stream with a buffer, start and stop) and the capture client that hands
// out the captured packets. Results are S_OK or negative failure codes (AUDCLNT_E_* and the
// like, platform/result_codes.h). Each object is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/media_types.h"
#include "platform/result_codes.h"

namespace marrowdale {

// Direction of the default endpoint: what the machine plays, or what it records.
enum class AudioDataFlow : std::uint32_t { kRender = 0, kCapture = 1 };
enum class AudioRole : std::uint32_t { kConsole = 0 };
enum class AudioShareMode : std::uint32_t { kShared = 0 };

// Stream flag: capture what a render endpoint plays.
inline constexpr std::uint32_t kAudioStreamFlagLoopback = 0x20000;

// Flags of a captured packet.
inline constexpr std::uint32_t kAudioPacketDiscontinuity = 0x1;
inline constexpr std::uint32_t kAudioPacketSilent = 0x2;

class AudioCaptureClient {
  public:
    virtual ~AudioCaptureClient() = default;
    // Frames in the next packet, 0 when none is waiting.
    virtual HResult getNextPacketSize(std::uint32_t* frames) = 0;
    // The next packet: interleaved samples of the mix format, valid until releaseBuffer.
    // `time100ns` (may be null) receives the time of the packet's first frame on the monotonic
    // clock (the Clock's time base), as the endpoint stamped it when the server delivered the
    // packet: the arrival time less the duration of what had arrived by then. 0 when the
    // endpoint cannot tell.
    virtual HResult getBuffer(std::uint8_t** data, std::uint32_t* frames, std::uint32_t* flags,
                              std::uint64_t* time100ns) = 0;
    // Gives back the packet got last (`frames` its frame count; 0 when none is held).
    virtual HResult releaseBuffer(std::uint32_t frames) = 0;
};

class AudioClient {
  public:
    virtual ~AudioClient() = default;
    // The endpoint's shared-mode format: 32-bit float at the device's rate and channels.
    virtual HResult getMixFormat(WaveFormatEx* format) = 0;
    // Sets up the stream with `streamFlags` and a buffer of `bufferDuration100ns`.
    virtual HResult initialize(AudioShareMode mode, std::uint32_t streamFlags,
                               std::int64_t bufferDuration100ns, std::int64_t periodicity100ns,
                               const WaveFormatEx& format) = 0;
    // The buffer's size in frames (after initialize).
    virtual HResult getBufferSize(std::uint32_t* frames) = 0;
    // The capture client of the initialised stream; it may outlive this object.
    virtual HResult getService(std::unique_ptr<AudioCaptureClient>* capture) = 0;
    virtual HResult start() = 0;
    virtual HResult stop() = 0;
};

class AudioDevice {
  public:
    virtual ~AudioDevice() = default;
    virtual HResult activate(std::unique_ptr<AudioClient>* client) = 0;
};

class AudioDeviceEnumerator {
  public:
    virtual ~AudioDeviceEnumerator() = default;
    // E_NOTFOUND when there is no default device of that direction, AUDCLNT_E_SERVICE_NOT_RUNNING
    // when there is no sound server.
    virtual HResult getDefaultAudioEndpoint(AudioDataFlow flow, AudioRole role,
                                            std::unique_ptr<AudioDevice>* device) = 0;
};

// The entry point: one enumerator per recording. Any thread.
class AudioSystem {
  public:
    virtual ~AudioSystem() = default;
    virtual HResult createDeviceEnumerator(std::unique_ptr<AudioDeviceEnumerator>* enumerator) = 0;
};

}  // namespace marrowdale
