// The settings file: the program starts on any content of it (the Shortcuts entry, the
// workspace state, ApplicationLook, the toolbars and the recent files), shows its window and
// ends without harm.
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "shell/marrowdale_app.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Never destroyed: the fuzzer ends the process with exit(), after Qt's own globals.
    new QApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/Marrowdale.conf");
    {
        std::ofstream out(path.toStdString(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    auto settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
    marrowdale::CMarrowdaleApp app(marrowdale::AppWorkers{}, marrowdale::PlatformServices{},
                                   std::move(settings));
    if (app.InitInstance({}))
        QApplication::processEvents();
    app.ExitInstance();
    return 0;
}
