// The close-others timer: the arming at the end of a recording, the callback, the dialog's
// initialisation, and their ordering when an arming lands while a dialog is being opened.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/fakes/fake_clock.h"
#include "platform/fakes/fake_ui_bridge.h"
#include "tools/close_others.h"
#include "tools/close_others_arming.h"

namespace marrowdale {
namespace {

class FakeWindowList final : public WindowList {
  public:
    std::vector<WindowRecord> topLevelWindows() override { return windows; }
    bool requestClose(WindowId window) override {
        closed.push_back(window);
        // A closed window goes away; the next walk does not see it.
        std::erase_if(windows, [&](const WindowRecord& w) { return w.id == window; });
        return true;
    }
    std::vector<WindowRecord> windows;
    std::vector<WindowId> closed;
};

class FakeDialog final : public CloseOthersDialogView {
  public:
    void setTitle(std::string_view t) override { title = std::string(t); }
    void appendLine(std::string_view line) override { lines.emplace_back(line); }
    int lineCount() const override { return static_cast<int>(lines.size()); }
    void selectLine(int index) override { selected = index; }
    WindowHandle listBox() override { return &lines; }

    std::string title = "Marrowdale close other windows";
    std::vector<std::string> lines;
    int selected = -1;
};

class FakeDialogHost final : public CloseOthersDialogHost {
  public:
    FakeDialogHost(RecorderState& state, WindowList& windows) : state_(state), windows_(windows) {}
    WindowHandle createDialog() override {
        if (failCreate)
            return nullptr;
        dialogs.push_back(std::make_unique<FakeDialog>());
        initCloseOthersDialog(state_, *dialogs.back(), windows_);
        return dialogs.back().get();
    }
    void showDialog(WindowHandle dialog) override { shown.push_back(dialog); }

    std::vector<std::unique_ptr<FakeDialog>> dialogs;
    std::vector<WindowHandle> shown;
    bool failCreate = false;

  private:
    RecorderState& state_;
    WindowList& windows_;
};

// A clock whose pauses can run something, standing in for whatever happens on other threads
// while the GUI thread is paused.
class PausingClock final : public Clock {
  public:
    std::uint64_t now100ns() override { return now; }
    void sleepUntil100ns(std::uint64_t t) override { now = std::max(now, t); }
    void sleepMs(std::uint32_t ms) override {
        pauses.push_back(ms);
        now += std::uint64_t{ms} * 10'000;
        if (duringPause) {
            auto hook = std::move(duringPause);
            duringPause = nullptr;
            hook();
        }
    }
    std::uint64_t now = 0;
    std::vector<std::uint32_t> pauses;
    std::function<void()> duringPause;
};

WindowRecord normalWindow(WindowId id, std::string title) {
    WindowRecord w;
    w.id = id;
    w.visible = true;
    w.placementReadable = true;
    w.clientHeight = 400;
    w.title = std::move(title);
    return w;
}

class CloseOthersTimerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetToProcessStart(settings, state);
        state.frameWindow = frame;
        settings.closeOthersOnStop = 1;
    }
    void tick() { OnTimerCloseOtherWindows(state, ui, host, clock); }

    int frameObject = 0;
    WindowHandle frame = &frameObject;
    CaptureSettings settings;
    RecorderState state;
    FakeUiBridge ui;
    FakeWindowList windows;
    FakeDialogHost host{state, windows};
    PausingClock clock;
};

TEST_F(CloseOthersTimerTest, DialogListsTheClosedWindowsInOrder) {
    WindowRecord maximised = normalWindow(3, "Big browser");
    maximised.showState = ShowState::Maximised;
    WindowRecord small = normalWindow(5, "Calculator");
    small.clientHeight = 150;
    windows.windows = {normalWindow(1, "Terminal"), maximised,
                       normalWindow(2, "Marrowdale recording screen only"), small,
                       normalWindow(4, "Image viewer")};

    FakeDialog dialog;
    initCloseOthersDialog(state, dialog, windows);

    EXPECT_EQ(dialog.title, "Marrowdale - Close other windows");
    const std::vector<std::string> expected = {"Closed windows title bar texts", "Terminal",
                                               "Image viewer", "End of the list"};
    EXPECT_EQ(dialog.lines, expected);
    EXPECT_EQ(dialog.selected, 3);
    EXPECT_EQ(windows.closed, (std::vector<WindowId>{1, 4}));
    EXPECT_EQ(state.closeOthersList.load(), dialog.listBox());
}

TEST_F(CloseOthersTimerTest, NothingToCloseShowsHeaderAndFooter) {
    windows.windows = {normalWindow(2, "Marrowdale")};
    FakeDialog dialog;
    initCloseOthersDialog(state, dialog, windows);
    const std::vector<std::string> expected = {"Closed windows title bar texts", "End of the list"};
    EXPECT_EQ(dialog.lines, expected);
    EXPECT_EQ(dialog.selected, 1);
    EXPECT_TRUE(windows.closed.empty());
}

TEST_F(CloseOthersTimerTest, ArmingIsSkippedWhenTheOptionIsOff) {
    settings.closeOthersOnStop = 0;
    settings.showCloseOthersOnStop = 1;
    armCloseOthersTimer(settings, state, ui);
    EXPECT_TRUE(ui.calls().empty());
    EXPECT_EQ(state.closeOthersPending.load(), 0);
    EXPECT_EQ(state.closeOthersTimerId.load(), 0u);
}

TEST_F(CloseOthersTimerTest, ArmingSetsTimer100Every200Ms) {
    armCloseOthersTimer(settings, state, ui);
    const auto calls = ui.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].kind, "setTimer");
    EXPECT_EQ(calls[0].window, frame);
    EXPECT_EQ(calls[0].timer, 100u);
    EXPECT_EQ(calls[0].intervalMs, 200u);
    EXPECT_EQ(state.closeOthersTimerId.load(), 100u);
    EXPECT_EQ(state.closeOthersPending.load(), 1);
}

TEST_F(CloseOthersTimerTest, RearmingKillsTheRecordedTimerAndReportsAFailedKill) {
    state.closeOthersTimerId = 100;
    ui.killResult = false;
    armCloseOthersTimer(settings, state, ui);
    const auto calls = ui.calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].kind, "killTimer");
    EXPECT_EQ(calls[0].timer, 100u);
    EXPECT_EQ(calls[1].kind, "messageBox");
    EXPECT_EQ(calls[1].text, "KillTimer(TimerHandle) failed.");
    EXPECT_EQ(calls[1].caption, "OnCommandStartBoth()");
    EXPECT_EQ(calls[1].window, nullptr);
    EXPECT_EQ(calls[2].kind, "setTimer");
    EXPECT_EQ(state.closeOthersPending.load(), 1);
}

TEST_F(CloseOthersTimerTest, FailedTimerLeavesPendingWithoutId) {
    ui.timerResult = 0;
    armCloseOthersTimer(settings, state, ui);
    EXPECT_EQ(state.closeOthersTimerId.load(), 0u);
    EXPECT_EQ(state.closeOthersPending.load(), 1);
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(CloseOthersTimerTest, TickWithoutArmingDoesNothing) {
    state.closeOthersTimerId = 100;
    tick();
    EXPECT_TRUE(ui.calls().empty());
    EXPECT_TRUE(host.dialogs.empty());
    EXPECT_TRUE(clock.pauses.empty());
    EXPECT_EQ(state.closeOthersTimerId.load(), 100u);  // the timer is left running
}

TEST_F(CloseOthersTimerTest, FirstTickKillsTheTimerOpensOneDialogAndPauses) {
    windows.windows = {normalWindow(1, "Terminal")};
    armCloseOthersTimer(settings, state, ui);
    ui.clear();

    tick();
    const auto calls = ui.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].kind, "killTimer");
    EXPECT_EQ(calls[0].window, frame);
    EXPECT_EQ(calls[0].timer, 100u);
    ASSERT_EQ(host.dialogs.size(), 1u);
    ASSERT_EQ(host.shown.size(), 1u);
    EXPECT_EQ(host.shown[0], host.dialogs[0].get());
    EXPECT_EQ(state.closeOthersDialog.load(), host.dialogs[0].get());
    EXPECT_EQ(clock.pauses, (std::vector<std::uint32_t>{300}));
    EXPECT_EQ(state.closeOthersPending.load(), 0);
    EXPECT_EQ(state.closeOthersTimerId.load(), 0u);
    EXPECT_EQ(windows.closed, (std::vector<WindowId>{1}));

    // Later ticks (the timer could not be killed, say) open nothing more.
    tick();
    tick();
    EXPECT_EQ(host.dialogs.size(), 1u);
}

TEST_F(CloseOthersTimerTest, FailedKillInTheCallbackIsReportedAndTheDialogStillOpens) {
    armCloseOthersTimer(settings, state, ui);
    ui.clear();
    ui.killResult = false;
    tick();
    const auto calls = ui.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].kind, "messageBox");
    EXPECT_EQ(calls[1].text, "KillTimer(TimerHandle) failed.");
    EXPECT_EQ(calls[1].caption, "OnTimerCloseOtherWindows()");
    EXPECT_EQ(state.closeOthersTimerId.load(), 0u);
    EXPECT_EQ(host.dialogs.size(), 1u);
}

TEST_F(CloseOthersTimerTest, NoRecordedTimerMeansNoKill) {
    state.closeOthersPending = 1;
    tick();
    EXPECT_TRUE(ui.calls().empty());
    EXPECT_EQ(host.dialogs.size(), 1u);
}

TEST_F(CloseOthersTimerTest, DialogThatCannotBeCreatedIsNotShown) {
    host.failCreate = true;
    armCloseOthersTimer(settings, state, ui);
    tick();
    EXPECT_TRUE(host.shown.empty());
    EXPECT_EQ(state.closeOthersDialog.load(), nullptr);
    EXPECT_EQ(state.closeOthersPending.load(), 0);
}

TEST_F(CloseOthersTimerTest, ArmingDuringThePauseGetsItsOwnDialog) {
    // Screen and audio end together: the second worker arms while the first dialog's pause
    // runs. That arming must not be swallowed.
    windows.windows = {normalWindow(1, "Terminal"), normalWindow(2, "Mail")};
    armCloseOthersTimer(settings, state, ui);
    clock.duringPause = [&] {
        windows.windows.push_back(normalWindow(3, "Opened meanwhile"));
        armCloseOthersTimer(settings, state, ui);
    };
    tick();
    EXPECT_EQ(host.dialogs.size(), 1u);
    EXPECT_EQ(state.closeOthersPending.load(), 1);
    EXPECT_EQ(state.closeOthersTimerId.load(), 100u);

    tick();
    ASSERT_EQ(host.dialogs.size(), 2u);
    const std::vector<std::string> second = {"Closed windows title bar texts", "Opened meanwhile",
                                             "End of the list"};
    EXPECT_EQ(host.dialogs[1]->lines, second);
    EXPECT_EQ(state.closeOthersPending.load(), 0);
    EXPECT_EQ(windows.closed, (std::vector<WindowId>{1, 2, 3}));
}

TEST_F(CloseOthersTimerTest, ArmingWhileTheCallbackOwnsTheTimerKillsNothingTwice) {
    // The callback has taken the timer's id; an arming that comes in now finds no id to kill.
    armCloseOthersTimer(settings, state, ui);
    clock.duringPause = [&] { armCloseOthersTimer(settings, state, ui); };
    ui.clear();
    tick();
    int kills = 0;
    for (const auto& c : ui.calls())
        kills += c.kind == "killTimer";
    EXPECT_EQ(kills, 1);
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(CloseOthersTimerTest, TwoArmingsBeforeTheFirstTickGiveOneDialog) {
    armCloseOthersTimer(settings, state, ui);
    armCloseOthersTimer(settings, state, ui);
    tick();
    tick();
    EXPECT_EQ(host.dialogs.size(), 1u);
    EXPECT_TRUE(ui.messages().empty());
}

}  // namespace
}  // namespace marrowdale
