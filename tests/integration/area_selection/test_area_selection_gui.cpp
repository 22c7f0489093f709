// The area selection in the desktop program on Xvfb with openbox: command 32773, two real
// clicks anywhere on the screen, the prompts in the main frame's title, then a recording whose
// frames have the chosen size and corner. A click on another program's button during the
// selection still presses it.
#include <QImage>
#include <QWidget>

#include "capture_area/gui/gui_mouse_watch.h"

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
    EXPECT_EQ(recorderState().statusCode.load(), kStatusAreaSelected);
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

TEST_F(AreaSelectionGuiTest, ClickInsideTheViewIsTakenTwice) {
    command(res::ID_SELECT_AREA);
    const QPoint client(120, 80);
    const QPoint global = view_->mapToGlobal(client);
    ASSERT_TRUE(run("xdotool mousemove " + std::to_string(global.x()) + " " +
                    std::to_string(global.y()) + " click 1"));
    ASSERT_TRUE(pumpUntil([] { return recorderState().areaClickState.load() == 0; }));
    // The watch took the press as the top-left corner, the view as the bottom-right one.
    EXPECT_EQ(captureSettings().captureLeft.load(), global.x());
    EXPECT_EQ(captureSettings().captureTop.load(), global.y());
    EXPECT_EQ(captureSettings().captureRight.load(), 800);
    EXPECT_EQ(captureSettings().captureBottom.load(), 600);
    EXPECT_EQ(view_->shownLeft, global.x());
    EXPECT_EQ(view_->shownRight, client.x());
    EXPECT_EQ(view_->shownBottom, client.y());
    EXPECT_EQ(frame_->windowTitle().toStdString(), "Marrowdale");
    EXPECT_EQ(recorderState().mouseHook.load(), nullptr);
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
