// Free space for a recording. Before a recording starts, and every few seconds while it runs,
// the free space of its working folder is set against what the next minute of the recording
// will write: the frames (their size and rate) and the sound. When it falls short the
// recording is stopped like the stop command, while there is still room to finish test.wma
// and the frames under way.
//
// What a minute needs is estimated from the settings at the start (BMP frames have a known
// size, a JPEG frame is taken at kJpegBytesPerPixel, the sound at its highest bit rate); once
// the recording has run for a few seconds, the space it actually took per second counts too,
// whichever is larger.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "recorder/state.h"

namespace marrowdale {

// How often a running recording looks at the free space.
inline constexpr std::uint64_t kDiskCheckInterval100ns = 20'000'000;  // 2 s
// The estimate of a JPEG frame before any was written: 2 bits per pixel.
inline constexpr double kJpegBytesPerPixel = 0.25;
// The sound's highest bit rate: 300 kbit/s.
inline constexpr std::uint64_t kAudioBytesPerSecond = 300'000 / 8;
// Room kept beyond the minute for finishing the files (test.wma's index and header).
inline constexpr std::uint64_t kDiskFinishingBytes = 1 << 20;
// The measured rate counts once the recording has run this long.
inline constexpr std::uint64_t kDiskMeasureAfter100ns = 40'000'000;  // 4 s

// What a recording will write: the screen with the settings' rectangle, period, frame option
// and format, the sound, or both.
struct RecordingPlan {
    bool screen = false;
    bool audio = false;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t framePeriod = 400000;
    std::uint8_t frameOption = 1;
    ImageFormat imageFormat = ImageFormat::kJpeg;
};
RecordingPlan recordingPlan(const CaptureSettings& settings, bool screen, bool audio);

// The bytes the first minute of the plan writes, by the estimate, with the room for finishing.
std::uint64_t estimatedMinuteBytes(const RecordingPlan& plan);

// The space an unprivileged program may still write in the file system of `folder`; nothing
// when it cannot be read.
std::optional<std::uint64_t> freeDiskBytes(const std::string& folder);

// The checks of one running recording. Pure arithmetic on the readings it is given.
class DiskSpaceWatch {
  public:
    DiskSpaceWatch(std::uint64_t estimatedMinuteBytes, std::uint64_t start100ns,
                   std::uint64_t freeAtStart);

    // A reading of the free space at `now100ns`: false once the next minute no longer fits.
    bool enough(std::uint64_t now100ns, std::uint64_t freeBytes);
    // What the next minute needs, as the last reading judged it.
    std::uint64_t neededBytes() const { return needed_; }

  private:
    std::uint64_t estimate_;
    std::uint64_t start_;
    std::uint64_t freeAtStart_;
    std::uint64_t needed_;
};

// The messages: before a start that does not fit, and when a running recording is stopped.
std::string notEnoughSpaceToStartMessage(std::string_view folder, std::uint64_t freeBytes,
                                         std::uint64_t neededBytes);
std::string diskNearlyFullMessage(std::string_view folder, std::uint64_t freeBytes,
                                  std::uint64_t neededBytes);

}  // namespace marrowdale
