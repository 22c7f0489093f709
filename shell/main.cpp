// marrowdale: the desktop program. Its composition root: the platform services of this machine
// are built here, once, and handed down to the application and the workers.
#include <QApplication>
#include <memory>

#include "platform/loader/platform_loader.h"
#include "shell/desktop_workers.h"
#include "shell/marrowdale_app.h"
#include "shell/toolbar_pictures.h"

int main(int argc, char** argv) {
    QApplication qtApp(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Marrowdale"));
    QApplication::setApplicationName(QStringLiteral("Marrowdale"));
    QApplication::setWindowIcon(marrowdale::applicationIcon());

    const marrowdale::PlatformServices platform = marrowdale::loadPlatformServices();
    // X11, or the screen-cast portal on a Wayland desktop; its permission is asked when the
    // first recording starts.
    const std::unique_ptr<marrowdale::ScreenGrabberLoader> screens =
        platform.screenGrabbers(std::nullopt);

    marrowdale::CMarrowdaleApp app(marrowdale::desktopWorkers(platform, *screens), platform);
    QStringList arguments = QApplication::arguments();
    if (!arguments.isEmpty())
        arguments.removeFirst();
    if (!app.InitInstance(arguments))
        return 1;
    const int result = QApplication::exec();
    app.ExitInstance();
    return result;
}
