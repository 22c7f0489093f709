#include "shell/screen_recording.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/clock.h"
#include "platform/jpeg_encoder.h"
#include "recorder/frame_writers.h"
#include "recorder/screen_capture_worker.h"
#include "recorder/state.h"

namespace marrowdale {

void runScreenRecording(ScreenGrabberLoader& loader, UiBridge& ui,
                        const std::string& currentDirectory, CaptureRunStats* stats) {
    // The portal's permission dialog and its D-Bus answers belong to the GUI thread; this thread
    // waits for them. The X display is checked here.
    ScreenSourceResult source;
    if (loader.backend() == ScreenBackend::kX11) {
        source = loader.prepare();
    } else {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [&] { source = loader.prepare(); },
            Qt::BlockingQueuedConnection);
    }
    CaptureSettings& settings = captureSettings();
    RecorderState& state = recorderState();
    if (source.status != ScreenSourceStatus::kOk) {
        ui.messageBox(state.viewWindow.load(), "The screen cannot be recorded: " + source.error,
                      kCaptionApp);
        return;
    }
    MonotonicClock clock;
    std::unique_ptr<ScreenGrabber> grabber = loader.createGrabber();
    std::unique_ptr<JpegEncoder> encoder = createTurboJpegEncoder();
    if (!grabber)
        return;
    FileFrameWriters writers(encoder.get(), ui, state);
    const ScreenCaptureServices services{clock, *grabber, writers, ui};

    std::atomic<bool> done{false};
    std::thread watch([&] {
        while (!done.load()) {
            if (grabber->connectionLost()) {
                state.screenStopped = 1;
                state.screenFinished = 1;
                ui.messageBox(state.viewWindow.load(), loader.lostMessage(), kCaptionApp);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    runScreenCaptureWorker(settings, state, services, currentDirectory, stats);
    done = true;
    watch.join();
}

}  // namespace marrowdale
