// The whole desktop program in the test process, on the real X display: the application object
// with the real screen worker, its main frame and first view. Commands go through the view's
// command map, as the menus and the toolbar send them; the mouse comes from xdotool.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QThread>
#include <filesystem>
#include <memory>
#include <string>

#include "framework/template_dialog.h"
#include "platform/loader/platform_loader.h"
#include "recorder/state.h"
#include "resources/resources.h"
#include "shell/desktop_workers.h"
#include "shell/main_frame.h"
#include "shell/marrowdale_app.h"
#include "shell/marrowdale_view.h"

namespace marrowdale::testing_x {

// Runs the GUI event loop until `done` holds or `timeoutMs` passed; returns `done()`.
template <typename Done>
bool pumpUntil(Done done, int timeoutMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        // What the event loop would release once control is back in it.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::msleep(5);
    }
    return done();
}

inline void pumpFor(int ms) {
    pumpUntil([] { return false; }, ms);
}

class GuiSession : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "these tests need an X display";
        char pattern[] = "/tmp/marrowdale-gui-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        ASSERT_EQ(chdir(folder_.c_str()), 0);
        resetToProcessStart(captureSettings(), recorderState());

        // The program's own services and workers, on the X display of the test.
        platform_ = loadPlatformServices();
        screens_ = platform_.screenGrabbers(ScreenBackend::kX11);
        ASSERT_NE(screens_, nullptr);
        AppWorkers workers = desktopWorkers(platform_, *screens_);
        workers.audio = {};
        app_ = std::make_unique<CMarrowdaleApp>(
            std::move(workers), platform_,
            std::make_unique<QSettings>(QString::fromStdString(folder_ + "/settings.ini"),
                                        QSettings::IniFormat));
        ASSERT_TRUE(app_->InitInstance({}));
        frame_ = app_->mainFrame();
        ASSERT_NE(frame_, nullptr);
        // Out of the way of the points the tests click.
        frame_->move(900, 300);
        ASSERT_TRUE(pumpUntil([&] { return frame_->isVisible() && frame_->activeView(); }));
        view_ = frame_->activeView();
        pumpFor(200);
    }

    void TearDown() override {
        if (app_) {
            app_->ExitInstance();
            app_.reset();
        }
        pumpFor(100);
        std::error_code ec;
        if (chdir("/") == 0)
            std::filesystem::remove_all(folder_, ec);
    }

    void command(int id) { ASSERT_TRUE(view_->commandMap().execute(id)) << id; }

    // Starts a screen recording, lets it run for `ms`, stops it and waits for the worker.
    void recordFor(int ms) {
        command(res::ID_RECORD);
        ASSERT_TRUE(pumpUntil([&] { return app_->workers().screenWorkerRunning(); }, 2000));
        pumpFor(ms);
        command(res::ID_STOP_RECORDING);
        ASSERT_TRUE(pumpUntil([&] { return !app_->workers().screenWorkerRunning(); }, 10000));
    }

    std::string folder_;
    PlatformServices platform_;
    std::unique_ptr<ScreenGrabberLoader> screens_;
    std::unique_ptr<CMarrowdaleApp> app_;
    CMainFrame* frame_ = nullptr;
    CMarrowdaleView* view_ = nullptr;
};

}  // namespace marrowdale::testing_x
