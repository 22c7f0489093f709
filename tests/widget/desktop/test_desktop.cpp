// The desktop program as the desktop starts it: the launcher's actions on the command line, and
// the icon, found in the icon theme when installed and drawn by the program otherwise.
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "framework/qt_ui_bridge.h"
#include "recorder/state.h"
#include "shell/main_frame.h"
#include "shell/marrowdale_app.h"
#include "shell/marrowdale_doc.h"
#include "shell/toolbar_pictures.h"

using namespace marrowdale;

namespace {

// Workers that note their start and run until the stop flags tell them to end.
struct StartLog {
    std::mutex mutex;
    QStringList started;
    QStringList take() {
        std::lock_guard lock(mutex);
        QStringList s = started;
        s.sort();
        return s;
    }
};

AppWorkers loggingWorkers(StartLog& log) {
    AppWorkers w;
    w.screen = [&log](UiBridge&, const WorkerStart&) {
        {
            std::lock_guard lock(log.mutex);
            log.started << "screen";
        }
        RecorderState& s = recorderState();
        while (!s.screenStopped.load() && !s.stopScreenRequested.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        s.stopScreenRequested.store(0);
        s.screenFinished.store(1);
        return WorkerEnd{};
    };
    w.audio = [&log](UiBridge&, const WorkerStart&) {
        {
            std::lock_guard lock(log.mutex);
            log.started << "audio";
        }
        RecorderState& s = recorderState();
        while (!s.screenFinished.load() && !s.stopAudioRequested.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        s.stopAudioRequested.store(0);
        return WorkerEnd{};
    };
    return w;
}

// The mean difference of two pictures of one size, per channel and pixel, over 0..255.
double meanDifference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col) {
            const QColor p = x.pixelColor(col, row), q = y.pixelColor(col, row);
            sum += std::abs(p.red() - q.red()) + std::abs(p.green() - q.green()) +
                   std::abs(p.blue() - q.blue()) + std::abs(p.alpha() - q.alpha());
        }
    }
    return sum / (4.0 * x.width() * x.height());
}

}  // namespace

class DesktopTest : public QObject {
    Q_OBJECT
  private slots:
    void launcherActionsStartTheirRecording_data();
    void launcherActionsStartTheirRecording();
    void iconFromThemeElseDrawnAlike();

  private:
    QTemporaryDir dir_;
};

void DesktopTest::launcherActionsStartTheirRecording_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("started");
    QTest::addColumn<bool>("minimized");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("document");

    const QString screen = QStringLiteral("Marrowdale recording screen only");
    const QString both = QStringLiteral("Marrowdale Recording");
    const QString idle = QStringLiteral("Marrowdale - Marrowdale1");
    QTest::newRow("screen") << QStringList{"--record=screen"} << QStringList{"screen"} << false
                            << screen << "Marrowdale1";
    QTest::newRow("both") << QStringList{"--record=both"} << QStringList{"audio", "screen"} << false
                          << both << "Marrowdale1";
    QTest::newRow("minimize, screen") << QStringList{"--minimize", "--record", "screen"}
                                      << QStringList{"screen"} << true << screen << "Marrowdale1";
    QTest::newRow("both, minimize")
        << QStringList{"--record=both", "--minimize"} << QStringList{"audio", "screen"} << true
        << both << "Marrowdale1";
    // The value of --record is not taken for a file name; a file after it still is.
    QTest::newRow("file") << QStringList{"--record", "screen", "notes.txt"} << QStringList{"screen"}
                          << false << screen << "notes.txt";
    QTest::newRow("unknown source")
        << QStringList{"--record=window"} << QStringList{} << false << idle << "Marrowdale1";
    QTest::newRow("minimize alone")
        << QStringList{"--minimize"} << QStringList{} << false << idle << "Marrowdale1";
    QTest::newRow("nothing") << QStringList{} << QStringList{} << false << idle << "Marrowdale1";
}

void DesktopTest::launcherActionsStartTheirRecording() {
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, started);
    QFETCH(bool, minimized);
    QFETCH(QString, title);
    QFETCH(QString, document);

    QVERIFY(dir_.isValid());
    const QString original = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir_.path()));
    QFile notes(dir_.filePath("notes.txt"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.close();
    resetToProcessStart(captureSettings(), recorderState());

    StartLog log;
    auto app = std::make_unique<CMarrowdaleApp>(
        loggingWorkers(log), PlatformServices{},
        std::make_unique<QSettings>(dir_.filePath("marrowdale.ini"), QSettings::IniFormat));
    QVERIFY(app->InitInstance(arguments));
    QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral(MARROWDALE_APP_ID));
    // The start command runs once the event loop does, not during start-up.
    QVERIFY(log.take().isEmpty());
    if (started.isEmpty()) {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    QTRY_COMPARE(log.take(), started);
    CMainFrame* frame = app->mainFrame();
    QCOMPARE(frame->isMinimized(), minimized);
    QVERIFY(frame->windowTitle().startsWith(title));
    QCOMPARE(frame->activeDocument()->title(), document);

    recorderState().screenStopped.store(1);
    recorderState().screenFinished.store(1);
    QVERIFY(app->workers().waitForAll(std::chrono::milliseconds(5000),
                                      [&] { app->uiBridge().runPending(); }));
    app.reset();
    QVERIFY(QDir::setCurrent(original));
}

void DesktopTest::iconFromThemeElseDrawnAlike() {
    // Run from the build folder, no theme holds the icon: the program draws it, the same picture
    // as the scalable drawing that is installed.
    // The offscreen platform names no icon theme; a desktop session falls back to hicolor.
    QIcon::setThemeName(QStringLiteral("hicolor"));
    QTemporaryDir empty;
    QIcon::setThemeSearchPaths({empty.path()});
    const QIcon drawn = applicationIcon();
    QVERIFY(!drawn.isNull());
    for (int size : {16, 32, 48, 256})
        QCOMPARE(drawn.pixmap(size, size).size(), QSize(size, size));
    QImage rendered(QStringLiteral(MDL_RENDERED_ICON));
    QVERIFY2(!rendered.isNull(), MDL_RENDERED_ICON);
    const QImage own = drawn.pixmap(128, 128).toImage();
    QVERIFY2(meanDifference(own, rendered) < 5.0,
             qPrintable(QString::number(meanDifference(own, rendered))));

    // Installed, the theme's icon is used (a theme of the user's may hold its own version).
    QTemporaryDir themes;
    QVERIFY(QDir(themes.path()).mkpath("hicolor/48x48/apps"));
    QFile index(themes.filePath("hicolor/index.theme"));
    QVERIFY(index.open(QIODevice::WriteOnly));
    index.write(
        "[Icon Theme]\nName=Hicolor\nDirectories=48x48/apps\n\n"
        "[48x48/apps]\nSize=48\nContext=Applications\nType=Threshold\n");
    index.close();
    QImage green(48, 48, QImage::Format_ARGB32);
    green.fill(QColor(0, 200, 0));
    QVERIFY(green.save(themes.filePath("hicolor/48x48/apps/" MARROWDALE_APP_ID ".png")));
    QIcon::setThemeSearchPaths({themes.path()});
    const QImage themed = applicationIcon().pixmap(48, 48).toImage();
    QCOMPARE(themed.pixelColor(24, 24), QColor(0, 200, 0));
}

QTEST_MAIN(DesktopTest)
#include "test_desktop.moc"
