// marrowdale: the desktop program.
#include <QApplication>
#include <memory>
#include <thread>

#include "audio/audio_capture_worker.h"
#include "platform/clock.h"
#include "platform/ffmpeg/ffmpeg_media.h"
#include "platform/pulse/pulse_audio.h"
#include "platform/screen_grabber_loader.h"
#include "recorder/state.h"
#include "shell/marrowdale_app.h"
#include "shell/screen_recording.h"
#include "shell/toolbar_pictures.h"

int main(int argc, char** argv) {
    QApplication qtApp(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Marrowdale"));
    QApplication::setApplicationName(QStringLiteral("Marrowdale"));
    QApplication::setWindowIcon(marrowdale::applicationIcon());

    // X11, or the screen-cast portal on a Wayland desktop; its permission is asked when the
    // first recording starts.
    const std::unique_ptr<marrowdale::ScreenGrabberLoader> screens =
        marrowdale::loadScreenGrabbers(std::nullopt);
    marrowdale::AppWorkers workers;
    workers.screen = [&screens](marrowdale::UiBridge& ui, const marrowdale::WorkerStart& start) {
        marrowdale::runScreenRecording(*screens, ui, start.folder, start.screenStats);
        return marrowdale::WorkerEnd{};
    };
    workers.audio = [](marrowdale::UiBridge& ui, const marrowdale::WorkerStart& start) {
        marrowdale::MonotonicClock clock;
        const std::unique_ptr<marrowdale::AudioSystem> audio = marrowdale::createPulseAudioSystem();
        const std::unique_ptr<marrowdale::MediaFormatService> media =
            marrowdale::createFfmpegMediaFormatService();
        if (!audio || !media) {
            ui.messageBox(nullptr, "The audio recording could not be set up.",
                          marrowdale::kCaptionApp);
            return marrowdale::WorkerEnd{true, -1};
        }
        const marrowdale::AudioWorkerServices services{clock, *audio, *media, ui};
        const marrowdale::AudioRunTarget target{start.folder, start.zero100ns,
                                                start.zeroFromScreen};
        marrowdale::AudioWorkerOutcome outcome;
        marrowdale::runAudioCaptureWorker(marrowdale::captureSettings(),
                                          marrowdale::recorderState(), services, target, &outcome);
        return marrowdale::WorkerEnd{!outcome.normalEnd || outcome.exitCode < 0, outcome.exitCode};
    };

    marrowdale::CMarrowdaleApp app(std::move(workers));
    QStringList arguments = QApplication::arguments();
    if (!arguments.isEmpty())
        arguments.removeFirst();
    if (!app.InitInstance(arguments))
        return 1;
    const int result = QApplication::exec();
    app.ExitInstance();
    return result;
}
