// The mouse watch on a real X server: presses anywhere are seen with their desktop position,
// they still reach the window under the pointer, and a whole selection made with real clicks
// sets the capture rectangle.
#include <gtest/gtest.h>
#include <poll.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "capture_area/area_selection.h"
#include "capture_area/mouse_watch_set.h"
#include "tests/integration/area_selection/x_session_helpers.h"

namespace marrowdale {
namespace {

using namespace testing_x;

class XSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "these tests need an X display";
        // Park the pointer away from where the tests click.
        ASSERT_TRUE(run("xdotool mousemove 5 5"));
    }
};

// Polls one watch until `want` events have arrived or about five seconds passed.
std::vector<MouseWatchEvent> collect(MouseWatch& watch, std::size_t want) {
    std::vector<MouseWatchEvent> events;
    for (int round = 0; round < 250 && events.size() < want; ++round) {
        pollfd fd{watch.fileDescriptor(), POLLIN, 0};
        poll(&fd, 1, 20);
        watch.dispatchPending([&](const MouseWatchEvent& e) { events.push_back(e); });
    }
    return events;
}

TEST_F(XSessionTest, WatchSeesEveryButtonWithItsDesktopPosition) {
    std::string error;
    auto watch = openX11MouseWatch(&error);
    ASSERT_TRUE(watch) << error;

    ASSERT_TRUE(run("xdotool mousemove 123 234 click 1 mousemove 1500 900 click 3"));
    const auto events = collect(*watch, 4);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].message, kMouseMessageLeftDown);
    EXPECT_EQ(events[0].point.x, 123);
    EXPECT_EQ(events[0].point.y, 234);
    EXPECT_EQ(events[1].message, kMouseMessageLeftUp);
    EXPECT_EQ(events[2].message, kMouseMessageRightDown);
    EXPECT_EQ(events[2].point.x, 1500);
    EXPECT_EQ(events[2].point.y, 900);
    EXPECT_EQ(events[3].message, kMouseMessageRightUp);
}

TEST_F(XSessionTest, SyncDeliversAPressAlreadyProcessed) {
    std::string error;
    auto watch = openX11MouseWatch(&error);
    ASSERT_TRUE(watch) << error;
    // xdotool returns after the server has taken its fake press, so a round trip finds it.
    ASSERT_TRUE(run("xdotool mousemove 400 410 click 1"));
    std::vector<MouseWatchEvent> events;
    watch->syncAndDispatch([&](const MouseWatchEvent& e) { events.push_back(e); });
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0].message, kMouseMessageLeftDown);
    EXPECT_EQ(events[0].point.x, 400);
    EXPECT_EQ(events[0].point.y, 410);
}

TEST_F(XSessionTest, PressOnAnotherProgramsButtonStillPressesIt) {
    ChildProcess program({"xmessage", "-geometry", "+600+400", "-title", "Other program",
                          "-buttons", "Press:7", "Press the button"});
    ASSERT_TRUE(program.started());
    const auto id = waitFor("xdotool search --name '^Other program$'", 5000);
    ASSERT_TRUE(id) << "the test window did not appear";
    const std::string window = firstLine(*id);
    std::optional<Geometry> geometry;
    for (int i = 0; i < 50 && !(geometry = windowGeometry(window)); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(geometry);

    std::string error;
    auto watch = openX11MouseWatch(&error);
    ASSERT_TRUE(watch) << error;

    // The button sits in the bottom-left corner of the message window.
    const int x = geometry->x + 15;
    const int y = geometry->y + geometry->height - 14;
    ASSERT_TRUE(
        run("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1"));
    const auto events = collect(*watch, 2);
    ASSERT_GE(events.size(), 1u);
    EXPECT_EQ(events[0].message, kMouseMessageLeftDown);
    EXPECT_EQ(events[0].point.x, x);
    EXPECT_EQ(events[0].point.y, y);
    EXPECT_EQ(program.waitExit(5000), std::optional<int>(7)) << "the press did not reach it";
}

// An area-selection host whose watches are real; the view and the frame are plain records.
class RealWatchHost final : public AreaSelectionHost {
  public:
    RealWatchHost(CaptureSettings& settings, RecorderState& state)
        : watches_([](std::string* error) { return openX11MouseWatch(error); },
                   [this, &settings, &state](const MouseWatchEvent& e) {
                       CaptureAreaMouseProc(settings, state, *this, kMouseWatchAction, e.message,
                                            &e.point);
                   }) {}

    WindowHandle topLevelFrame(ViewHandle) override { return &frame; }
    WindowHandle viewWindow(ViewHandle view) override { return view; }
    void setShownTopLeft(ViewHandle, std::int32_t x, std::int32_t y) override {
        shownLeft = x;
        shownTop = y;
    }
    void setShownBottomRight(ViewHandle, std::int32_t x, std::int32_t y) override {
        shownRight = x;
        shownBottom = y;
    }
    void setWindowTitle(WindowHandle, std::string_view t) override { title = std::string(t); }
    void repaintView(ViewHandle) override {}
    void setForegroundWindow(WindowHandle) override { ++foregrounds; }
    HookHandle installMouseWatch() override {
        int fd = -1;
        const HookHandle h = watches_.install(&fd);
        if (h != nullptr)
            fds_[h] = fd;
        return h;
    }
    void removeMouseWatch(HookHandle h) override {
        watches_.remove(h);
        fds_.erase(h);
    }

    // Pumps the installed watches until `done` holds or about five seconds passed.
    template <typename Done>
    void pumpUntil(Done done) {
        for (int round = 0; round < 250 && !done(); ++round) {
            std::vector<pollfd> fds;
            std::vector<HookHandle> handles;
            for (const auto& [h, fd] : fds_) {
                fds.push_back({fd, POLLIN, 0});
                handles.push_back(h);
            }
            if (fds.empty())
                return;
            poll(fds.data(), fds.size(), 20);
            for (HookHandle h : handles)
                watches_.dispatch(h);
        }
    }
    std::size_t installed() const { return watches_.installedCount(); }

    int frame = 0;
    std::string title;
    int foregrounds = 0;
    std::int32_t shownTop = 100, shownLeft = 100, shownRight = 800, shownBottom = 600;

  private:
    MouseWatchSet watches_;
    std::map<HookHandle, int> fds_;
};

class RealSelectionTest : public XSessionTest {
  protected:
    void SetUp() override {
        XSessionTest::SetUp();
        resetToProcessStart(settings, state);
    }
    CaptureSettings settings;
    RecorderState state;
    RealWatchHost host{settings, state};
    int viewObject = 0;
};

TEST_F(RealSelectionTest, TwoRealClicksSetTheRectangle) {
    startAreaSelection(settings, state, host, &viewObject);
    ASSERT_NE(state.mouseHook.load(), nullptr);
    EXPECT_EQ(host.title, "Click the top left point");

    ASSERT_TRUE(run("xdotool mousemove 300 200 click 1"));
    host.pumpUntil([&] { return state.areaClickState.load() == 2; });
    EXPECT_EQ(host.title, "Click the bottom right point");

    ASSERT_TRUE(run("xdotool mousemove 941 683 click 1"));
    host.pumpUntil([&] { return state.areaClickState.load() == 0; });

    EXPECT_EQ(settings.captureLeft.load(), 300);
    EXPECT_EQ(settings.captureTop.load(), 200);
    EXPECT_EQ(settings.captureRight.load(), 941);
    EXPECT_EQ(settings.captureBottom.load(), 683);
    EXPECT_EQ(host.shownLeft, 300);
    EXPECT_EQ(host.shownBottom, 683);
    EXPECT_EQ(host.title, "Marrowdale");
    EXPECT_EQ(state.statusCode.load(), kStatusAreaSelected);
    EXPECT_EQ(state.mouseHook.load(), nullptr);
    EXPECT_EQ(host.installed(), 0u);
    EXPECT_EQ(host.foregrounds, 2);
}

TEST_F(RealSelectionTest, RealDoubleClickEndsWithBothCornersAtOnePoint) {
    startAreaSelection(settings, state, host, &viewObject);
    ASSERT_TRUE(run("xdotool mousemove 512 384 click --repeat 2 --delay 30 1"));
    host.pumpUntil([&] { return state.areaClickState.load() == 0; });
    EXPECT_EQ(settings.captureLeft.load(), 512);
    EXPECT_EQ(settings.captureTop.load(), 384);
    EXPECT_EQ(settings.captureRight.load(), 512);
    EXPECT_EQ(settings.captureBottom.load(), 384);
    EXPECT_EQ(host.installed(), 0u);
}

TEST_F(RealSelectionTest, RestartLeavesOneWatchAndPressesAfterTheEndAreNotTaken) {
    startAreaSelection(settings, state, host, &viewObject);
    startAreaSelection(settings, state, host, &viewObject);
    EXPECT_EQ(host.installed(), 1u);
    ASSERT_TRUE(run("xdotool mousemove 10 20 click 1 mousemove 30 40 click 1"));
    host.pumpUntil([&] { return state.areaClickState.load() == 0; });
    EXPECT_EQ(host.installed(), 0u);
    // A later click is no longer watched: the rectangle keeps the selection.
    ASSERT_TRUE(run("xdotool mousemove 50 60 click 1"));
    host.pumpUntil([] { return false; });
    EXPECT_EQ(settings.captureLeft.load(), 10);
    EXPECT_EQ(settings.captureTop.load(), 20);
    EXPECT_EQ(settings.captureRight.load(), 30);
    EXPECT_EQ(settings.captureBottom.load(), 40);
    EXPECT_EQ(state.lastClickX.load(), 30);
}

}  // namespace
}  // namespace marrowdale
