// The area selection in the desktop program on Xvfb with openbox: command 32773, two real
// clicks anywhere on the screen, the prompts in the main frame's title, then a recording whose
// frames have the chosen size and corner. A click on another program's button during the
// selection still presses it.
#include <QImage>
#include <QWidget>

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

#include "capture_area/gui/gui_mouse_watch.h"
#include "capture_area/gui/outline_overlay.h"

#include "tests/integration/area_selection/gui_session.h"
#include "tests/integration/area_selection/x_session_helpers.h"

namespace marrowdale {
namespace {

using namespace testing_x;

bool isRed(QRgb c) {
    return qRed(c) > 180 && qGreen(c) < 80 && qBlue(c) < 80;
}

class AreaSelectionGuiTest : public GuiSession {};

TEST_F(AreaSelectionGuiTest, TwoClicksThenARecordingOfThatArea) {
    // A red patch whose top-left corner is where the first click goes.
    QWidget marker(nullptr, Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint |
                                Qt::WindowStaysOnTopHint);
    marker.setAutoFillBackground(true);
    QPalette palette = marker.palette();
    palette.setColor(QPalette::Window, Qt::red);
    marker.setPalette(palette);
    marker.setGeometry(400, 300, 50, 40);
    marker.show();
    ASSERT_TRUE(pumpUntil([&] { return marker.isVisible(); }));
    pumpFor(300);

    command(res::ID_SELECT_AREA);
    EXPECT_EQ(frame_->windowTitle().toStdString(), "Click the top left point");
    EXPECT_EQ(recorderState().areaClickState.load(), 1);
    ASSERT_NE(recorderState().mouseHook.load(), nullptr);

    ASSERT_TRUE(run("xdotool mousemove 400 300 click 1"));
    ASSERT_TRUE(pumpUntil([] { return recorderState().areaClickState.load() == 2; }));
    EXPECT_EQ(frame_->windowTitle().toStdString(), "Click the bottom right point");
    EXPECT_EQ(view_->shownLeft, 400);
    EXPECT_EQ(view_->shownTop, 300);

    ASSERT_TRUE(run("xdotool mousemove 720 540 click 1"));
    ASSERT_TRUE(pumpUntil([] { return recorderState().areaClickState.load() == 0; }));
    EXPECT_EQ(frame_->windowTitle().toStdString(), "Marrowdale");
    EXPECT_EQ(recorderState().statusCode.load(), StatusCode::kAreaSelected);
    EXPECT_EQ(recorderState().mouseHook.load(), nullptr);
    EXPECT_EQ(captureSettings().captureLeft.load(), 400);
    EXPECT_EQ(captureSettings().captureTop.load(), 300);
    EXPECT_EQ(captureSettings().captureRight.load(), 720);
    EXPECT_EQ(captureSettings().captureBottom.load(), 540);
    EXPECT_EQ(view_->shownRight, 720);
    EXPECT_EQ(view_->shownBottom, 540);

    // Later clicks are not watched any more.
    ASSERT_TRUE(run("xdotool mousemove 10 10 click 1"));
    pumpFor(200);
    EXPECT_EQ(captureSettings().captureLeft.load(), 400);

    recordFor(600);
    const QImage first(QString::fromStdString(folder_ + "/vid1/000001.jpg"));
    ASSERT_FALSE(first.isNull()) << "no first frame";
    EXPECT_EQ(first.width(), 320);
    EXPECT_EQ(first.height(), 240);
    // The patch fills exactly the frame's top-left 50 by 40 pixels.
    EXPECT_TRUE(isRed(first.pixel(1, 1)));
    EXPECT_TRUE(isRed(first.pixel(47, 37)));
    EXPECT_FALSE(isRed(first.pixel(53, 20)));
    EXPECT_FALSE(isRed(first.pixel(20, 43)));
    EXPECT_FALSE(isRed(first.pixel(200, 150)));
}

TEST_F(AreaSelectionGuiTest, ClickOnAnotherProgramsButtonStillPressesIt) {
    ChildProcess program({"xmessage", "-geometry", "+300+500", "-title", "Button program",
                          "-buttons", "Press:7", "Press the button"});
    ASSERT_TRUE(program.started());
    const auto id = waitFor("xdotool search --name '^Button program$'", 5000);
    ASSERT_TRUE(id);
    const std::optional<Geometry> g = managedWindowGeometry(firstLine(*id));
    ASSERT_TRUE(g);
    pumpFor(300);

    command(res::ID_SELECT_AREA_BUTTON);
    const int x = g->x + 15;
    const int y = g->y + g->height - 14;
    ASSERT_TRUE(
        run("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1"));
    ASSERT_TRUE(pumpUntil([] { return recorderState().areaClickState.load() == 2; }));
    EXPECT_EQ(captureSettings().captureLeft.load(), x);
    EXPECT_EQ(captureSettings().captureTop.load(), y);
    EXPECT_EQ(program.waitExit(5000), std::optional<int>(7)) << "the press did not reach it";

    ASSERT_TRUE(run("xdotool mousemove 600 700 click 1"));
    ASSERT_TRUE(pumpUntil([] { return recorderState().areaClickState.load() == 0; }));
    EXPECT_EQ(captureSettings().captureRight.load(), 600);
    EXPECT_EQ(captureSettings().captureBottom.load(), 700);
}

// Clicks inside the program's own view during a selection are taken once each, by the
// desktop-wide watch, in screen coordinates: the stored rectangle and the view's display copy
// agree, and the next recording has that size.
TEST_F(AreaSelectionGuiTest, ClickInsideTheViewIsTakenOnceInScreenCoordinates) {
    command(res::ID_SELECT_AREA);
    const QPoint first = view_->mapToGlobal(QPoint(20, 30));
    const QPoint second = view_->mapToGlobal(QPoint(180, 150));
    ASSERT_TRUE(run("xdotool mousemove " + std::to_string(first.x()) + " " +
                    std::to_string(first.y()) + " click 1"));
    ASSERT_TRUE(pumpUntil([] { return recorderState().areaClickState.load() == 2; }));
    pumpFor(200);
    EXPECT_EQ(recorderState().areaClickState.load(), 2) << "the press was taken twice";
    EXPECT_EQ(frame_->windowTitle().toStdString(), "Click the bottom right point");
    EXPECT_EQ(captureSettings().captureLeft.load(), first.x());
    EXPECT_EQ(captureSettings().captureTop.load(), first.y());
    EXPECT_EQ(view_->shownLeft, first.x());
    EXPECT_EQ(view_->shownTop, first.y());

    ASSERT_TRUE(run("xdotool mousemove " + std::to_string(second.x()) + " " +
                    std::to_string(second.y()) + " click 1"));
    ASSERT_TRUE(pumpUntil([] { return recorderState().areaClickState.load() == 0; }));
    EXPECT_EQ(captureSettings().captureRight.load(), second.x());
    EXPECT_EQ(captureSettings().captureBottom.load(), second.y());
    EXPECT_EQ(view_->shownRight, second.x());
    EXPECT_EQ(view_->shownBottom, second.y());
    EXPECT_EQ(frame_->windowTitle().toStdString(), "Marrowdale");
    EXPECT_EQ(recorderState().mouseHook.load(), nullptr);

    recordFor(400);
    const QImage frame(QString::fromStdString(folder_ + "/vid1/000001.jpg"));
    ASSERT_FALSE(frame.isNull()) << "the rectangle could not be recorded";
    EXPECT_EQ(frame.width(), 160);
    EXPECT_EQ(frame.height(), 120);
}

// After the first corner an outline runs to the pointer, with the size beside it. It lets every
// press through: the second corner, made on another program's button under the outline, still
// presses that button.
TEST_F(AreaSelectionGuiTest, OutlineFollowsThePointerAndLetsPressesThrough) {
    ChildProcess program({"xmessage", "-geometry", "+300+500", "-title", "Button program",
                          "-buttons", "Press:7", "Press the button"});
    ASSERT_TRUE(program.started());
    const auto id = waitFor("xdotool search --name '^Button program$'", 5000);
    ASSERT_TRUE(id);
    const std::optional<Geometry> g = managedWindowGeometry(firstLine(*id));
    ASSERT_TRUE(g);
    pumpFor(300);

    command(res::ID_SELECT_AREA);
    ASSERT_TRUE(run("xdotool mousemove 100 120 click 1"));
    ASSERT_TRUE(pumpUntil([] { return recorderState().areaClickState.load() == 2; }));
    GuiMouseWatch* watch = GuiMouseWatch::fromHandle(recorderState().mouseHook.load());
    ASSERT_NE(watch, nullptr);
    EXPECT_TRUE(watch->escapeCancels());
    ASSERT_TRUE(pumpUntil([&] { return watch->outline() != nullptr; }));

    // The button's middle: the outline's corner lies right under the pointer.
    const int x = g->x + 15;
    const int y = g->y + g->height - 14;
    ASSERT_TRUE(run("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y)));
    ASSERT_TRUE(pumpUntil([&] { return watch->outline()->corner() == QPoint(x, y); }));
    pumpFor(300);
    // On the screen: the red line just outside the rectangle, on its left and top edges, and
    // nothing over the rectangle itself.
    const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    EXPECT_TRUE(isRed(screen.pixel(99, (120 + y) / 2)));
    EXPECT_TRUE(isRed(screen.pixel((100 + x) / 2, 119)));
    EXPECT_TRUE(isRed(screen.pixel(x, (120 + y) / 2)));
    EXPECT_FALSE(isRed(screen.pixel(102, (120 + y) / 2)));

    ASSERT_TRUE(run("xdotool click 1"));
    ASSERT_TRUE(pumpUntil([] { return recorderState().areaClickState.load() == 0; }));
    EXPECT_EQ(program.waitExit(5000), std::optional<int>(7)) << "the press did not reach it";
    EXPECT_EQ(captureSettings().captureRight.load(), x);
    EXPECT_EQ(captureSettings().captureBottom.load(), y);
    // The outline goes with the selection.
    EXPECT_TRUE(pumpUntil([] {
        return QApplication::topLevelWidgets().size() > 0 &&
               std::none_of(QApplication::topLevelWidgets().begin(),
                            QApplication::topLevelWidgets().end(), [](QWidget* w) {
                                return qobject_cast<OutlineOverlay*>(w) != nullptr &&
                                       w->isVisible();
                            });
    }));
}

// Escape, wherever the focus is, cancels the selection: the first corner goes back, the title
// says "Marrowdale", and Escape belongs to the desktop again.
TEST_F(AreaSelectionGuiTest, EscapeCancelsTheSelection) {
    command(res::ID_SELECT_AREA);
    ASSERT_TRUE(run("xdotool mousemove 210 220 click 1"));
    ASSERT_TRUE(pumpUntil([] { return recorderState().areaClickState.load() == 2; }));
    EXPECT_EQ(captureSettings().captureLeft.load(), 210);
    ASSERT_TRUE(run("xdotool key Escape"));
    ASSERT_TRUE(pumpUntil([] { return recorderState().areaClickState.load() == 0; }));
    EXPECT_EQ(recorderState().mouseHook.load(), nullptr);
    EXPECT_EQ(captureSettings().captureLeft.load(), 100);
    EXPECT_EQ(captureSettings().captureTop.load(), 100);
    EXPECT_EQ(view_->shownLeft, 100);
    EXPECT_EQ(frame_->windowTitle().toStdString(), "Marrowdale");
    pumpFor(100);
    std::string error;
    const std::unique_ptr<GlobalKeys> keys = platform_.globalKeys(&error);
    ASSERT_TRUE(keys) << error;
    EXPECT_EQ(keys->grab(1, KeyChord{0, "Esc"}), KeyGrabResult::kGrabbed);
}

TEST_F(AreaSelectionGuiTest, NoWatchOutlivesItsSelection) {
    const auto watches = [] {
        return QCoreApplication::instance()->findChildren<GuiMouseWatch*>().size();
    };
    // A restarted selection keeps one watch.
    command(res::ID_SELECT_AREA);
    command(res::ID_SELECT_AREA_BUTTON);
    pumpFor(100);
    EXPECT_EQ(watches(), 1);

    // A new document window puts the records back while the selection runs; the watch that is
    // no longer recorded goes away at the next click, without acting on it.
    ASSERT_NE(app_->OnFileNew(), nullptr);
    EXPECT_EQ(recorderState().mouseHook.load(), nullptr);
    ASSERT_TRUE(run("xdotool mousemove 333 444 click 1"));
    EXPECT_TRUE(pumpUntil([&] { return watches() == 0; })) << "the orphaned watch stayed";
    EXPECT_EQ(recorderState().lastClickX.load(), 0);
    EXPECT_EQ(captureSettings().captureLeft.load(), 100);
    EXPECT_EQ(recorderState().areaClickState.load(), 0);
}

}  // namespace
}  // namespace marrowdale

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests (at build time, without a display) needs no application.
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
