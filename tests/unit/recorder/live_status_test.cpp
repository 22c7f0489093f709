// The live status of a recording: the figures the workers keep as they go, gathered the way the
// status bar gathers them, and the text it shows.
#include "recorder/live_status.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <vector>

#include "platform/fakes/fake_clock.h"
#include "platform/fakes/fake_jpeg_encoder.h"
#include "platform/fakes/fake_screen_grabber.h"
#include "platform/fakes/fake_ui_bridge.h"
#include "recorder/screen_capture_worker.h"
#include "test_support.h"

namespace marrowdale {
namespace {

constexpr std::uint64_t kSecond = 10'000'000;
constexpr std::uint64_t kZero = 50 * kSecond;

class FakeDisk final : public DiskFigures {
  public:
    std::optional<std::uint64_t> freeBytes(const std::string& folder) override {
        asked.push_back(folder);
        return free;
    }
    std::uint64_t fileSize(const std::string& path) override {
        const auto it = sizes.find(path);
        return it == sizes.end() ? 0 : it->second;
    }
    std::optional<std::uint64_t> free = 12'345'000'000;
    std::map<std::string, std::uint64_t> sizes{{"/rec/test.wma", 1'200'000}};
    std::vector<std::string> asked;
};

struct StatusCase {
    const char* name;
    bool screen;
    bool sound;
    std::uint64_t now;
    std::optional<std::uint64_t> free;
    std::string text;
};

class StatusText : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusText, FromTheWorkersFigures) {
    const StatusCase& c = GetParam();
    CaptureRunStats stats;
    stats.startTime100ns = kZero;
    // 2075 numbers given, 2077 the highest, one write failed: 3 numbers free, 2074 files.
    stats.grabs = 2075;
    stats.highestNumber = 2077;
    stats.written.files = 2074;
    stats.written.failed = 1;
    stats.written.bytes = 44'000'000;
    FakeDisk disk;
    disk.free = c.free;
    LiveSources sources;
    sources.screenRunning = c.screen;
    sources.soundRunning = c.sound;
    sources.zero100ns = kZero;
    sources.screen = c.screen ? &stats : nullptr;
    sources.folder = "/rec";
    sources.soundFile = "/rec/test.wma";
    const LiveStatus status = gatherLiveStatus(sources, c.now, disk);
    EXPECT_EQ(liveStatusText(status), c.text);
    if (status.recording())
        EXPECT_EQ(disk.asked, std::vector<std::string>{"/rec"});
    else
        EXPECT_TRUE(disk.asked.empty()) << "an idle status asks the disk nothing";
}

INSTANTIATE_TEST_SUITE_P(
    Table, StatusText,
    ::testing::Values(
        StatusCase{"Idle", false, false, kZero + 5 * kSecond, 1000, ""},
        StatusCase{"Screen", true, false, kZero + 83 * kSecond + 999'999, 12'345'000'000,
                   "Recording screen  0:01:23  2074 frames, 3 free  44.0 MB  12.3 GB free"},
        // The sound file counts towards the size on disk.
        StatusCase{"ScreenAndSound", true, true, kZero + 3723 * kSecond, 512'000,
                   "Recording screen and sound  1:02:03  2074 frames, 3 free  45.2 MB  512 kB "
                   "free"},
        // Audio alone shows its state like the others.
        StatusCase{"SoundAlone", false, true, kZero + 12 * kSecond, 9'990'000'000'000,
                   "Recording sound  0:00:12  1.20 MB  9.99 TB free"},
        // Before the zero is known, and without an answer about free space.
        StatusCase{"Starting", true, false, kZero - 1, std::nullopt,
                   "Recording screen  0:00:00  2074 frames, 3 free  44.0 MB"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(StatusSizes, ThreeDigitsInPowersOfAThousand) {
    const std::vector<std::pair<std::uint64_t, std::string>> rows = {
        {0, "0 B"},           {999, "999 B"},          {1000, "1.00 kB"},      {9994, "9.99 kB"},
        {9995, "10.0 kB"},    {99'949, "99.9 kB"},     {99'950, "100 kB"},     {999'499, "999 kB"},
        {999'500, "1.00 MB"}, {45'200'000, "45.2 MB"}, {UINT64_MAX, "18.4 EB"}};
    for (const auto& [bytes, text] : rows)
        EXPECT_EQ(byteSizeText(bytes), text) << bytes;
}

// The meter shows what a source delivered lately; a level from before this recording's zero or
// older than the freshness limit shows as silence, and without sound there is no meter.
TEST(StatusLevels, FreshLevelsOnly) {
    std::array<SoundLevel, kSoundSources> levels;
    levels[0].peak = 0.5f;
    levels[0].rms = 0.25f;
    levels[0].time100ns = kZero + 9 * kSecond;
    levels[1].peak = 0.9f;
    levels[1].rms = 0.9f;
    levels[1].time100ns = kZero - 1;  // the recording before
    FakeDisk disk;
    LiveSources sources;
    sources.soundRunning = true;
    sources.zero100ns = kZero;
    sources.levels = &levels;
    LiveStatus status = gatherLiveStatus(sources, kZero + 10 * kSecond, disk);
    EXPECT_TRUE(status.levels[0].fresh);
    EXPECT_FLOAT_EQ(status.levels[0].peak, 0.5f);
    EXPECT_FLOAT_EQ(status.levels[0].rms, 0.25f);
    EXPECT_FALSE(status.levels[1].fresh);
    EXPECT_FLOAT_EQ(status.levels[1].peak, 0.0f);

    status = gatherLiveStatus(sources, kZero + 9 * kSecond + kLevelFreshFor100ns, disk);
    EXPECT_FALSE(status.levels[0].fresh) << "nothing delivered for too long";
    sources.soundRunning = false;
    sources.screenRunning = true;
    status = gatherLiveStatus(sources, kZero + 10 * kSecond, disk);
    EXPECT_FALSE(status.levels[0].fresh) << "no meter without sound";

    EXPECT_DOUBLE_EQ(levelDecibels(1.0f), 0.0);
    EXPECT_NEAR(levelDecibels(0.5f), -6.02, 0.01);
    EXPECT_DOUBLE_EQ(levelDecibels(0.0f), -60.0);
    EXPECT_DOUBLE_EQ(levelDecibels(-1.0f), -60.0);
}

// The figures a real run keeps, read while the capture loop runs and at its end: the files on
// disk and their bytes as every encoder lane writes them, and the numbers left free by a stall.
TEST(StatusFigures, KeptByTheWorkersAsTheyGo) {
    test::TempDir dir;
    CaptureSettings settings;
    RecorderState state;
    settings.captureMode = CaptureMode::kSkipLateSlots;  // late slots leave their numbers free
    settings.maxFrames = 40;
    FakeClock clock{7'000'000'000};
    clock.setStepPerRead(10);
    FakeScreenGrabber grabber{[&clock] { return clock.peek(); }};
    FakeJpegEncoder encoder;
    FakeUiBridge ui;
    FileFrameWriters writers(&encoder, ui, state);
    CaptureRunStats stats;
    // At slot 10 the machine stalls for 200 ms: five numbers are passed over. The figures are
    // read halfway, as the status bar would.
    std::uint64_t framesMidway = 0;
    std::uint64_t freeMidway = 0;
    bool stalled = false;
    clock.setOnRead([&](FakeClock& c) {
        const std::uint64_t start = stats.startTime100ns.load();
        if (start == 0)
            return;
        if (!stalled && c.peek() >= start + 400 * 10'000) {
            stalled = true;
            c.advance(200 * 10'000);
        }
        if (framesMidway == 0 && c.peek() >= start + 1000 * 10'000) {
            framesMidway = stats.written.files.load() + 1;
            freeMidway = stats.freeNumbersSoFar();
        }
    });
    const ScreenCaptureServices services{clock, grabber, writers, ui, 3};
    runScreenCaptureWorker(settings, state, services, dir.path(), &stats);

    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path() + "/vid1")) {
        ++files;
        bytes += e.file_size();
    }
    EXPECT_EQ(stats.written.files.load(), files);
    EXPECT_EQ(stats.written.bytes.load(), bytes);
    EXPECT_EQ(stats.written.failed.load(), 0u);
    EXPECT_EQ(writers.filesWritten(), files);
    EXPECT_EQ(stats.grabs.load(), files);
    EXPECT_EQ(stats.freeNumbersSoFar(), stats.highestNumber.load() - files);
    EXPECT_GE(stats.freeNumbersSoFar(), 4u);
    ASSERT_NE(framesMidway, 0u);
    EXPECT_LE(framesMidway - 1, files);
    EXPECT_GE(framesMidway - 1, 10u);
    EXPECT_EQ(freeMidway, stats.freeNumbersSoFar()) << "the stall's numbers were free at once";

    // The next run counts afresh; the writers no longer count into the first run's figures.
    test::TempDir other;
    CaptureRunStats second;
    settings.maxFrames = 5;
    runScreenCaptureWorker(settings, state, services, other.path(), &second);
    EXPECT_EQ(stats.written.files.load(), files);
    EXPECT_EQ(second.written.files.load(), 4u);
}

}  // namespace
}  // namespace marrowdale
