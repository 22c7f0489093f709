// What a minute of a recording needs on the disk, and the checks of a running recording.
#include "recorder/disk_space.h"

#include <gtest/gtest.h>

namespace marrowdale {
namespace {

constexpr std::uint64_t kMb = 1024 * 1024;
constexpr std::uint64_t kSecond = 10'000'000;

TEST(DiskSpaceEstimate, FramesAndSoundOfAMinute) {
    RecordingPlan bmp;
    bmp.screen = true;
    bmp.width = 700;
    bmp.height = 500;
    bmp.imageFormat = ImageFormat::kBmp;
    // 1500 BMP files of 54 + 4 x 704 x 500 bytes.
    EXPECT_EQ(estimatedMinuteBytes(bmp), 1500ull * (54 + 1408000) + kDiskFinishingBytes);
    bmp.frameOption = 2;  // two grabs a slot
    EXPECT_EQ(estimatedMinuteBytes(bmp), 3000ull * (54 + 1408000) + kDiskFinishingBytes);
    bmp.frameOption = 12;  // one grab a slot, numbers left free
    bmp.framePeriod = 800000;
    EXPECT_EQ(estimatedMinuteBytes(bmp), 750ull * (54 + 1408000) + kDiskFinishingBytes);

    RecordingPlan jpeg;
    jpeg.screen = true;
    jpeg.width = 1920;
    jpeg.height = 1080;
    jpeg.audio = true;
    EXPECT_EQ(estimatedMinuteBytes(jpeg),
              static_cast<std::uint64_t>(1920 * 1080 * kJpegBytesPerPixel) * 1500 +
                  kAudioBytesPerSecond * 60 + kDiskFinishingBytes);

    RecordingPlan sound;
    sound.audio = true;
    sound.width = 0;  // the screen's rectangle does not matter for sound alone
    EXPECT_EQ(estimatedMinuteBytes(sound), kAudioBytesPerSecond * 60 + kDiskFinishingBytes);

    RecordingPlan huge = bmp;
    huge.width = huge.height = INT32_MAX;
    EXPECT_EQ(estimatedMinuteBytes(huge), UINT64_MAX);
}

TEST(DiskSpaceEstimate, PlanFromTheSettings) {
    CaptureSettings settings;
    settings.framePeriod = 800000;
    settings.frameOption = 2;
    settings.imageFormat = ImageFormat::kBmp;
    const RecordingPlan plan = recordingPlan(settings, true, false);
    EXPECT_EQ(plan.width, 700);
    EXPECT_EQ(plan.height, 500);
    EXPECT_EQ(plan.framePeriod, 800000u);
    EXPECT_EQ(plan.frameOption, 2);
    EXPECT_EQ(plan.imageFormat, ImageFormat::kBmp);
    EXPECT_TRUE(plan.screen);
    EXPECT_FALSE(plan.audio);
}

// The running checks: the estimate until the recording has run a few seconds, then whichever is
// larger, the estimate or what the disk actually lost per minute.
TEST(DiskSpaceWatch, EnoughWhileTheNextMinuteFits) {
    const std::uint64_t start = 1000 * kSecond;
    const struct {
        const char* what;
        std::uint64_t at;
        std::uint64_t free;
        bool enough;
        std::uint64_t needed;
    } readings[] = {
        {"the estimate fits", start + 2 * kSecond, 900 * kMb, true, 100 * kMb},
        {"too early to measure", start + 3 * kSecond, 600 * kMb, true, 100 * kMb},
        // 400 MB in 5 s: 4.8 GB a minute, far more than the estimate.
        {"the measured rate", start + 5 * kSecond, 600 * kMb, false,
         4800 * kMb + kDiskFinishingBytes},
        // 100 MB lost in 100 s is less than the estimate: the estimate stands.
        {"slower than the estimate", start + 100 * kSecond, 900 * kMb, true, 100 * kMb},
        {"the estimate no longer fits", start + 1000 * kSecond, 99 * kMb, false, 100 * kMb},
        // Space that came back (files removed by someone) is no rate.
        {"more free than at the start", start + 10 * kSecond, 2000 * kMb, true, 100 * kMb},
    };
    for (const auto& r : readings) {
        DiskSpaceWatch watch(100 * kMb, start, 1000 * kMb);
        EXPECT_EQ(watch.enough(r.at, r.free), r.enough) << r.what;
        EXPECT_EQ(watch.neededBytes(), r.needed) << r.what;
    }
}

TEST(DiskSpaceMessages, SayWhereHowMuchAndWhatHappened) {
    EXPECT_EQ(notEnoughSpaceToStartMessage("/rec", 5 * kMb, 118 * kMb),
              "There is not enough free space to record in /rec: 5.0 MB free, about 118.0 MB "
              "needed for the first minute.");
    EXPECT_EQ(diskNearlyFullMessage("/rec", 90 * kMb + kMb / 2, 118 * kMb),
              "The disk is nearly full: 90.5 MB free in /rec, about 118.0 MB needed for the next "
              "minute. The recording was stopped; its files are complete.");
}

TEST(DiskSpaceFree, ReadsTheFileSystemOfAFolder) {
    EXPECT_TRUE(freeDiskBytes("/").has_value());
    EXPECT_FALSE(freeDiskBytes("/no/such/folder/at/all").has_value());
}

}  // namespace
}  // namespace marrowdale
