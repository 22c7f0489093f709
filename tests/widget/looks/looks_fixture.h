// A main frame with its looks and customisation, on a settings file of the test's own; closing
// and destroying it and making a new one on the same file is a restart of the program.
#pragma once

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QSettings>
#include <QTemporaryDir>
#include <memory>

#include "shell/customize_dialog.h"
#include "shell/frame_setup.h"
#include "shell/looks.h"
#include "shell/main_frame.h"
#include "shell/toolbar_customizer.h"

namespace marrowdale::testing {

struct Session {
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<CMainFrame> frame;
    ApplicationLooks* looks = nullptr;
    ToolbarCustomizer* customizer = nullptr;

    explicit Session(const QString& iniFile) {
        settings = std::make_unique<QSettings>(iniFile, QSettings::IniFormat);
        frame = std::make_unique<CMainFrame>(nullptr);
        frame->resize(900, 600);
        looks = attachLooksAndCustomization(*frame, *settings);
        customizer = frame->findChild<ToolbarCustomizer*>();
    }
    ~Session() {
        frame.reset();
        settings.reset();
    }
    // Closing the main window writes the workspace, as quitting the program does.
    void close() {
        frame->close();
        settings->sync();
    }
};

// A strip of `cells` toolbar images, 16 by 15 each: cell i filled with colour (i*40, 200-i*40,
// 90), its top left pixel the classic transparent grey.
inline QByteArray bmpStrip(int cells, int width = -1, int height = 15) {
    QImage img(width < 0 ? cells * 16 : width, height, QImage::Format_RGB32);
    img.fill(Qt::black);
    for (int i = 0; i < cells; ++i) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < 16 && i * 16 + x < img.width(); ++x)
                img.setPixel(i * 16 + x, y, qRgb(i * 40, 200 - i * 40, 90));
        if (i * 16 < img.width())
            img.setPixel(i * 16, 0, qRgb(192, 192, 192));
    }
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, "BMP");
    return data;
}

}  // namespace marrowdale::testing
