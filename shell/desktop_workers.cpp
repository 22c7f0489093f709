#include "shell/desktop_workers.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <memory>
#include <string>

#include "audio/audio_capture_worker.h"
#include "platform/clock.h"
#include "recorder/capture_stats.h"
#include "recorder/frame_writers.h"
#include "recorder/screen_capture_worker.h"
#include "recorder/state.h"
#include "tools/close_others_arming.h"

namespace marrowdale {

namespace {

WorkerEnd recordScreen(const PlatformServices& platform, ScreenGrabberLoader& loader, UiBridge& ui,
                       const WorkerStart& start) {
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
        ui.generalMessage(state.viewWindow.load(),
                          "The screen cannot be recorded: " + source.error);
        return WorkerEnd{true, 0};
    }
    MonotonicClock clock;
    std::unique_ptr<ScreenGrabber> grabber = loader.createGrabber();
    std::unique_ptr<JpegEncoder> encoder =
        platform.jpegEncoder ? platform.jpegEncoder(kDefaultJpegQuality) : nullptr;
    if (!grabber)
        return WorkerEnd{true, 0};
    FileFrameWriters writers(encoder.get(), ui, state);
    CloseOthersArming closeOthers(settings, state, ui);
    ScreenCaptureServices services{clock, *grabber, writers, ui};
    services.endHook = &closeOthers;
    CaptureRunStats own;
    CaptureRunStats& figures = start.screenStats != nullptr ? *start.screenStats : own;
    const ScreenRunEnd end =
        runScreenCaptureWorker(settings, state, services, start.folder, &figures);
    if (end == ScreenRunEnd::kScreenLost) {
        ui.generalMessage(state.viewWindow.load(), loader.lostMessage());
        return WorkerEnd{true, 0};
    }
    // What the recording lost, told at its end (a recording that lost nothing ends quietly).
    const std::string lost = lostFramesReport(figures, writers.failedWrites(),
                                              writers.bytesWritten(), start.folder + "/vid1/");
    if (!lost.empty())
        ui.generalMessage(state.viewWindow.load(), lost);
    return WorkerEnd{end != ScreenRunEnd::kEnded || !lost.empty(), 0};
}

WorkerEnd recordSound(const PlatformServices& platform, UiBridge& ui, const WorkerStart& start) {
    MonotonicClock clock;
    const std::unique_ptr<AudioSystem> audio =
        platform.audioSystem ? platform.audioSystem() : nullptr;
    const std::unique_ptr<MediaFormatService> media =
        platform.mediaFormat ? platform.mediaFormat() : nullptr;
    if (!audio || !media) {
        ui.generalMessage(nullptr, "The audio recording could not be set up.");
        return WorkerEnd{true, -1};
    }
    CloseOthersArming closeOthers(captureSettings(), recorderState(), ui);
    AudioWorkerServices services{clock, *audio, *media, ui};
    services.endHook = &closeOthers;
    const AudioRunTarget target{start.folder, start.zero100ns, start.zeroFromScreen};
    AudioWorkerOutcome outcome;
    runAudioCaptureWorker(captureSettings(), recorderState(), services, target, &outcome);
    return WorkerEnd{!outcome.normalEnd || outcome.exitCode < 0, outcome.exitCode};
}

}  // namespace

AppWorkers desktopWorkers(const PlatformServices& platform, ScreenGrabberLoader& screens) {
    AppWorkers workers;
    workers.screen = [&platform, &screens](UiBridge& ui, const WorkerStart& start) {
        return recordScreen(platform, screens, ui, start);
    };
    workers.audio = [&platform](UiBridge& ui, const WorkerStart& start) {
        return recordSound(platform, ui, start);
    };
    return workers;
}

}  // namespace marrowdale
