// The capture loop driven by a fake clock, a fake screen and recording writers: numbering for
// every frame option, the three capture modes catching up after a stall, the limits, the stop
// signals and the end steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "platform/fakes/fake_clock.h"
#include "platform/fakes/fake_screen_grabber.h"
#include "platform/fakes/fake_ui_bridge.h"
#include "recorder/recording_session.h"
#include "recorder/screen_capture_worker.h"
#include "test_support.h"
#include "tools/close_others_arming.h"

namespace marrowdale {
namespace {

constexpr std::uint64_t kMs = 10000;  // 100-ns units per millisecond
constexpr std::uint64_t kT0 = 7'000'000'000;

struct Slot {
    std::uint64_t number = 0;
    std::uint64_t ms = 0;  // whole milliseconds after startTime when the file was written
    bool operator==(const Slot&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Slot& s) {
    return os << "{" << s.number << " @" << s.ms << "ms}";
}

std::uint64_t numberOf(const std::string& name) {
    const std::size_t slash = name.rfind('/');
    const std::size_t dot = name.rfind('.');
    return std::stoull(name.substr(slash + 1, dot - slash - 1));
}

class Harness {
  public:
    Harness() {
        settings.maxFrames = 16;
        clock.setStepPerRead(10);  // 1 us per read
    }

    ScreenRunEnd run() {
        ScreenCaptureServices services{clock, grabber, writers, ui};
        services.endHook = &closeOthers;
        return runScreenCaptureWorker(settings, state, services, cwd, &stats);
    }
    std::uint64_t start() const { return stats.startTime100ns.load(); }

    std::vector<Slot> files() const {
        std::vector<Slot> out;
        for (const auto& w : writers.writes) {
            out.push_back({numberOf(w.name), (w.time100ns - start()) / kMs});
        }
        return out;
    }
    std::vector<std::uint64_t> numbers() const {
        std::vector<std::uint64_t> out;
        for (const auto& w : writers.writes)
            out.push_back(numberOf(w.name));
        return out;
    }
    // Makes the write of file `number` take until `ms` after the start.
    void stallAfter(std::uint64_t number, std::uint64_t ms) {
        writers.onWrite = [this, number, ms](const test::RecordingWriters::Write& w) {
            if (numberOf(w.name) == number)
                clock.set(start() + ms * kMs);
        };
    }

    CaptureSettings settings;
    RecorderState state;
    FakeClock clock{kT0};
    FakeScreenGrabber grabber{[this] { return clock.peek(); }};
    test::RecordingWriters writers{clock};
    FakeUiBridge ui;
    // The end step both programs install.
    CloseOthersArming closeOthers{settings, state, ui};
    CaptureRunStats stats;
    std::string cwd = "/nonexistent-mdl-capture-test";
};

// ---- Numbering per frame option, default period, a machine that keeps up ---------------

struct OptionCase {
    std::uint8_t frameOption;
    std::uint32_t maxFrames;
    std::vector<Slot> expected;
};

class FrameOptionNumbering : public ::testing::TestWithParam<OptionCase> {};

TEST_P(FrameOptionNumbering, WritesTheTableOfItsOption) {
    const OptionCase& c = GetParam();
    Harness h;
    h.settings.frameOption = c.frameOption;
    h.settings.maxFrames = c.maxFrames;
    h.settings.captureMode = CaptureMode::kSkipByThrees;
    h.run();
    EXPECT_EQ(h.files(), c.expected);
    EXPECT_EQ(h.state.screenStopped.load(), 1);
    EXPECT_EQ(h.state.screenFinished.load(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FrameOptionNumbering,
    ::testing::Values(
        OptionCase{1, 5, {{1, 40}, {2, 80}, {3, 120}, {4, 160}}},
        OptionCase{2, 7, {{1, 40}, {2, 40}, {3, 80}, {4, 80}, {5, 120}, {6, 120}}},
        OptionCase{4, 9, {{1, 40}, {2, 40}, {3, 40}, {4, 40}, {5, 80}, {6, 80}, {7, 80}, {8, 80}}},
        OptionCase{11, 7, {{1, 40}, {3, 80}, {5, 120}}},
        OptionCase{12, 10, {{2, 40}, {5, 80}, {8, 120}}},
        OptionCase{13, 13, {{3, 40}, {7, 80}, {11, 120}}},
        OptionCase{14, 16, {{4, 40}, {9, 80}, {14, 120}}},
        // A count outside 1..10 is a count too; the last pass may pass maxFrames.
        OptionCase{15, 2, [] {
                       std::vector<Slot> v;
                       for (std::uint64_t n = 1; n <= 15; ++n)
                           v.push_back({n, 40});
                       return v;
                   }()}));

TEST(CaptureLimits, CountOptionsMayWriteUpToMaxFramesPlusCountMinusTwo) {
    Harness h;
    h.settings.frameOption = 4;
    h.settings.maxFrames = 6;
    h.run();
    EXPECT_EQ(h.numbers(), (std::vector<std::uint64_t>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(CaptureLimits, GapOptionsMayWriteUpToMaxFramesPlusTwo) {
    Harness h;
    h.settings.frameOption = 14;
    h.settings.maxFrames = 7;
    h.run();
    EXPECT_EQ(h.numbers(), (std::vector<std::uint64_t>{4, 9}));
}

// ---- Catching up after a slow write: file 5 grabbed at 200 ms, next pass at 340 ms -------

struct ModeCase {
    std::uint8_t mode;
    std::vector<Slot> expected;
};

class CatchUpAfterStall : public ::testing::TestWithParam<ModeCase> {};

TEST_P(CatchUpAfterStall, NumbersFollowTheMode) {
    const ModeCase& c = GetParam();
    Harness h;
    h.settings.captureMode = static_cast<CaptureMode>(c.mode);
    h.settings.maxFrames = 15;
    h.stallAfter(5, 340);
    h.run();
    EXPECT_EQ(h.files(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, CatchUpAfterStall,
    ::testing::Values(
        // Mode 3: 340 / 40 = 8 > 6, numbers 6-8 stay free; 9-11 at once, then on the grid,
        // each file three slots before its number.
        ModeCase{3,
                 {{1, 40},
                  {2, 80},
                  {3, 120},
                  {4, 160},
                  {5, 200},
                  {9, 340},
                  {10, 340},
                  {11, 340},
                  {12, 360},
                  {13, 400},
                  {14, 440}}},
        // Mode 2: the deadline moves to 360 ms (k = 3), 6-8 stay free, 9 at its own slot.
        ModeCase{2,
                 {{1, 40},
                  {2, 80},
                  {3, 120},
                  {4, 160},
                  {5, 200},
                  {9, 360},
                  {10, 400},
                  {11, 440},
                  {12, 480},
                  {13, 520},
                  {14, 560}}},
        // Mode 0: nothing stays free; 6-8 at once, 9 at 360 ms.
        ModeCase{0,
                 {{1, 40},
                  {2, 80},
                  {3, 120},
                  {4, 160},
                  {5, 200},
                  {6, 340},
                  {7, 340},
                  {8, 340},
                  {9, 360},
                  {10, 400},
                  {11, 440},
                  {12, 480},
                  {13, 520},
                  {14, 560}}},
        // Any other mode behaves like 0.
        ModeCase{7,
                 {{1, 40},
                  {2, 80},
                  {3, 120},
                  {4, 160},
                  {5, 200},
                  {6, 340},
                  {7, 340},
                  {8, 340},
                  {9, 360},
                  {10, 400},
                  {11, 440},
                  {12, 480},
                  {13, 520},
                  {14, 560}}}));

TEST(CaptureModes, ModeThreeIsNotTriggeredByOneLateSlot) {
    Harness h;
    h.settings.captureMode = CaptureMode::kSkipByThrees;
    h.settings.maxFrames = 8;
    h.stallAfter(5, 250);  // 250 / 40 = 6, not above frame number 6
    h.run();
    EXPECT_EQ(h.files(), (std::vector<Slot>{
                             {1, 40}, {2, 80}, {3, 120}, {4, 160}, {5, 200}, {6, 250}, {7, 280}}));
    EXPECT_EQ(h.stats.skippedByMode, 0u);
}

// Mode 3 counts a slot as missed once it is a period late. At periods under 40 ms the count
// starts where the slot grid does (40 ms less one period in): a pass that begins before its
// slot is due, however long the write before it took, must not skip.
struct ModeThreePeriodCase {
    const char* name;
    std::uint64_t periodMs;
    std::uint64_t slowFile;  // the write of this file lasts until `untilMs`
    std::uint64_t untilMs;
    std::vector<Slot> expected;
};

class ModeThreeAtOtherPeriods : public ::testing::TestWithParam<ModeThreePeriodCase> {};

TEST_P(ModeThreeAtOtherPeriods, SkipsOnlyWhenASlotIsAPeriodLate) {
    const ModeThreePeriodCase& c = GetParam();
    Harness h;
    h.settings.captureMode = CaptureMode::kSkipByThrees;
    h.settings.framePeriod = static_cast<std::uint32_t>(c.periodMs * kMs);
    h.settings.maxFrames = 9;
    h.stallAfter(c.slowFile, c.untilMs);
    h.run();
    EXPECT_EQ(h.files(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Periods, ModeThreeAtOtherPeriods,
    ::testing::Values(
        // 16 ms: slots at 40, 56, 72, ... The pass for 3 begins at 65 ms, before its slot.
        ModeThreePeriodCase{
            "sixteenMsWriteOverHalfAPeriod",
            16,
            2,
            65,
            {{1, 40}, {2, 56}, {3, 72}, {4, 88}, {5, 104}, {6, 120}, {7, 136}, {8, 152}}},
        // 16 ms: the pass for 3 begins at 90 ms, more than a period after its slot (72).
        ModeThreePeriodCase{
            "sixteenMsSlotAPeriodLate", 16, 2, 90, {{1, 40}, {2, 56}, {6, 90}, {7, 90}, {8, 104}}},
        // 80 ms: counted from the start as before. Slots at 40, 120, 200; a pass at 250 ms is
        // not skipped (250 / 80 = 3), one at 330 ms is (4 > 3).
        ModeThreePeriodCase{
            "eightyMsNotYet",
            80,
            2,
            250,
            {{1, 40}, {2, 120}, {3, 250}, {4, 280}, {5, 360}, {6, 440}, {7, 520}, {8, 600}}},
        ModeThreePeriodCase{
            "eightyMsSkipped", 80, 2, 330, {{1, 40}, {2, 120}, {6, 330}, {7, 330}, {8, 360}}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(CaptureModes, ModeTwoNeverSkipsOnTheFirstPass) {
    Harness h;
    h.settings.captureMode = CaptureMode::kSkipLateSlots;
    h.settings.maxFrames = 5;
    int reads = 0;
    // The first pass starts 100 ms late: the read after startTime jumps the clock.
    h.clock.setOnRead([&reads](FakeClock& c) {
        if (++reads == 2)
            c.advance(100 * kMs);
    });
    h.run();
    EXPECT_EQ(h.files(), (std::vector<Slot>{{1, 100}, {3, 120}, {4, 160}}));
    EXPECT_EQ(h.stats.skippedByMode, 1u);
}

TEST(CaptureModes, ModeThreeWithTwoCopiesSkipsOnlyOnceAndThenCatchesUp) {
    Harness h;
    h.settings.captureMode = CaptureMode::kSkipByThrees;
    h.settings.frameOption = 2;
    h.settings.maxFrames = 22;
    h.stallAfter(6, 340);  // slot 120 ms wrote 5 and 6; frame number 7, deadline 160 ms
    h.run();
    EXPECT_EQ(h.files(), (std::vector<Slot>{{1, 40},
                                            {2, 40},
                                            {3, 80},
                                            {4, 80},
                                            {5, 120},
                                            {6, 120},
                                            {10, 340},
                                            {11, 340},
                                            {12, 340},
                                            {13, 340},
                                            {14, 340},
                                            {15, 340},
                                            {16, 340},
                                            {17, 340},
                                            {18, 340},
                                            {19, 340},
                                            {20, 360},
                                            {21, 360}}));
}

TEST(CaptureModes, ModeTwoAddsOneNumberPerMissedPeriodWhateverTheOption) {
    Harness h;
    h.settings.captureMode = CaptureMode::kSkipLateSlots;
    h.settings.frameOption = 2;
    h.settings.maxFrames = 14;
    h.stallAfter(4, 190);  // slot 80 ms wrote 3 and 4; deadline 120 ms, frame number 5
    h.run();
    // k = ceil((190 - 120) / 40) = 2: numbers 5 and 6 stay free, 7 and 8 at 200 ms.
    EXPECT_EQ(h.files(), (std::vector<Slot>{{1, 40},
                                            {2, 40},
                                            {3, 80},
                                            {4, 80},
                                            {7, 200},
                                            {8, 200},
                                            {9, 240},
                                            {10, 240},
                                            {11, 280},
                                            {12, 280},
                                            {13, 320},
                                            {14, 320}}));
}

// ---- Timing ---------------------------------------------------------------------------

TEST(CaptureTiming, EightyMillisecondPeriodStartsFortyMillisecondsIn) {
    Harness h;
    h.settings.framePeriod = 800000;
    h.settings.maxFrames = 4;
    h.run();
    EXPECT_EQ(h.files(), (std::vector<Slot>{{1, 40}, {2, 120}, {3, 200}}));
}

TEST(CaptureTiming, SleepsUntilOneMillisecondBeforeTheSlotThenReadsTheClockPastIt) {
    Harness h;
    h.settings.maxFrames = 2;
    h.run();
    ASSERT_EQ(h.writers.writes.size(), 1u);
    const std::uint64_t deadline = h.start() + 40 * kMs;
    EXPECT_EQ(h.clock.lastSleepTarget(), deadline - kSpinWindow100ns);
    ASSERT_EQ(h.grabber.grabs().size(), 1u);
    const std::uint64_t grabbed = h.grabber.grabs()[0].time100ns;
    EXPECT_GT(grabbed, deadline);
    EXPECT_LE(grabbed, deadline + 2 * 10);  // the first reads past the deadline
}

TEST(CaptureTiming, NoWaitWhenTheSlotHasPassed) {
    Harness h;
    h.settings.captureMode = CaptureMode::kEverySlot;
    h.settings.maxFrames = 4;
    h.stallAfter(1, 500);
    h.run();
    EXPECT_EQ(h.files(), (std::vector<Slot>{{1, 40}, {2, 500}, {3, 500}}));
    EXPECT_EQ(h.clock.sleeps(), 1u);  // only before the first slot
}

TEST(CaptureTiming, PeriodChangeTakesEffectAtTheNextPass) {
    Harness h;
    h.settings.maxFrames = 5;
    h.writers.onWrite = [&h](const test::RecordingWriters::Write& w) {
        if (numberOf(w.name) == 2)
            h.settings.framePeriod = 800000;
    };
    h.run();
    // Deadline after slot 2 was already moved by 40 ms; later slots are 80 ms apart.
    EXPECT_EQ(h.files(), (std::vector<Slot>{{1, 40}, {2, 80}, {3, 120}, {4, 200}}));
}

TEST(CaptureTiming, ZeroPeriodFallsBackToFortyMilliseconds) {
    Harness h;
    h.settings.framePeriod = 0;
    h.settings.captureMode = CaptureMode::kSkipByThrees;
    h.settings.maxFrames = 4;
    h.run();
    EXPECT_EQ(h.files(), (std::vector<Slot>{{1, 40}, {2, 80}, {3, 120}}));
}

TEST(CaptureTiming, ZeroFrameOptionGrabsOncePerSlot) {
    Harness h;
    h.settings.frameOption = 0;
    h.settings.maxFrames = 3;
    h.run();
    EXPECT_EQ(h.files(), (std::vector<Slot>{{1, 40}, {2, 80}}));
}

TEST(CaptureTiming, LatenessIsRecordedPerSlot) {
    Harness h;
    h.settings.captureMode = CaptureMode::kEverySlot;
    h.settings.maxFrames = 4;
    h.stallAfter(1, 45);  // slot 2 (80 ms) on time, slot 3 on time
    h.run();
    EXPECT_EQ(h.stats.lateness.count(), 3u);
    EXPECT_EQ(h.stats.grabs, 3u);
    EXPECT_EQ(h.stats.highestNumber, 3u);
    EXPECT_LE(h.stats.lateness.quantile100ns(1.0), LatenessHistogram::kBucket100ns);
}

// ---- Limits -----------------------------------------------------------------------------

TEST(CaptureLimits, MaxFramesZeroOrOneWritesNothingAndEndsAtOnce) {
    for (std::uint32_t limit : {0u, 1u}) {
        SCOPED_TRACE(limit);
        Harness h;
        int title = 0;
        h.state.titleWindow = &title;
        h.settings.closeOthersOnStop = 1;
        h.settings.maxFrames = limit;
        h.run();
        EXPECT_TRUE(h.writers.writes.empty());
        EXPECT_TRUE(h.grabber.grabs().empty());
        EXPECT_EQ(h.state.screenStopped.load(), 1);
        EXPECT_EQ(h.state.screenFinished.load(), 1);
        const auto calls = h.ui.calls();
        ASSERT_EQ(calls.size(), 3u);
        EXPECT_EQ(calls[0].kind, "setWindowTitle");
        EXPECT_EQ(calls[0].text, "Marrowdale stopped");
        EXPECT_EQ(calls[1].kind, "setForegroundWindow");
        EXPECT_EQ(calls[2].kind, "setTimer");
    }
}

TEST(CaptureLimits, NinetyThousandFramesEndWithNumber89999) {
    Harness h;
    h.settings.maxFrames = 90000;
    h.settings.captureMode = CaptureMode::kSkipByThrees;
    h.clock.setStepPerRead(2000);  // keeps the spin short
    h.settings.captureRight = h.settings.captureLeft.load() + 2;
    h.settings.captureBottom = h.settings.captureTop.load() + 2;
    std::uint64_t count = 0;
    std::uint64_t last = 0;
    std::uint64_t previous = 0;
    bool consecutive = true;
    h.writers.onWrite = [&](const test::RecordingWriters::Write& w) {
        last = numberOf(w.name);
        consecutive = consecutive && last == previous + 1;
        previous = last;
        ++count;
    };
    h.run();
    h.writers.writes.clear();
    EXPECT_TRUE(consecutive);
    EXPECT_EQ(count, 89999u);
    EXPECT_EQ(last, 89999u);
}

TEST(CaptureLimits, MaxFramesIsReadAfreshAtEveryPass) {
    Harness h;
    h.settings.maxFrames = 100;
    h.writers.onWrite = [&h](const test::RecordingWriters::Write& w) {
        if (numberOf(w.name) == 3)
            h.settings.maxFrames = 5;
    };
    h.run();
    EXPECT_EQ(h.numbers(), (std::vector<std::uint64_t>{1, 2, 3, 4}));
}

// ---- Stop signals -------------------------------------------------------------------------

TEST(CaptureStop, ScreenStoppedEndsTheLoopAtTheNextPass) {
    Harness h;
    h.settings.maxFrames = 100;
    h.writers.onWrite = [&h](const test::RecordingWriters::Write& w) {
        if (numberOf(w.name) == 3)
            h.state.screenStopped = 1;
    };
    h.run();
    EXPECT_EQ(h.numbers(), (std::vector<std::uint64_t>{1, 2, 3}));
    EXPECT_EQ(h.state.screenStopped.load(), 1);
    EXPECT_EQ(h.state.screenFinished.load(), 1);
    EXPECT_EQ(h.grabber.closes(), 1);
}

TEST(CaptureStop, StopRequestIsClearedWhenObeyed) {
    Harness h;
    h.settings.maxFrames = 100;
    h.writers.onWrite = [&h](const test::RecordingWriters::Write& w) {
        if (numberOf(w.name) == 2)
            h.state.stopScreenRequested = 1;
    };
    h.run();
    EXPECT_EQ(h.numbers(), (std::vector<std::uint64_t>{1, 2}));
    EXPECT_EQ(h.state.stopScreenRequested.load(), 0);
    EXPECT_EQ(h.state.screenStopped.load(), 1);
    EXPECT_EQ(h.state.screenFinished.load(), 1);
}

TEST(CaptureStop, FlagsAreNotLookedAtDuringTheWait) {
    Harness h;
    h.settings.maxFrames = 100;
    // Raised while the loop waits for the 80 ms slot: that slot is still served.
    bool raised = false;
    h.clock.setOnRead([&h, &raised](FakeClock& c) {
        const std::uint64_t start = h.start();
        if (!raised && start != 0 && c.peek() > start + 60 * kMs) {
            h.state.stopScreenRequested = 1;
            raised = true;
        }
    });
    h.run();
    EXPECT_TRUE(raised);
    EXPECT_EQ(h.files(), (std::vector<Slot>{{1, 40}, {2, 80}}));
    EXPECT_EQ(h.state.stopScreenRequested.load(), 0);
}

TEST(CaptureStop, StopBeforeTheFirstPassWritesNothing) {
    Harness h;
    h.state.stopScreenRequested = 1;
    h.run();
    EXPECT_TRUE(h.writers.writes.empty());
    EXPECT_EQ(h.state.stopScreenRequested.load(), 0);
    EXPECT_EQ(h.state.screenFinished.load(), 1);
}

// ---- End steps ------------------------------------------------------------------------------

struct EndCase {
    bool titleWindow;
    bool closeOthers;
    TimerId runningTimer;
    bool killSucceeds;
    std::vector<std::string> expectedCalls;
};

class CaptureEndSteps : public ::testing::TestWithParam<EndCase> {};

TEST_P(CaptureEndSteps, RunInOrder) {
    const EndCase& c = GetParam();
    Harness h;
    int title = 0;
    int frame = 0;
    h.settings.maxFrames = 2;
    h.state.titleWindow = c.titleWindow ? &title : nullptr;
    h.state.frameWindow = &frame;
    h.settings.closeOthersOnStop = c.closeOthers ? 1 : 0;
    h.state.closeOthersTimerId = c.runningTimer;
    h.ui.killResult = c.killSucceeds;
    h.ui.timerResult = 4242;
    h.run();

    std::vector<std::string> kinds;
    for (const auto& call : h.ui.calls())
        kinds.push_back(call.kind);
    EXPECT_EQ(kinds, c.expectedCalls);
    for (const auto& call : h.ui.calls()) {
        if (call.kind == "setWindowTitle") {
            EXPECT_EQ(call.window, &title);
            EXPECT_EQ(call.text, "Marrowdale stopped");
        } else if (call.kind == "setForegroundWindow") {
            EXPECT_EQ(call.window, &title);
        } else if (call.kind == "killTimer") {
            EXPECT_EQ(call.window, &frame);
            EXPECT_EQ(call.timer, c.runningTimer);
        } else if (call.kind == "messageBox") {
            EXPECT_EQ(call.text, "KillTimer(TimerHandle) failed.");
            EXPECT_EQ(call.caption, "OnCommandStartBoth()");
        } else if (call.kind == "setTimer") {
            EXPECT_EQ(call.window, &frame);
            EXPECT_EQ(call.timer, 100u);
            EXPECT_EQ(call.intervalMs, 200u);
        }
    }
    if (c.closeOthers) {
        EXPECT_EQ(h.state.closeOthersTimerId.load(), 4242u);
        EXPECT_EQ(h.state.closeOthersPending.load(), 1);
    } else {
        EXPECT_EQ(h.state.closeOthersTimerId.load(), c.runningTimer);
        EXPECT_EQ(h.state.closeOthersPending.load(), 0);
    }
    EXPECT_EQ(h.grabber.closes(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CaptureEndSteps,
    ::testing::Values(
        EndCase{false, false, 0, true, {}},
        EndCase{true, false, 0, true, {"setWindowTitle", "setForegroundWindow"}},
        EndCase{false, true, 0, true, {"setTimer"}},
        EndCase{true, true, 0, true, {"setWindowTitle", "setForegroundWindow", "setTimer"}},
        EndCase{false, true, 77, true, {"killTimer", "setTimer"}},
        EndCase{false, true, 77, false, {"killTimer", "messageBox", "setTimer"}}));

// ---- Folder, set-up and grabs -----------------------------------------------------------------

TEST(CaptureSetUp, FolderPathThatDoesNotFitEndsSilently) {
    Harness h;
    h.cwd = "/" + std::string(494, 'p');  // 495 characters: "/vid1" does not fit
    h.state.screenStopped = 1;
    h.state.screenFinished = 0;
    h.run();
    EXPECT_TRUE(h.writers.writes.empty());
    EXPECT_EQ(h.grabber.opens(), 0);
    EXPECT_TRUE(h.ui.calls().empty());
    EXPECT_EQ(h.state.screenStopped.load(), 0);
    EXPECT_EQ(h.state.screenFinished.load(), 0);
}

TEST(CaptureSetUp, FilesGoIntoVid1OfTheCurrentDirectory) {
    test::TempDir dir;
    Harness h;
    h.cwd = dir.path();
    h.settings.maxFrames = 3;
    h.run();
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() + "/vid1"));
    ASSERT_EQ(h.writers.writes.size(), 2u);
    EXPECT_EQ(h.writers.writes[0].name, dir.path() + "/vid1/000001.jpg");
    EXPECT_EQ(h.writers.writes[1].name, dir.path() + "/vid1/000002.jpg");
    EXPECT_FALSE(h.writers.writes[0].bmp);
}

TEST(CaptureSetUp, BmpFormatUsesTheBmpWriter) {
    Harness h;
    h.settings.imageFormat = ImageFormat::kBmp;
    h.settings.maxFrames = 2;
    h.run();
    ASSERT_EQ(h.writers.writes.size(), 1u);
    EXPECT_TRUE(h.writers.writes[0].bmp);
    EXPECT_EQ(h.writers.writes[0].name, h.cwd + "/vid1/000001.bmp");
}

TEST(CaptureSetUp, SizeIsFixedAtSetUpAndTheCornerIsReadAtEveryGrab) {
    Harness h;
    h.settings.maxFrames = 4;
    h.writers.onWrite = [&h](const test::RecordingWriters::Write& w) {
        if (numberOf(w.name) == 1) {
            h.settings.captureLeft = 300;
            h.settings.captureTop = 50;
            h.settings.captureRight = 310;
        }
    };
    h.run();
    EXPECT_EQ(h.grabber.opens(), 1);
    EXPECT_EQ(h.grabber.openedWidth(), 700);
    EXPECT_EQ(h.grabber.openedHeight(), 500);
    ASSERT_EQ(h.grabber.grabs().size(), 3u);
    EXPECT_EQ(h.grabber.grabs()[0].left, 100);
    EXPECT_EQ(h.grabber.grabs()[0].top, 100);
    EXPECT_EQ(h.grabber.grabs()[1].left, 300);
    EXPECT_EQ(h.grabber.grabs()[1].top, 50);
    // Every write sees the grab made for it.
    for (std::size_t i = 0; i < h.writers.writes.size(); ++i) {
        EXPECT_EQ(h.writers.writes[i].firstPixel, i + 1);
    }
}

TEST(CaptureSetUp, WarmUpHappensBeforeTheStartTime) {
    Harness h;
    h.settings.maxFrames = 2;
    h.run();
    EXPECT_EQ(h.writers.warmUps, 1);
    EXPECT_TRUE(h.writers.warmUpHadImage);
    // The 50 ms the warm-up took are not taken from the first slot.
    EXPECT_GE(h.start(), h.writers.warmUpTime + 50 * kMs);
    EXPECT_EQ(h.files(), (std::vector<Slot>{{1, 40}}));
    EXPECT_EQ(h.grabber.opens(), 1);
}

// A screen that cannot be grabbed at all (no size, a pixel layout no grab can convert, an area
// too large for any picture) is told at once, and the recording ends without a pass: no file,
// no picture repeated for every slot.
TEST(CaptureSetUp, ScreenThatCannotBeGrabbedIsToldAndEndsTheRecording) {
    const struct {
        const char* what;
        std::int32_t left, right;
        bool failOpen;
        const char* reason;
    } cases[] = {{"no width", 100, 100, false, "the capture area has no width or height"},
                 {"open fails", 100, 800, true, "the screen could not be read"},
                 {"wider than 32 bits", -2147483647 - 1, 2147483647, false,
                  "the capture area is too large"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Harness h;
        int view = 0;
        h.state.viewWindow = &view;
        h.settings.captureLeft = c.left;
        h.settings.captureRight = c.right;
        h.grabber.failOpen = c.failOpen;
        h.run();
        EXPECT_TRUE(h.writers.writes.empty());
        EXPECT_EQ(h.stats.grabs, 0u);
        EXPECT_TRUE(h.stats.grabberFailed);
        EXPECT_EQ(h.ui.messages(), std::vector<std::string>{
                                       std::string("The screen cannot be recorded: ") + c.reason});
        EXPECT_EQ(h.ui.calls().at(0).window, &view);
        // The end steps ran: a running audio worker ends with it.
        EXPECT_EQ(h.state.screenFinished.load(), 1);
        EXPECT_EQ(h.state.screenStopped.load(), 1);
    }
}

TEST(CaptureSetUp, NameThatWouldBeCutIsNotWrittenAndReportedOnce) {
    Harness h;
    // 489 + "/vid1/" fits the folder buffer, but names would exceed 249 characters.
    h.cwd = "/" + std::string(488, 'n');
    h.settings.maxFrames = 4;
    int view = 0;
    h.state.viewWindow = &view;
    h.run();
    EXPECT_TRUE(h.writers.writes.empty());
    EXPECT_EQ(h.stats.refusedNames, 3u);
    const auto calls = h.ui.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].kind, "messageBox");
    EXPECT_EQ(calls[0].caption, "Plumet");
    EXPECT_EQ(calls[0].window, &view);
    EXPECT_EQ(h.state.screenFinished.load(), 1);
}

TEST(CaptureThread, RunsOnTheThreadOfTheRecordingSession) {
    Harness h;
    h.settings.maxFrames = 3;
    const ScreenCaptureServices services{h.clock, h.grabber, h.writers, h.ui};
    RecordingSession session(h.state,
                             [&](const WorkerStart& start) {
                                 runScreenCaptureWorker(h.settings, h.state, services, start.folder,
                                                        start.screenStats);
                                 return WorkerEnd{};
                             },
                             {});
    session.startRecording(RecordingKind::kScreen, h.cwd);
    ASSERT_TRUE(session.waitForAll(std::chrono::seconds(30)));
    EXPECT_EQ(h.writers.writes.size(), 2u);
    EXPECT_EQ(h.state.screenFinished.load(), 1);
    ASSERT_NE(session.screenStats(), nullptr);
    EXPECT_EQ(session.zero100ns(), session.screenStats()->startTime100ns.load());
    EXPECT_NE(session.zero100ns(), 0u);
}

// A screen that goes away (the X display ends, the cast is closed) ends the run like the stop
// command: the frames grabbed so far are written and the end steps run.
TEST(CaptureThread, LostScreenEndsTheRunWithItsEndSteps) {
    Harness h;
    h.settings.maxFrames = 50;
    h.grabber.onGrab = [&](std::size_t grabs) {
        if (grabs == 4)
            h.grabber.lost = true;
    };
    EXPECT_EQ(h.run(), ScreenRunEnd::kScreenLost);
    EXPECT_EQ(h.grabber.grabs().size(), 4u);
    EXPECT_EQ(h.numbers(), (std::vector<std::uint64_t>{1, 2, 3, 4}));
    EXPECT_EQ(h.state.screenStopped.load(), 1);
    EXPECT_EQ(h.state.screenFinished.load(), 1);
    EXPECT_EQ(h.grabber.closes(), 1);

    Harness kept;
    kept.settings.maxFrames = 3;
    EXPECT_EQ(kept.run(), ScreenRunEnd::kEnded);
}

// ---- The histogram ----------------------------------------------------------------------------

TEST(LatenessHistogramTest, QuantilesAreBucketUpperEdges) {
    LatenessHistogram hist;
    EXPECT_EQ(hist.quantile100ns(0.5), 0u);
    for (int i = 0; i < 98; ++i)
        hist.add(5);      // 0.5 us
    hist.add(2500);       // 250 us
    hist.add(5'000'000);  // 500 ms: beyond the last bucket
    EXPECT_EQ(hist.count(), 100u);
    EXPECT_EQ(hist.quantile100ns(0.5), 100u);
    EXPECT_EQ(hist.quantile100ns(0.98), 100u);
    EXPECT_EQ(hist.quantile100ns(0.99), 2600u);
    EXPECT_EQ(hist.quantile100ns(1.0), LatenessHistogram::kBuckets * 100u);
}

}  // namespace
}  // namespace marrowdale
