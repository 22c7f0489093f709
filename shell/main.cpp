// marrowdale: the desktop program.
#include <QApplication>
#include <memory>
#include <thread>

#include "audio/audio_capture_worker.h"
#include "platform/clock.h"
#include "platform/ffmpeg/ffmpeg_media.h"
#include "platform/pulse/pulse_audio.h"
#include "recorder/screen_capture_worker.h"
#include "recorder/state.h"
#include "shell/marrowdale_app.h"
#include "shell/toolbar_pictures.h"

int main(int argc, char** argv) {
    QApplication qtApp(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Marrowdale"));
    QApplication::setApplicationName(QStringLiteral("Marrowdale"));
    QApplication::setWindowIcon(marrowdale::applicationIcon());

    marrowdale::AppWorkers workers;
    workers.screen = [](marrowdale::UiBridge& ui, const std::string& cwd) {
        std::thread t = marrowdale::startScreenCaptureThread(marrowdale::captureSettings(),
                                                             marrowdale::recorderState(), ui, cwd);
        if (t.joinable())
            t.join();
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
