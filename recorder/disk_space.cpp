#include "recorder/disk_space.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cstdio>

namespace marrowdale {

namespace {

constexpr std::uint64_t kUnitsPerMinute = 600'000'000;  // 100-ns units

double megabytes(std::uint64_t bytes) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

}  // namespace

RecordingPlan recordingPlan(const CaptureSettings& settings, bool screen, bool audio) {
    RecordingPlan plan;
    plan.screen = screen;
    plan.audio = audio;
    plan.width = std::int64_t{settings.captureRight.load()} - settings.captureLeft.load();
    plan.height = std::int64_t{settings.captureBottom.load()} - settings.captureTop.load();
    plan.framePeriod = settings.framePeriod.load();
    plan.frameOption = settings.frameOption.load();
    plan.imageFormat = settings.imageFormat.load();
    return plan;
}

std::uint64_t estimatedMinuteBytes(const RecordingPlan& plan) {
    std::uint64_t bytes = kDiskFinishingBytes;
    if (plan.audio)
        bytes += kAudioBytesPerSecond * 60;
    if (plan.screen && plan.width > 0 && plan.height > 0) {
        const std::uint64_t period = plan.framePeriod == 0 ? 400000 : plan.framePeriod;
        // Grabs per slot: the count, or one for the options that leave numbers free.
        const std::uint64_t grabsPerSlot = plan.frameOption >= 11 && plan.frameOption <= 14
                                               ? 1
                                               : std::max<std::uint8_t>(plan.frameOption, 1);
        const std::uint64_t frames = (kUnitsPerMinute + period - 1) / period * grabsPerSlot;
        const double pixels = static_cast<double>(plan.width) * static_cast<double>(plan.height);
        // A BMP: the 54 bytes of headers and 4 bytes a pixel, rows rounded up to 8 pixels.
        const double frameBytes = plan.imageFormat == ImageFormat::kBmp
                                      ? 54.0 + 4.0 * static_cast<double>((plan.width + 7) / 8 * 8) *
                                                   static_cast<double>(plan.height)
                                      : pixels * kJpegBytesPerPixel;
        const double total = frameBytes * static_cast<double>(frames);
        bytes =
            total >= 1.8e19 ? UINT64_MAX : saturatingAdd(bytes, static_cast<std::uint64_t>(total));
    }
    return bytes;
}

std::optional<std::uint64_t> freeDiskBytes(const std::string& folder) {
    struct statvfs info {};
    if (::statvfs(folder.c_str(), &info) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(info.f_bavail) * static_cast<std::uint64_t>(info.f_frsize);
}

DiskSpaceWatch::DiskSpaceWatch(std::uint64_t estimatedMinuteBytes, std::uint64_t start100ns,
                               std::uint64_t freeAtStart)
    : estimate_(estimatedMinuteBytes),
      start_(start100ns),
      freeAtStart_(freeAtStart),
      needed_(estimatedMinuteBytes) {}

bool DiskSpaceWatch::enough(std::uint64_t now100ns, std::uint64_t freeBytes) {
    needed_ = estimate_;
    const std::uint64_t elapsed = now100ns > start_ ? now100ns - start_ : 0;
    if (elapsed >= kDiskMeasureAfter100ns && freeBytes < freeAtStart_) {
        // What the disk actually lost per minute so far (the recording, and anyone else
        // writing there).
        const double perMinute = static_cast<double>(freeAtStart_ - freeBytes) /
                                 static_cast<double>(elapsed) *
                                 static_cast<double>(kUnitsPerMinute);
        const std::uint64_t measured =
            perMinute >= 1.8e19
                ? UINT64_MAX
                : saturatingAdd(static_cast<std::uint64_t>(perMinute), kDiskFinishingBytes);
        needed_ = std::max(needed_, measured);
    }
    return freeBytes >= needed_;
}

std::string notEnoughSpaceToStartMessage(std::string_view folder, std::uint64_t freeBytes,
                                         std::uint64_t neededBytes) {
    char text[600];
    std::snprintf(text, sizeof text,
                  "There is not enough free space to record in %.*s: %.1f MB free, about %.1f MB "
                  "needed for the first minute.",
                  static_cast<int>(std::min<std::size_t>(folder.size(), 400)), folder.data(),
                  megabytes(freeBytes), megabytes(neededBytes));
    return text;
}

std::string diskNearlyFullMessage(std::string_view folder, std::uint64_t freeBytes,
                                  std::uint64_t neededBytes) {
    char text[600];
    std::snprintf(text, sizeof text,
                  "The disk is nearly full: %.1f MB free in %.*s, about %.1f MB needed for the "
                  "next minute. The recording was stopped; its files are complete.",
                  megabytes(freeBytes), static_cast<int>(std::min<std::size_t>(folder.size(), 400)),
                  folder.data(), megabytes(neededBytes));
    return text;
}

}  // namespace marrowdale
