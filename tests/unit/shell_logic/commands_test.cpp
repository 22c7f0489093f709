#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/fakes/fake_ui_bridge.h"
#include "recorder/commands.h"
#include "recorder/state.h"
#include "tests/support/null_capture_view.h"

namespace marrowdale {
namespace {

namespace fs = std::filesystem;

class FakeWorkers final : public WorkerLauncher {
  public:
    bool screenWorkerRunning() const override { return screenRunning; }
    bool audioWorkerRunning() const override { return audioRunning; }
    // Recorded in the order the workers of the kind start: audio first.
    void startRecording(RecordingKind kind, const std::string& cwd) override {
        if (kind != RecordingKind::kScreen)
            started.push_back("audio:" + cwd);
        if (kind != RecordingKind::kAudio)
            started.push_back("screen:" + cwd);
    }
    bool screenRunning = false;
    bool audioRunning = false;
    std::vector<std::string> started;
};

class FakeHost final : public CommandHost {
  public:
    CaptureView* view() override { return &viewObject; }
    WindowHandle viewWindow() override { return &viewWindowObject; }
    WindowHandle parentWindow() override { return &childFrameObject; }
    WindowHandle mainFrame() override { return &mainFrameObject; }
    void minimizeMainFrame() override { ++minimized; }
    std::string currentDirectory() override { return cwd; }

    test::NullCaptureView viewObject;
    int viewWindowObject = 0, childFrameObject = 0, mainFrameObject = 0;
    int minimized = 0;
    std::string cwd;
};

const std::string kMessageVid1 =
    "An error occured appending vid1 to the program's folder name.\nTry moving the program "
    "somewhere where the path is shorter\nso the total length of the path and filename is less "
    "than 500 bytes.";
const std::string kMessageSlash =
    "An error occured appending \\ to the program's folder name.\nTry moving the program "
    "somewhere where the path is shorter\nso the total length of the path and filename is less "
    "than 500 bytes.";

class CommandsTest : public testing::Test {
  protected:
    void SetUp() override {
        resetToProcessStart(settings, state);
        dir = fs::temp_directory_path() /
              ("marrowdale-commands-" + std::to_string(::getpid()) + "-" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        host.cwd = dir.string();
        // Leftovers of an earlier recording that every start clears.
        state.stopScreenRequested.store(1);
        state.stopAudioRequested.store(1);
        state.screenStopped.store(1);
        state.screenFinished.store(1);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::vector<std::string> titles() const {
        std::vector<std::string> out;
        for (const auto& c : ui.calls())
            if (c.kind == "setWindowTitle") {
                EXPECT_EQ(c.window, &host.mainFrameObject);
                out.push_back(c.text);
            }
        return out;
    }
    std::vector<FakeUiBridge::Call> boxes() const {
        std::vector<FakeUiBridge::Call> out;
        for (const auto& c : ui.calls())
            if (c.kind == "messageBox")
                out.push_back(c);
        return out;
    }

    CaptureSettings settings;
    RecorderState state;
    FakeUiBridge ui;
    FakeWorkers workers;
    FakeHost host;
    RecordingCommandContext ctx{settings, state, ui, workers, host};
    fs::path dir;
};

TEST_F(CommandsTest, RecordStartsScreenWorkerOnly) {
    state.statusCode.store(StatusCode::kAreaSelected);
    OnCommandRecord(ctx);
    EXPECT_EQ(workers.started, std::vector<std::string>{"screen:" + host.cwd});
    EXPECT_EQ(titles(), std::vector<std::string>{"Marrowdale recording screen only"});
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(state.stopScreenRequested.load(), 0);
    EXPECT_EQ(state.stopAudioRequested.load(), 0);
    EXPECT_EQ(state.screenStopped.load(), 0);
    EXPECT_EQ(state.screenFinished.load(), 1);                      // untouched
    EXPECT_EQ(state.statusCode.load(), StatusCode::kAreaSelected);  // untouched
    EXPECT_EQ(state.titleWindow.load(), nullptr);
    EXPECT_EQ(state.frameWindow.load(), &host.childFrameObject);
    EXPECT_EQ(state.viewWindow.load(), &host.viewWindowObject);
    EXPECT_EQ(state.commandView.load(), &host.viewObject);
    EXPECT_EQ(host.minimized, 0);
    EXPECT_TRUE(fs::is_directory(dir / "vid1"));
}

TEST_F(CommandsTest, StartBothStartsAudioThenScreenAndSetsStatus) {
    OnCommandStartBoth(ctx);
    EXPECT_EQ(workers.started,
              (std::vector<std::string>{"audio:" + host.cwd, "screen:" + host.cwd}));
    EXPECT_EQ(titles(), std::vector<std::string>{"Marrowdale Recording"});
    EXPECT_EQ(state.statusCode.load(), StatusCode::kBothStarted);
    EXPECT_EQ(state.screenStopped.load(), 0);
    EXPECT_EQ(state.screenFinished.load(), 0);
    EXPECT_EQ(state.stopScreenRequested.load(), 0);
    EXPECT_EQ(state.stopAudioRequested.load(), 0);
    EXPECT_EQ(state.titleWindow.load(), &host.mainFrameObject);
    EXPECT_EQ(state.frameWindow.load(), &host.childFrameObject);
    EXPECT_EQ(state.commandView.load(), &host.viewObject);
    EXPECT_TRUE(fs::is_directory(dir / "vid1"));
}

TEST_F(CommandsTest, MinimizeStartBothEndsWithRecordingTitle) {
    OnCommandMinimizeStartBoth(ctx);
    EXPECT_EQ(host.minimized, 1);
    EXPECT_EQ(titles(), (std::vector<std::string>{"Marrowdale recording screen and audio",
                                                  "Marrowdale Recording"}));
    EXPECT_EQ(workers.started.size(), 2u);
    EXPECT_EQ(state.statusCode.load(), StatusCode::kBothStarted);
}

TEST_F(CommandsTest, MinimizeStartScreenClearsFinishedAndRecords) {
    OnCommandMinimizeStartScreen(ctx);
    EXPECT_EQ(host.minimized, 1);
    EXPECT_EQ(titles(), (std::vector<std::string>{"Marrowdale recording screen only",
                                                  "Marrowdale recording screen only"}));
    EXPECT_EQ(workers.started, std::vector<std::string>{"screen:" + host.cwd});
    EXPECT_EQ(state.screenFinished.load(), 0);
    EXPECT_EQ(state.screenStopped.load(), 0);
}

TEST_F(CommandsTest, StopRaisesBothFlagsAndSetsTitleOnly) {
    state.screenStopped.store(0);
    state.screenFinished.store(0);
    state.statusCode.store(StatusCode::kBothStarted);
    OnCommandStopRecording(ctx);
    EXPECT_EQ(state.screenStopped.load(), 1);
    EXPECT_EQ(state.screenFinished.load(), 1);
    EXPECT_EQ(state.statusCode.load(), StatusCode::kBothStarted);
    EXPECT_EQ(titles(), std::vector<std::string>{"Marrowdale stopped"});
    EXPECT_TRUE(workers.started.empty());
    // Used while nothing records it does the same.
    OnCommandStopRecording(ctx);
    EXPECT_EQ(titles().size(), 2u);
}

TEST_F(CommandsTest, FrameRate80SetsPeriodOnly) {
    settings.frameOption.store(2);
    OnCommandFrameRate80(settings);
    EXPECT_EQ(settings.framePeriod.load(), 800000u);
    EXPECT_EQ(settings.frameOption.load(), 2);
}

struct FolderCase {
    std::size_t cwdLength;
    const std::string* message;  // null: accepted
};

TEST_F(CommandsTest, OutputFolderLimits) {
    // 494 characters: "/vid1" fits exactly (499), the final "/" does not. 495: "/vid1" does
    // not fit. 240: the folder fits, but frame names under it would pass 249 characters.
    const std::vector<FolderCase> cases = {
        {494, &kMessageSlash}, {495, &kMessageVid1}, {600, &kMessageVid1}, {240, &kMessageVid1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "cwd length " << c.cwdLength);
        ui.clear();
        workers.started.clear();
        state.stopScreenRequested.store(1);
        state.screenStopped.store(1);
        host.cwd = "/" + std::string(c.cwdLength - 1, 'd');
        for (auto handler : {&OnCommandRecord, &OnCommandStartBoth}) {
            ui.clear();
            handler(ctx);
            ASSERT_EQ(boxes().size(), 1u);
            EXPECT_EQ(boxes()[0].text, *c.message);
            EXPECT_EQ(boxes()[0].caption, "Plumet");
            EXPECT_EQ(boxes()[0].window, nullptr);
            ASSERT_FALSE(titles().empty());
            EXPECT_EQ(titles().back(), "Marrowdale Error Recording");
            EXPECT_TRUE(workers.started.empty());
            // Cleared before the folder was built.
            EXPECT_EQ(state.stopScreenRequested.load(), 0);
            EXPECT_EQ(state.screenStopped.load(), 0);
        }
    }
}

TEST_F(CommandsTest, EmptyCurrentDirectoryIsRefused) {
    host.cwd.clear();
    OnCommandRecord(ctx);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, kMessageVid1);
    EXPECT_TRUE(workers.started.empty());
}

TEST_F(CommandsTest, StartWhileSameKindRunsIsRefused) {
    struct Case {
        bool screenRunning, audioRunning;
        void (*handler)(RecordingCommandContext&);
        bool refused;
    };
    const std::vector<Case> cases = {
        {true, false, &OnCommandRecord, true},
        {false, true, &OnCommandRecord, false},
        {true, false, &OnCommandStartBoth, true},
        {false, true, &OnCommandStartBoth, true},
        {false, true, &OnCommandMinimizeStartBoth, true},
        {true, false, &OnCommandMinimizeStartScreen, true},
        {false, true, &OnCommandMinimizeStartScreen, false},
        {false, false, &OnCommandStartBoth, false},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i);
        const Case& c = cases[i];
        ui.clear();
        workers.started.clear();
        host.minimized = 0;
        workers.screenRunning = c.screenRunning;
        workers.audioRunning = c.audioRunning;
        state.screenStopped.store(1);
        state.stopScreenRequested.store(1);
        c.handler(ctx);
        if (c.refused) {
            ASSERT_EQ(boxes().size(), 1u);
            EXPECT_EQ(boxes()[0].text, "A recording is already running.");
            EXPECT_EQ(boxes()[0].caption, "Marrowdale");
            EXPECT_TRUE(titles().empty());
            EXPECT_TRUE(workers.started.empty());
            EXPECT_EQ(host.minimized, 0);
            EXPECT_EQ(state.screenStopped.load(), 1);  // nothing changed
            EXPECT_EQ(state.stopScreenRequested.load(), 1);
        } else {
            EXPECT_TRUE(boxes().empty());
            EXPECT_FALSE(workers.started.empty());
        }
    }
}

TEST_F(CommandsTest, CaptureAreaWithoutSizeIsRefused) {
    struct Rect {
        std::int32_t left, top, right, bottom;
        bool refused;
    };
    const std::vector<Rect> rects = {
        {100, 100, 100, 600, true},           // no width
        {100, 100, 800, 100, true},           // no height
        {800, 100, 100, 600, true},           // negative width
        {100, 600, 800, 100, true},           // negative height
        {INT32_MAX, 0, INT32_MIN, 10, true},  // would wrap to a positive width in 32 bits
        {0, 0, 1, 1, false},                  // one pixel
        {-1280, -1080, 0, 0, false},          // left of and above the primary screen
    };
    for (const auto& r : rects) {
        SCOPED_TRACE(testing::Message()
                     << r.left << "," << r.top << "," << r.right << "," << r.bottom);
        ui.clear();
        workers.started.clear();
        settings.captureLeft.store(r.left);
        settings.captureTop.store(r.top);
        settings.captureRight.store(r.right);
        settings.captureBottom.store(r.bottom);
        for (auto handler : {&OnCommandRecord, &OnCommandStartBoth, &OnCommandMinimizeStartScreen,
                             &OnCommandMinimizeStartBoth}) {
            ui.clear();
            workers.started.clear();
            handler(ctx);
            if (r.refused) {
                ASSERT_EQ(boxes().size(), 1u);
                EXPECT_EQ(boxes()[0].text, "The capture area has no width or height.");
                EXPECT_EQ(boxes()[0].caption, "Marrowdale");
                EXPECT_TRUE(workers.started.empty());
                EXPECT_TRUE(titles().empty());
            } else {
                EXPECT_TRUE(boxes().empty());
                EXPECT_FALSE(workers.started.empty());
            }
        }
    }
}

// Sizes no grab can serve are refused at start with a message, in every start command, and
// never reach a grabber (where 4 x width overflowing an int crashed both programs).
TEST_F(CommandsTest, CaptureAreaTooLargeForAnyGrabIsRefused) {
    const struct {
        std::int32_t left, top, right, bottom;
    } rects[] = {{0, 0, 536870913, 100},         // 4 x width passes INT32_MAX
                 {INT32_MIN, 0, INT32_MAX, 10},  // wider than 32 bits
                 {0, 0, 1 << 20, 1 << 20}};      // 4 TB a picture
    for (const auto& r : rects) {
        SCOPED_TRACE(testing::Message() << r.left << "," << r.right << "," << r.bottom);
        settings.captureLeft.store(r.left);
        settings.captureTop.store(r.top);
        settings.captureRight.store(r.right);
        settings.captureBottom.store(r.bottom);
        for (auto handler : {&OnCommandRecord, &OnCommandStartBoth, &OnCommandMinimizeStartScreen,
                             &OnCommandMinimizeStartBoth}) {
            ui.clear();
            workers.started.clear();
            handler(ctx);
            ASSERT_EQ(boxes().size(), 1u);
            EXPECT_EQ(boxes()[0].text.rfind("The capture area is too large to record (", 0), 0u);
            EXPECT_TRUE(workers.started.empty());
        }
        ui.clear();
        EXPECT_EQ(startScreenRecording(ctx), StartResult::kRefusedTooLarge);
    }
}

// A start whose first minute would not fit in the free space is refused after the folder is made,
// with the error title and a message that says how much is free and needed; a folder whose free
// space cannot be read does not stop a start.
TEST_F(CommandsTest, NotEnoughFreeSpaceToStartIsRefused) {
    std::string askedFor;
    std::optional<std::uint64_t> free = 10 * 1024 * 1024;
    ctx.freeSpace = [&](const std::string& folder) {
        askedFor = folder;
        return free;
    };
    const struct {
        StartResult (*start)(RecordingCommandContext&);
        const char* what;
    } starts[] = {{&startScreenRecording, "screen"}, {&startScreenAndAudioRecording, "both"}};
    for (const auto& s : starts) {
        SCOPED_TRACE(s.what);
        ui.clear();
        workers.started.clear();
        free = 10 * 1024 * 1024;  // a minute of the default area needs about 2 GB
        EXPECT_EQ(s.start(ctx), StartResult::kRefusedDiskSpace);
        EXPECT_EQ(askedFor, host.cwd);
        EXPECT_TRUE(workers.started.empty());
        ASSERT_EQ(boxes().size(), 1u);
        EXPECT_EQ(boxes()[0].text.rfind("There is not enough free space to record in " + host.cwd +
                                            ": 10.0 MB free, about ",
                                        0),
                  0u)
            << boxes()[0].text;
        EXPECT_EQ(boxes()[0].caption, "Marrowdale");
        free = std::nullopt;
        ui.clear();
        EXPECT_EQ(s.start(ctx), StartResult::kStarted);
        EXPECT_FALSE(workers.started.empty());
    }
    // Sound alone needs a few megabytes a minute.
    workers.started.clear();
    ui.clear();
    free = 3 * 1024 * 1024;
    EXPECT_EQ(startAudioRecording(ctx), StartResult::kRefusedDiskSpace);
    EXPECT_TRUE(workers.started.empty());
    free = 4 * 1024 * 1024;
    EXPECT_EQ(startAudioRecording(ctx), StartResult::kStarted);
    EXPECT_FALSE(workers.started.empty());
}

TEST(CaptureAreaFits, RowsAndMemory) {
    const std::uint64_t gb = 1ull << 30;
    const struct {
        std::int64_t width, height;
        std::uint64_t memory, pictures;
        bool fits;
    } cases[] = {
        {3840, 2160, 16 * gb, 6, true},                 // 4K on a common machine
        {536870911, 1, 16 * gb, 6, true},               // the widest row Xlib can hold
        {536870912, 1, 16 * gb, 6, false},              // 4 x width overflows
        {7680, 4320, 128 * 1024 * 1024, 6, false},      // 8K: 133 MB a picture
        {1920, 1080, 6 * 1920 * 1080 * 4ull, 6, true},  // exactly what six pictures take
        {1920, 1080, 6 * 1920 * 1080 * 4ull - 1, 6, false},
        {0, 10, 16 * gb, 6, false},
        {10, -1, 16 * gb, 6, false},
        {1, INT64_C(1) << 40, UINT64_MAX, 6, false},  // taller than 32 bits
    };
    for (const auto& c : cases)
        EXPECT_EQ(captureAreaFits(c.width, c.height, c.memory, c.pictures), c.fits)
            << c.width << "x" << c.height << " in " << c.memory;
}

TEST_F(CommandsTest, AudioOnlyRefusalIgnoresCaptureArea) {
    settings.captureRight.store(settings.captureLeft.load());
    EXPECT_FALSE(refuseStart(ctx, false, true));
    workers.audioRunning = true;
    EXPECT_TRUE(refuseStart(ctx, false, true));
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, "A recording is already running.");
}

TEST_F(CommandsTest, ANewRecordingMovesTheEarlierOneAsideAndDescribesItself) {
    fs::create_directories(dir / "vid1");
    std::ofstream(dir / "vid1" / "000001.jpg") << "old frame";
    std::ofstream(dir / "test.wma") << "old sound";
    settings.framePeriod.store(800000);
    settings.frameOption.store(13);
    settings.imageFormat.store(ImageFormat::kBmp);
    OnCommandStartBoth(ctx);
    ASSERT_EQ(workers.started.size(), 2u);
    EXPECT_TRUE(boxes().empty());
    std::vector<std::string> notices;
    for (const auto& c : ui.calls())
        if (c.kind == "showNotice") {
            EXPECT_EQ(c.window, &host.mainFrameObject);
            notices.push_back(c.text);
        }
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("The earlier recording was moved aside: vid1/ to vid1-"),
              std::string::npos);
    // The new recording finds an empty vid1/ and no test.wma; the old files are kept whole.
    EXPECT_TRUE(fs::is_directory(dir / "vid1"));
    EXPECT_TRUE(fs::is_empty(dir / "vid1"));
    EXPECT_FALSE(fs::exists(dir / "test.wma"));
    int asideFrames = 0, asideSounds = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("vid1-") && fs::exists(entry.path() / "000001.jpg"))
            ++asideFrames;
        if (name.starts_with("test-") && name.ends_with(".wma"))
            ++asideSounds;
    }
    EXPECT_EQ(asideFrames, 1);
    EXPECT_EQ(asideSounds, 1);
    std::ifstream in(dir / "recording.ini");
    const std::string ini((std::istreambuf_iterator<char>(in)), {});
    for (const char* line : {"records=screen,sound\n", "period_100ns=800000\n", "frame_option=13\n",
                             "format=bmp\n", "area=100,100,800,600\n", "sound=test.wma\n"})
        EXPECT_NE(ini.find(line), std::string::npos) << line << " in " << ini;

    // Audio joining a running screen recording leaves that recording's files alone.
    std::ofstream(dir / "vid1" / "000001.bmp") << "new frame";
    ui.clear();
    workers.screenRunning = true;
    EXPECT_EQ(startAudioRecording(ctx), StartResult::kStarted);
    EXPECT_TRUE(fs::exists(dir / "vid1" / "000001.bmp"));
    for (const auto& c : ui.calls())
        EXPECT_NE(c.kind, "showNotice");
}

}  // namespace
}  // namespace marrowdale
