// The two-click area selection: start, the watch's callback, the view's own press handler and
// the "apply last press" command, driven against a host and views that record every call.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "capture_area/area_selection.h"

namespace marrowdale {
namespace {

struct Shown {
    std::int32_t top = 100, left = 100, right = 800, bottom = 600;
};

// A view whose calls go into the host's list, in their order among the host's own.
class RecordingView final : public CaptureView {
  public:
    explicit RecordingView(std::vector<std::string>& calls) : calls_(calls) {}

    WindowHandle topLevelFrameHandle() override { return frame; }
    WindowHandle viewWindowHandle() override { return static_cast<CaptureView*>(this); }
    void setShownTopLeft(std::int32_t x, std::int32_t y) override {
        calls_.push_back("shownTopLeft " + std::to_string(x) + "," + std::to_string(y));
        shown.left = x;
        shown.top = y;
    }
    void setShownBottomRight(std::int32_t x, std::int32_t y) override {
        calls_.push_back("shownBottomRight " + std::to_string(x) + "," + std::to_string(y));
        shown.right = x;
        shown.bottom = y;
    }
    void repaintErase() override { calls_.push_back("repaint"); }

    WindowHandle frame = nullptr;
    Shown shown;

  private:
    std::vector<std::string>& calls_;
};

class RecordingHost final : public AreaSelectionHost {
  public:
    void setWindowTitle(WindowHandle window, std::string_view title) override {
        calls.push_back("title " + std::string(title));
        titles[window] = std::string(title);
    }
    void setForegroundWindow(WindowHandle window) override {
        calls.push_back("foreground");
        foregrounds.push_back(window);
    }
    HookHandle installMouseWatch() override {
        calls.push_back("install");
        if (failInstall)
            return nullptr;
        auto* handle = reinterpret_cast<HookHandle>(static_cast<std::uintptr_t>(nextWatch++));
        liveWatches.insert(handle);
        return handle;
    }
    void removeMouseWatch(HookHandle watch) override {
        calls.push_back("remove");
        EXPECT_EQ(liveWatches.erase(watch), 1u) << "removed a watch that was not installed";
    }

    std::map<WindowHandle, std::string> titles;
    std::vector<WindowHandle> foregrounds;
    std::vector<std::string> calls;
    std::set<HookHandle> liveWatches;
    std::uintptr_t nextWatch = 0x1000;
    bool failInstall = false;
};

class AreaSelectionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetToProcessStart(settings, state);
        viewObject.frame = frame;
    }

    long press(std::int32_t x, std::int32_t y, std::uint32_t message = kMouseMessageLeftDown,
               int code = kMouseWatchAction) {
        const MousePoint point{x, y};
        return CaptureAreaMouseProc(settings, state, host, code, message, &point);
    }

    void expectRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
        EXPECT_EQ(settings.captureLeft.load(), left);
        EXPECT_EQ(settings.captureTop.load(), top);
        EXPECT_EQ(settings.captureRight.load(), right);
        EXPECT_EQ(settings.captureBottom.load(), bottom);
    }
    void expectShown(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
        const Shown& s = viewObject.shown;
        EXPECT_EQ(s.left, left);
        EXPECT_EQ(s.top, top);
        EXPECT_EQ(s.right, right);
        EXPECT_EQ(s.bottom, bottom);
    }

    CaptureSettings settings;
    RecorderState state;
    RecordingHost host;
    RecordingView viewObject{host.calls};
    CaptureView* view = &viewObject;
    int frameObject = 0;
    WindowHandle frame = &frameObject;
};

TEST_F(AreaSelectionTest, StartRunsItsStepsInOrder) {
    state.raiseOnDraw = 1;
    state.screenStopped = 1;
    state.screenFinished = 1;
    state.statusCode = StatusCode::kAreaSelected;

    startAreaSelection(settings, state, host, view);

    EXPECT_EQ(state.frameWindow.load(), frame);
    EXPECT_EQ(state.viewWindow.load(), view);
    EXPECT_EQ(state.commandView.load(), view);
    EXPECT_EQ(state.raiseOnDraw.load(), 0);
    EXPECT_EQ(state.screenStopped.load(), 0);
    EXPECT_EQ(state.screenFinished.load(), 0);
    EXPECT_NE(state.mouseHook.load(), nullptr);
    EXPECT_EQ(state.areaClickState.load(), 1);
    EXPECT_EQ(state.statusCode.load(), StatusCode::kShowArea);
    EXPECT_EQ(host.titles[frame], "Click the top left point");
    const std::vector<std::string> expected = {"install", "title Click the top left point",
                                               "repaint"};
    EXPECT_EQ(host.calls, expected);
    expectRect(100, 100, 800, 600);
}

TEST_F(AreaSelectionTest, BothCornersByTheWatch) {
    startAreaSelection(settings, state, host, view);
    host.calls.clear();

    EXPECT_EQ(press(10, 20), 0);
    EXPECT_EQ(state.areaClickState.load(), 2);
    expectRect(10, 20, 800, 600);
    expectShown(10, 20, 800, 600);
    EXPECT_EQ(host.titles[frame], "Click the bottom right point");
    EXPECT_EQ(state.raiseOnDraw.load(), 1);
    EXPECT_EQ(state.lastClickX.load(), 10);
    EXPECT_EQ(state.lastClickY.load(), 20);
    EXPECT_NE(state.mouseHook.load(), nullptr);
    EXPECT_EQ(state.statusCode.load(), StatusCode::kShowArea);
    std::vector<std::string> expected = {"shownTopLeft 10,20", "title Click the bottom right point",
                                         "repaint", "foreground"};
    EXPECT_EQ(host.calls, expected);

    host.calls.clear();
    state.raiseOnDraw = 0;  // the view's paint clears it in between
    EXPECT_EQ(press(650, 480), 0);
    EXPECT_EQ(state.areaClickState.load(), 0);
    expectRect(10, 20, 650, 480);
    expectShown(10, 20, 650, 480);
    EXPECT_EQ(host.titles[frame], "Marrowdale");
    EXPECT_EQ(state.statusCode.load(), StatusCode::kAreaSelected);
    EXPECT_EQ(state.mouseHook.load(), nullptr);
    EXPECT_TRUE(host.liveWatches.empty());
    EXPECT_EQ(state.raiseOnDraw.load(), 1);
    expected = {"shownBottomRight 650,480", "remove", "title Marrowdale", "repaint", "foreground"};
    EXPECT_EQ(host.calls, expected);
    ASSERT_EQ(host.foregrounds.size(), 2u);
    EXPECT_EQ(host.foregrounds[1], frame);
}

TEST_F(AreaSelectionTest, OnlyLeftPressesWithTheActionCodeAndAPointAct) {
    struct Row {
        const char* what;
        int code;
        std::uint32_t message;
        bool withPoint;
    };
    const Row rows[] = {
        {"pointer move", kMouseWatchAction, kMouseMessageMove, true},
        {"left release", kMouseWatchAction, kMouseMessageLeftUp, true},
        {"right press", kMouseWatchAction, kMouseMessageRightDown, true},
        {"middle press", kMouseWatchAction, kMouseMessageMiddleDown, true},
        {"wheel", kMouseWatchAction, kMouseMessageWheel, true},
        {"other code", 3, kMouseMessageLeftDown, true},
        {"negative code", -1, kMouseMessageLeftDown, true},
        {"no event", kMouseWatchAction, kMouseMessageLeftDown, false},
    };
    startAreaSelection(settings, state, host, view);
    host.calls.clear();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const MousePoint point{5, 6};
        EXPECT_EQ(CaptureAreaMouseProc(settings, state, host, row.code, row.message,
                                       row.withPoint ? &point : nullptr),
                  0);
        EXPECT_EQ(state.areaClickState.load(), 1);
        EXPECT_EQ(state.lastClickX.load(), 0);
        EXPECT_EQ(state.raiseOnDraw.load(), 0);
        EXPECT_TRUE(host.calls.empty());
        expectRect(100, 100, 800, 600);
    }
}

TEST_F(AreaSelectionTest, PressWithNoSelectionRemovesTheWatchOnly) {
    // A press that reaches the callback while no selection runs (state 0).
    state.commandView = view;
    state.frameWindow = frame;
    state.mouseHook = host.installMouseWatch();
    host.calls.clear();

    EXPECT_EQ(press(300, 400), 0);
    EXPECT_EQ(state.areaClickState.load(), 0);
    EXPECT_EQ(state.mouseHook.load(), nullptr);
    EXPECT_EQ(state.lastClickX.load(), 300);
    EXPECT_EQ(state.lastClickY.load(), 400);
    EXPECT_EQ(state.raiseOnDraw.load(), 1);
    EXPECT_EQ(state.statusCode.load(), StatusCode::kShowArea);
    expectRect(100, 100, 800, 600);
    expectShown(100, 100, 800, 600);
    EXPECT_TRUE(host.titles.empty());
    const std::vector<std::string> expected = {"remove", "repaint", "foreground"};
    EXPECT_EQ(host.calls, expected);

    // A second stray press has no watch left to remove.
    host.calls.clear();
    press(1, 2);
    const std::vector<std::string> again = {"repaint", "foreground"};
    EXPECT_EQ(host.calls, again);
}

TEST_F(AreaSelectionTest, DoubleClickCompletesWithBothCornersAtOnePoint) {
    startAreaSelection(settings, state, host, view);
    // A double click: press, release, press, release at one spot.
    press(222, 333);
    press(222, 333, kMouseMessageLeftUp);
    press(222, 333);
    press(222, 333, kMouseMessageLeftUp);
    EXPECT_EQ(state.areaClickState.load(), 0);
    expectRect(222, 333, 222, 333);
    expectShown(222, 333, 222, 333);
    EXPECT_EQ(host.titles[frame], "Marrowdale");
    EXPECT_EQ(state.statusCode.load(), StatusCode::kAreaSelected);
}

TEST_F(AreaSelectionTest, CornersAreStoredAsPressedWithoutReordering) {
    struct Row {
        const char* what;
        MousePoint first, second;
    };
    const Row rows[] = {
        {"same point twice", {400, 300}, {400, 300}},
        {"bottom right first", {900, 700}, {100, 50}},
        {"right of but above", {100, 700}, {900, 50}},
        {"negative coordinates", {-50, -20}, {-10, -5}},
        {"extreme values", {INT32_MIN, INT32_MAX}, {INT32_MAX, INT32_MIN}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        startAreaSelection(settings, state, host, view);
        press(row.first.x, row.first.y);
        press(row.second.x, row.second.y);
        expectRect(row.first.x, row.first.y, row.second.x, row.second.y);
        expectShown(row.first.x, row.first.y, row.second.x, row.second.y);
        EXPECT_EQ(state.areaClickState.load(), 0);
        EXPECT_EQ(state.statusCode.load(), StatusCode::kAreaSelected);
        EXPECT_TRUE(host.liveWatches.empty());
    }
}

// A press inside the view while the watch is installed is the watch's to take: the view's own
// handler adds nothing, so the press counts once.
TEST_F(AreaSelectionTest, ViewPressWithAWatchIsLeftToTheWatch) {
    startAreaSelection(settings, state, host, view);
    host.calls.clear();

    onViewLeftButtonDown(settings, state, host, view, 515, 425);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(state.areaClickState.load(), 1);
    expectRect(100, 100, 800, 600);
    expectShown(100, 100, 800, 600);

    // With no selection running the view's presses do nothing either.
    press(10, 20);
    press(30, 40);
    host.calls.clear();
    onViewLeftButtonDown(settings, state, host, view, 1, 1);
    EXPECT_TRUE(host.calls.empty());
    expectRect(10, 20, 30, 40);
    expectShown(10, 20, 30, 40);
}

// The press inside the view during a selection: the watch sees it first in desktop
// coordinates, then the view's own handler sees the same press. It is taken once, as the first
// corner; the selection goes on, and the stored rectangle and the display copy agree.
TEST_F(AreaSelectionTest, PressInsideTheViewIsTakenOnceInDesktopCoordinates) {
    startAreaSelection(settings, state, host, view);
    press(510, 420);
    onViewLeftButtonDown(settings, state, host, view, 510, 420);

    EXPECT_EQ(state.areaClickState.load(), 2);
    expectRect(510, 420, 800, 600);
    expectShown(510, 420, 800, 600);
    EXPECT_EQ(host.titles[frame], "Click the bottom right point");
    EXPECT_NE(state.mouseHook.load(), nullptr);

    // The second press in the view ends it, again once.
    press(900, 700);
    onViewLeftButtonDown(settings, state, host, view, 900, 700);
    EXPECT_EQ(state.areaClickState.load(), 0);
    expectRect(510, 420, 900, 700);
    expectShown(510, 420, 900, 700);
    EXPECT_EQ(host.titles[frame], "Marrowdale");
    EXPECT_EQ(state.statusCode.load(), StatusCode::kAreaSelected);
    EXPECT_EQ(state.mouseHook.load(), nullptr);
    EXPECT_TRUE(host.liveWatches.empty());
}

TEST_F(AreaSelectionTest, GlobalMouseDownCommandAppliesTheLastPress) {
    startAreaSelection(settings, state, host, view);
    state.lastClickX = 40;
    state.lastClickY = 50;
    host.calls.clear();

    onGlobalMouseDown(settings, state, host, view);
    EXPECT_EQ(state.areaClickState.load(), 2);
    expectRect(40, 50, 800, 600);
    expectShown(40, 50, 800, 600);
    std::vector<std::string> expected = {"shownTopLeft 40,50", "repaint"};
    EXPECT_EQ(host.calls, expected);

    state.lastClickX = 640;
    state.lastClickY = 470;
    host.calls.clear();
    onGlobalMouseDown(settings, state, host, view);
    EXPECT_EQ(state.areaClickState.load(), 0);
    expectRect(40, 50, 640, 470);
    expectShown(40, 50, 640, 470);
    EXPECT_EQ(state.mouseHook.load(), nullptr);
    expected = {"shownBottomRight 640,470", "remove", "repaint"};
    EXPECT_EQ(host.calls, expected);

    // No title change and the status is kept.
    EXPECT_EQ(host.titles[frame], "Click the top left point");
    EXPECT_EQ(state.statusCode.load(), StatusCode::kShowArea);

    // With no selection it does nothing.
    host.calls.clear();
    state.lastClickX = 1;
    onGlobalMouseDown(settings, state, host, view);
    EXPECT_TRUE(host.calls.empty());
    expectRect(40, 50, 640, 470);
}

TEST_F(AreaSelectionTest, RestartRemovesTheEarlierWatch) {
    startAreaSelection(settings, state, host, view);
    const HookHandle first = state.mouseHook.load();
    press(10, 10);
    startAreaSelection(settings, state, host, view);
    const HookHandle second = state.mouseHook.load();
    EXPECT_NE(first, second);
    EXPECT_EQ(host.liveWatches.size(), 1u);
    EXPECT_EQ(host.liveWatches.count(second), 1u);
    EXPECT_EQ(state.areaClickState.load(), 1);

    press(20, 30);
    press(200, 300);
    EXPECT_TRUE(host.liveWatches.empty());
    expectRect(20, 30, 200, 300);
}

// Without a watch the view's own presses are the only way in: each is taken once, as the watch
// would take it, into the rectangle and the display copy alike.
TEST_F(AreaSelectionTest, FailedInstallLeavesOnlyTheViewAndCommandPaths) {
    host.failInstall = true;
    startAreaSelection(settings, state, host, view);
    EXPECT_EQ(state.mouseHook.load(), nullptr);
    EXPECT_EQ(state.areaClickState.load(), 1);
    EXPECT_EQ(host.titles[frame], "Click the top left point");

    onViewLeftButtonDown(settings, state, host, view, 5, 6);
    EXPECT_EQ(state.areaClickState.load(), 2);
    EXPECT_EQ(host.titles[frame], "Click the bottom right point");
    onViewLeftButtonDown(settings, state, host, view, 70, 80);
    EXPECT_EQ(state.areaClickState.load(), 0);
    expectRect(5, 6, 70, 80);
    expectShown(5, 6, 70, 80);
    EXPECT_EQ(state.statusCode.load(), StatusCode::kAreaSelected);
    EXPECT_EQ(host.titles[frame], "Marrowdale");
    const int removes =
        static_cast<int>(std::count(host.calls.begin(), host.calls.end(), std::string("remove")));
    EXPECT_EQ(removes, 0);
}

TEST_F(AreaSelectionTest, ViewWithoutFrameGetsNoTitleOrForeground) {
    RecordingView otherView{host.calls};
    CaptureView* lonely = &otherView;
    startAreaSelection(settings, state, host, lonely);
    EXPECT_EQ(state.frameWindow.load(), nullptr);
    press(1, 2);
    press(3, 4);
    EXPECT_TRUE(host.titles.empty());
    EXPECT_TRUE(host.foregrounds.empty());
    expectRect(1, 2, 3, 4);
    EXPECT_EQ(otherView.shown.left, 1);
    EXPECT_EQ(otherView.shown.bottom, 4);
    EXPECT_EQ(state.raiseOnDraw.load(), 1);
}

TEST_F(AreaSelectionTest, WatchUpdatesTheViewThatStartedTheSelection) {
    RecordingView secondViewObject{host.calls};
    int secondFrameObject = 0;
    CaptureView* second = &secondViewObject;
    secondViewObject.frame = &secondFrameObject;
    startAreaSelection(settings, state, host, second);
    press(70, 80);
    press(170, 180);
    EXPECT_EQ(secondViewObject.shown.left, 70);
    EXPECT_EQ(secondViewObject.shown.bottom, 180);
    expectShown(100, 100, 800, 600);  // the first view keeps its copy
    EXPECT_EQ(host.titles[&secondFrameObject], "Marrowdale");
    EXPECT_EQ(host.titles.count(frame), 0u);
}

}  // namespace
}  // namespace marrowdale

namespace marrowdale {
namespace {

TEST_F(AreaSelectionTest, RecordedWatchDeliversAnOrphanedOneRemovesItself) {
    startAreaSelection(settings, state, host, view);
    const HookHandle watch = state.mouseHook.load();
    EXPECT_TRUE(
        deliverWatchedEvent(settings, state, host, watch, {kMouseMessageLeftDown, {11, 12}}));
    expectRect(11, 12, 800, 600);

    // A new view puts the records back while the selection runs: the watch is no longer
    // recorded, and its next press removes it without touching anything.
    resetForNewView(settings, state);
    host.calls.clear();
    EXPECT_FALSE(
        deliverWatchedEvent(settings, state, host, watch, {kMouseMessageLeftDown, {50, 60}}));
    EXPECT_TRUE(host.liveWatches.empty());
    const std::vector<std::string> expected = {"remove"};
    EXPECT_EQ(host.calls, expected);
    expectRect(100, 100, 800, 600);
    EXPECT_EQ(state.lastClickX.load(), 11);
    EXPECT_EQ(state.raiseOnDraw.load(), 1);  // from the first press only
}

TEST_F(AreaSelectionTest, EscapeOnTheOverlayCancelsWithoutANewRectangle) {
    // Escape before any corner, after the first corner, and from a watch that is not the
    // recorded one any more.
    struct Row {
        const char* what;
        int cornersBefore;
        bool staleWatch;
    } rows[] = {{"before the first corner", 0, false},
                {"after the first corner", 1, false},
                {"from an earlier watch", 1, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        resetToProcessStart(settings, state);
        viewObject.shown = Shown{};
        host.titles.clear();
        startAreaSelection(settings, state, host, view);
        const CaptureRect before = currentCaptureRect(settings);
        HookHandle watch = state.mouseHook.load();
        if (row.cornersBefore > 0)
            press(30, 40);
        if (row.staleWatch) {
            // A new selection replaced the watch; Escape on the old overlay only removes it.
            startAreaSelection(settings, state, host, view);
            const HookHandle current = state.mouseHook.load();
            host.liveWatches.insert(watch);  // the old overlay still exists until removed
            cancelAreaSelection(settings, state, host, watch, before);
            EXPECT_EQ(host.liveWatches.count(watch), 0u);
            EXPECT_EQ(state.mouseHook.load(), current);
            EXPECT_EQ(state.areaClickState.load(), 1);
            removeAreaSelectionWatch(state, host);
            continue;
        }
        cancelAreaSelection(settings, state, host, watch, before);
        EXPECT_EQ(state.areaClickState.load(), 0);
        EXPECT_EQ(state.mouseHook.load(), nullptr);
        EXPECT_TRUE(host.liveWatches.empty());
        expectRect(100, 100, 800, 600);
        expectShown(100, 100, 800, 600);
        EXPECT_EQ(host.titles[frame], kTitleSelectionDone);
        // A press after the cancel no longer takes a corner.
        press(5, 6);
        expectRect(100, 100, 800, 600);
    }
}

}  // namespace
}  // namespace marrowdale
