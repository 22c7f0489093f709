// What the status bar shows while a recording runs: the time since the recording's zero, the
// frames written and the numbers left free so far, the size on disk and the free space left, and
// each sound source's level. It is gathered on the GUI thread a few times a second from figures
// the workers keep as they go (relaxed atomics): nothing here waits for a worker or takes a lock
// the capture loop could meet.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "recorder/capture_stats.h"
#include "recorder/state.h"

namespace marrowdale {

// A level older than this is shown as silence: the source has delivered nothing since.
inline constexpr std::uint64_t kLevelFreshFor100ns = 15'000'000;  // 1.5 s

struct LiveStatus {
    bool screen = false;  // a screen recording runs
    bool sound = false;   // a sound recording runs
    std::uint64_t elapsed100ns = 0;
    std::uint64_t frames = 0;       // frame files written
    std::uint64_t freeNumbers = 0;  // numbers left free so far
    std::uint64_t bytes = 0;        // frame files and test.wma on disk
    std::optional<std::uint64_t> freeSpaceBytes;
    struct Level {
        bool fresh = false;  // measured lately
        float peak = 0;
        float rms = 0;
    };
    std::array<Level, kSoundSources> levels{};

    bool recording() const { return screen || sound; }
};

// The folder's file system, as the status asks it. GUI thread.
class DiskFigures {
  public:
    virtual ~DiskFigures() = default;
    // Bytes free for this user on the file system of `folder`; none when it cannot be asked.
    virtual std::optional<std::uint64_t> freeBytes(const std::string& folder) = 0;
    // The size of a file, 0 when it is not there.
    virtual std::uint64_t fileSize(const std::string& path) = 0;
};

// The folder's free space as the disk check reads it (freeDiskBytes), and stat.
class SystemDiskFigures final : public DiskFigures {
  public:
    std::optional<std::uint64_t> freeBytes(const std::string& folder) override;
    std::uint64_t fileSize(const std::string& path) override;
};

// Where the figures come from.
struct LiveSources {
    bool screenRunning = false;
    bool soundRunning = false;
    // The recording's zero on the clock (0 until known).
    std::uint64_t zero100ns = 0;
    // The screen worker's figures (null without a screen recording).
    const CaptureRunStats* screen = nullptr;
    // The levels (RecorderState::soundLevels).
    const std::array<SoundLevel, kSoundSources>* levels = nullptr;
    // Where vid1/ goes, and the sound file.
    std::string folder;
    std::string soundFile;
};

LiveStatus gatherLiveStatus(const LiveSources& sources, std::uint64_t now100ns, DiskFigures& disk);

// The status text, for example
// "Recording screen and sound  0:01:23  2075 frames, 3 free  45.2 MB  12.3 GB free";
// empty when nothing records.
std::string liveStatusText(const LiveStatus& status);

// A level in decibels of full scale, no lower than -60 (silence).
double levelDecibels(float level);

// Bytes as "812 B", "45.2 MB", "1.50 GB" (powers of 1000, three digits).
std::string byteSizeText(std::uint64_t bytes);

}  // namespace marrowdale
