#include "recorder/live_status.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "recorder/disk_space.h"

namespace marrowdale {

std::optional<std::uint64_t> SystemDiskFigures::freeBytes(const std::string& folder) {
    if (folder.empty())
        return std::nullopt;
    return freeDiskBytes(folder);
}

std::uint64_t SystemDiskFigures::fileSize(const std::string& path) {
    struct stat figures {};
    if (path.empty() || stat(path.c_str(), &figures) != 0 || !S_ISREG(figures.st_mode))
        return 0;
    return static_cast<std::uint64_t>(figures.st_size);
}

LiveStatus gatherLiveStatus(const LiveSources& sources, std::uint64_t now100ns, DiskFigures& disk) {
    LiveStatus status;
    status.screen = sources.screenRunning;
    status.sound = sources.soundRunning;
    if (!status.recording())
        return status;
    if (sources.zero100ns != 0 && now100ns > sources.zero100ns)
        status.elapsed100ns = now100ns - sources.zero100ns;
    if (sources.screen != nullptr) {
        const CaptureRunStats& s = *sources.screen;
        status.frames = s.written.files.load(std::memory_order_relaxed);
        status.freeNumbers = s.freeNumbersSoFar();
        status.bytes = s.written.bytes.load(std::memory_order_relaxed);
    }
    if (status.sound)
        status.bytes += disk.fileSize(sources.soundFile);
    status.freeSpaceBytes = disk.freeBytes(sources.folder);
    if (status.sound && sources.levels != nullptr) {
        for (std::size_t i = 0; i < kSoundSources; ++i) {
            const SoundLevel& level = (*sources.levels)[i];
            const std::uint64_t at = level.time100ns.load(std::memory_order_relaxed);
            LiveStatus::Level& out = status.levels[i];
            out.fresh = at != 0 && at <= now100ns + kLevelFreshFor100ns &&
                        now100ns < at + kLevelFreshFor100ns && at >= sources.zero100ns;
            if (out.fresh) {
                out.peak = level.peak.load(std::memory_order_relaxed);
                out.rms = level.rms.load(std::memory_order_relaxed);
            }
        }
    }
    return status;
}

std::string byteSizeText(std::uint64_t bytes) {
    static constexpr const char* kUnits[] = {"B", "kB", "MB", "GB", "TB", "PB", "EB"};
    if (bytes < 1000)
        return std::to_string(bytes) + " B";
    double value = static_cast<double>(bytes);
    std::size_t unit = 0;
    // Three digits: what would round up to 1000 goes to the next unit.
    while (value >= 999.5 && unit + 1 < std::size(kUnits)) {
        value /= 1000.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text,
                  value < 9.995   ? "%.2f %s"
                  : value < 99.95 ? "%.1f %s"
                                  : "%.0f %s",
                  value, kUnits[unit]);
    return text;
}

double levelDecibels(float level) {
    if (!(level > 0.001f))
        return -60.0;
    return std::max(-60.0, 20.0 * std::log10(static_cast<double>(level)));
}

std::string liveStatusText(const LiveStatus& status) {
    if (!status.recording())
        return {};
    std::string text = status.screen && status.sound ? "Recording screen and sound"
                       : status.screen               ? "Recording screen"
                                                     : "Recording sound";
    const std::uint64_t seconds = status.elapsed100ns / 10'000'000;
    char clock[48];
    std::snprintf(clock, sizeof clock, "  %llu:%02u:%02u",
                  static_cast<unsigned long long>(seconds / 3600),
                  static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60));
    text += clock;
    if (status.screen) {
        text += "  " + std::to_string(status.frames) +
                (status.frames == 1 ? " frame, " : " frames, ") +
                std::to_string(status.freeNumbers) + " free";
    }
    text += "  " + byteSizeText(status.bytes);
    if (status.freeSpaceBytes)
        text += "  " + byteSizeText(*status.freeSpaceBytes) + " free";
    return text;
}

}  // namespace marrowdale
