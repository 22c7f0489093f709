// The mouse watch on a real X server: presses anywhere are seen with their desktop position,
// they still reach the window under the pointer, and a whole selection made with real clicks
// sets the capture rectangle.
#include <gtest/gtest.h>
#include <poll.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "capture_area/area_selection.h"
#include "capture_area/watch_delivery.h"
#include "platform/x11/x11_services.h"
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
    const std::optional<Geometry> geometry = managedWindowGeometry(window);
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

// An area-selection host whose watches are real; it stands in for the view too, and the frame
// is a plain record.
class RealWatchHost final : public AreaSelectionHost, public CaptureView {
  public:
    RealWatchHost(CaptureSettings& settings, RecorderState& state)
        : settings_(settings), state_(state) {}

    WindowHandle topLevelFrameHandle() override { return &frame; }
    WindowHandle viewWindowHandle() override { return &viewWindow; }
    void setShownTopLeft(std::int32_t x, std::int32_t y) override {
        shownLeft = x;
        shownTop = y;
    }
    void setShownBottomRight(std::int32_t x, std::int32_t y) override {
        shownRight = x;
        shownBottom = y;
    }
    void setWindowTitle(WindowHandle, std::string_view t) override { title = std::string(t); }
    void repaintErase() override {}
    void setForegroundWindow(WindowHandle) override { ++foregrounds; }
    HookHandle installMouseWatch() override {
        std::string error;
        auto watch = openX11MouseWatch(&error);
        EXPECT_TRUE(watch) << error;
        if (!watch)
            return nullptr;
        auto delivery =
            std::make_unique<WatchDelivery>(std::move(watch), [this](const MouseWatchEvent& e) {
                CaptureAreaMouseProc(settings_, state_, *this, kMouseWatchAction, e.message,
                                     &e.point);
            });
        const HookHandle h = delivery.get();
        live_[h] = std::move(delivery);
        return h;
    }
    void removeMouseWatch(HookHandle h) override {
        const auto it = live_.find(h);
        ASSERT_NE(it, live_.end()) << "removed a watch that is not installed";
        it->second->remove();
        retired_.push_back(std::move(it->second));  // released after the delivery returns
        live_.erase(it);
    }

    // Pumps the installed watches until `done` holds or about five seconds passed.
    template <typename Done>
    void pumpUntil(Done done) {
        for (int round = 0; round < 250 && !done(); ++round) {
            std::vector<pollfd> fds;
            std::vector<WatchDelivery*> watches;
            for (const auto& [h, delivery] : live_) {
                fds.push_back({delivery->fileDescriptor(), POLLIN, 0});
                watches.push_back(delivery.get());
            }
            if (fds.empty())
                return;
            poll(fds.data(), fds.size(), 20);
            for (WatchDelivery* w : watches)
                w->dispatch();
            retired_.clear();
        }
    }
    std::size_t installed() const { return live_.size(); }

    int frame = 0;
    int viewWindow = 0;
    std::string title;
    int foregrounds = 0;
    std::int32_t shownTop = 100, shownLeft = 100, shownRight = 800, shownBottom = 600;

  private:
    CaptureSettings& settings_;
    RecorderState& state_;
    std::map<HookHandle, std::unique_ptr<WatchDelivery>> live_;
    std::vector<std::unique_ptr<WatchDelivery>> retired_;
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
    CaptureView* view = &host;
};

TEST_F(RealSelectionTest, TwoRealClicksSetTheRectangle) {
    startAreaSelection(settings, state, host, view);
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
    EXPECT_EQ(state.statusCode.load(), StatusCode::kAreaSelected);
    EXPECT_EQ(state.mouseHook.load(), nullptr);
    EXPECT_EQ(host.installed(), 0u);
    EXPECT_EQ(host.foregrounds, 2);
}

TEST_F(RealSelectionTest, RealDoubleClickEndsWithBothCornersAtOnePoint) {
    startAreaSelection(settings, state, host, view);
    ASSERT_TRUE(run("xdotool mousemove 512 384 click --repeat 2 --delay 30 1"));
    host.pumpUntil([&] { return state.areaClickState.load() == 0; });
    EXPECT_EQ(settings.captureLeft.load(), 512);
    EXPECT_EQ(settings.captureTop.load(), 384);
    EXPECT_EQ(settings.captureRight.load(), 512);
    EXPECT_EQ(settings.captureBottom.load(), 384);
    EXPECT_EQ(host.installed(), 0u);
}

TEST_F(RealSelectionTest, RestartLeavesOneWatchAndPressesAfterTheEndAreNotTaken) {
    startAreaSelection(settings, state, host, view);
    startAreaSelection(settings, state, host, view);
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
