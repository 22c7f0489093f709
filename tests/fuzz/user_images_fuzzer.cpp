// UserImages.bmp: any file the user leaves in the current folder is read without harm.
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <fstream>

#include "shell/user_images.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Never destroyed: the fuzzer ends the process with exit(), after Qt's own globals.
    new QGuiApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/UserImages.bmp");
    {
        std::ofstream out(path.toStdString(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    marrowdale::UserImages images;
    const marrowdale::UserImagesResult result = images.load(path);
    if (result == marrowdale::UserImagesResult::Loaded && images.isEmpty())
        std::abort();
    for (int i = -1; i <= images.count(); ++i)
        (void)images.image(i);
    return 0;
}
