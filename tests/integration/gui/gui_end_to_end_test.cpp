// Starts marrowdale on the X display, chooses "Minimize the program and start &recording only
// the screen." from the Command menu with key presses, lets it record, restores the window,
// clicks the toolbar's stop button and checks the frames in vid1/ and the window title.
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Runs a command and returns its standard output (trimmed); empty on failure.
QString run(const QString& program, const QStringList& args, int timeoutMs = 10000) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QString xdotool(const QStringList& args) {
    return run(QStringLiteral("xdotool"), args);
}

int frameCount(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral("*.jpg")}, QDir::Files).size();
}

// Finds the centre of a 16x15 toolbar picture in a screenshot by a test on its pixels.
QPoint findPicture(const QImage& image, const std::function<bool(const QImage&, int, int)>& test) {
    for (int y = 0; y + 15 <= image.height() && y < 200; ++y)
        for (int x = 0; x + 16 <= image.width(); ++x)
            if (test(image, x, y))
                return QPoint(x + 8, y + 7);
    return QPoint(-1, -1);
}

bool isRecordPicture(const QImage& img, int x, int y) {
    // Black 16x15 square with a pure red dot in the middle.
    return img.pixelColor(x, y) == Qt::black && img.pixelColor(x + 15, y + 14) == Qt::black &&
           img.pixelColor(x + 8, y + 7) == QColor(255, 0, 0) &&
           img.pixelColor(x + 1, y + 7) == Qt::black;
}

bool isStartBothPicture(const QImage& img, int x, int y) {
    // Green 16x15 square with two red dots.
    const QColor green(0, 150, 0);
    return img.pixelColor(x, y) == green && img.pixelColor(x + 15, y + 14) == green &&
           img.pixelColor(x + 4, y + 7) == QColor(255, 0, 0) &&
           img.pixelColor(x + 12, y + 7) == QColor(255, 0, 0) &&
           img.pixelColor(x + 8, y + 1) == green;
}

}  // namespace

class GuiEndToEndTest : public QObject {
    Q_OBJECT
  private slots:
    void recordFromCommandMenuStopFromToolbar();
    void recordScreenAndAudioFromToolbar();
    void quittingWhileRecordingFinishesFiles();
};

void GuiEndToEndTest::recordFromCommandMenuStopFromToolbar() {
    QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "needs an X display (scripts/test)");
    QVERIFY2(!QStandardPaths::findExecutable("xdotool").isEmpty(), "needs xdotool");
    QVERIFY2(!QStandardPaths::findExecutable("import").isEmpty(), "needs ImageMagick import");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());

    QProcess program;
    program.setWorkingDirectory(dir.path());
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(MARROWDALE_PATH), {});
    QVERIFY(program.waitForStarted());
    auto cleanup = qScopeGuard([&] {
        program.terminate();
        if (!program.waitForFinished(10000)) {
            program.kill();
            program.waitForFinished();
        }
    });

    // The main window with its first document.
    const QString pid = QString::number(program.processId());
    QString window;
    QTRY_VERIFY_WITH_TIMEOUT(
        !(window = xdotool({"search", "--onlyvisible", "--name", "^Marrowdale - Marrowdale1$"}))
             .isEmpty(),
        20000);
    window = window.section('\n', 0, 0);
    // Alt opens the menu bar; Command is the fifth menu; "r" is the item's mnemonic. The keys
    // go to the focused window (XTEST); when the window was not ready for them the menu is
    // closed and the keys are given again.
    bool started = false;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        xdotool({"windowactivate", "--sync", window});
        QTest::qWait(500);
        xdotool({"key", "--delay", "150", "alt", "Right", "Right", "Right", "Right", "Down"});
        QTest::qWait(400);
        xdotool({"key", "r"});
        started = QTest::qWaitFor(
            [&] {
                return xdotool({"getwindowname", window}) ==
                       QLatin1String("Marrowdale recording screen only");
            },
            5000);
        if (!started)
            xdotool({"key", "Escape", "Escape", "Escape"});
    }
    QVERIFY2(started, "the Command menu item did not start a recording");
    const QString vid1 = dir.filePath("vid1");
    QTRY_VERIFY_WITH_TIMEOUT(frameCount(vid1) >= 25, 20000);  // about a second at 25 per second
    // Numbered files; a late slot may leave its number free, so no number is certain.
    const QRegularExpression name(QStringLiteral("^[0-9]{6}\\.jpg$"));
    for (const QString& f : QDir(vid1).entryList(QDir::Files))
        QVERIFY2(name.match(f).hasMatch(), qPrintable(f));
    // The window was minimised by the command: it is not viewable now.
    QVERIFY(!xdotool({"search", "--onlyvisible", "--name", "^Marrowdale recording screen only$"})
                 .contains(window));

    // Restore the window, find the stop button (one to the right of the record button) and
    // click it.
    xdotool({"windowactivate", "--sync", window});
    QTest::qWait(800);
    const QString shot = dir.filePath("window.png");
    QCOMPARE(run("import", {"-window", window, shot}, 20000), QString());
    QImage image(shot);
    QVERIFY(!image.isNull());
    image = image.convertToFormat(QImage::Format_RGB32);
    const QPoint record = findPicture(image, isRecordPicture);
    const QPoint both = findPicture(image, isStartBothPicture);
    QVERIFY2(record.x() >= 0 && both.x() > record.x(), "toolbar pictures not found");
    QCOMPARE(both.y(), record.y());
    const int pitch = (both.x() - record.x()) / 5;  // buttons 32771 .. 32783 are 5 apart
    const QPoint stop(record.x() + pitch, record.y());
    xdotool({"mousemove", "--window", window, QString::number(stop.x()), QString::number(stop.y()),
             "click", "1"});

    QTRY_COMPARE_WITH_TIMEOUT(xdotool({"getwindowname", window}),
                              QStringLiteral("Marrowdale stopped"), 10000);
    // The recording has ended: the frame count stays.
    QTest::qWait(500);
    const int count = frameCount(vid1);
    QTest::qWait(500);
    QCOMPARE(frameCount(vid1), count);
    QVERIFY(count >= 25);
}

void GuiEndToEndTest::recordScreenAndAudioFromToolbar() {
    QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "needs an X display (scripts/test)");
    QVERIFY2(!qEnvironmentVariableIsEmpty("PULSE_SERVER"), "needs a sound server (scripts/test)");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QProcess program;
    program.setWorkingDirectory(dir.path());
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(MARROWDALE_PATH), {});
    QVERIFY(program.waitForStarted());
    auto cleanup = qScopeGuard([&] {
        program.terminate();
        if (!program.waitForFinished(10000)) {
            program.kill();
            program.waitForFinished();
        }
    });
    QString window;
    QTRY_VERIFY_WITH_TIMEOUT(
        !(window = xdotool({"search", "--onlyvisible", "--name", "^Marrowdale - Marrowdale1$"}))
             .isEmpty(),
        20000);
    window = window.section('\n', 0, 0);
    xdotool({"windowactivate", "--sync", window});
    QTest::qWait(800);
    const QString shot = dir.filePath("window.png");
    QCOMPARE(run("import", {"-window", window, shot}, 20000), QString());
    QImage image = QImage(shot).convertToFormat(QImage::Format_RGB32);
    const QPoint record = findPicture(image, isRecordPicture);
    const QPoint both = findPicture(image, isStartBothPicture);
    QVERIFY2(record.x() >= 0 && both.x() > record.x(), "toolbar pictures not found");
    const QPoint stop(record.x() + (both.x() - record.x()) / 5, record.y());

    // "Starts both the video and audio recorders."
    xdotool({"mousemove", "--window", window, QString::number(both.x()), QString::number(both.y()),
             "click", "1"});
    QTRY_COMPARE_WITH_TIMEOUT(xdotool({"getwindowname", window}),
                              QStringLiteral("Marrowdale Recording"), 10000);
    const QString vid1 = dir.filePath("vid1");
    QTRY_VERIFY_WITH_TIMEOUT(frameCount(vid1) >= 25, 20000);
    QTest::qWait(500);
    xdotool({"mousemove", "--window", window, QString::number(stop.x()), QString::number(stop.y()),
             "click", "1"});
    QTRY_COMPARE_WITH_TIMEOUT(xdotool({"getwindowname", window}),
                              QStringLiteral("Marrowdale stopped"), 10000);
    // The audio worker ends with the screen recording and finishes test.wma.
    const QString wma = dir.filePath("test.wma");
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(wma).size() > 0, 10000);
    // An ASF file starts with its header object's GUID.
    QFile f(wma);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray head = f.read(16);
    QCOMPARE(head.toHex(), QByteArray("3026b2758e66cf11a6d900aa0062ce6c"));
}

void GuiEndToEndTest::quittingWhileRecordingFinishesFiles() {
    QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "needs an X display (scripts/test)");
    QVERIFY2(!qEnvironmentVariableIsEmpty("PULSE_SERVER"), "needs a sound server (scripts/test)");
    QVERIFY2(!QStandardPaths::findExecutable("wmctrl").isEmpty(), "needs wmctrl");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QProcess program;
    program.setWorkingDirectory(dir.path());
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(MARROWDALE_PATH), {});
    QVERIFY(program.waitForStarted());
    auto cleanup = qScopeGuard([&] {
        if (program.state() == QProcess::NotRunning)
            return;
        program.kill();
        program.waitForFinished();
    });
    QString window;
    QTRY_VERIFY_WITH_TIMEOUT(
        !(window = xdotool({"search", "--onlyvisible", "--name", "^Marrowdale - Marrowdale1$"}))
             .isEmpty(),
        20000);
    window = window.section('\n', 0, 0);
    xdotool({"windowactivate", "--sync", window});
    QTest::qWait(800);
    const QString shot = dir.filePath("window.png");
    QCOMPARE(run("import", {"-window", window, shot}, 20000), QString());
    const QImage image = QImage(shot).convertToFormat(QImage::Format_RGB32);
    const QPoint both = findPicture(image, isStartBothPicture);
    QVERIFY2(both.x() >= 0, "toolbar picture not found");
    xdotool({"mousemove", "--window", window, QString::number(both.x()), QString::number(both.y()),
             "click", "1"});
    QTRY_VERIFY_WITH_TIMEOUT(frameCount(dir.filePath("vid1")) >= 25, 20000);
    QTest::qWait(1000);

    // Closing the main window while both workers record: the program stops them, waits for
    // them and ends; the sound file is complete (it has its duration) and no frame is cut.
    run("wmctrl", {"-i", "-c", window});
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    // A finished ASF file carries its own size in its file properties object (written when
    // the writer ends; 0 while it is still being written).
    QFile f(dir.filePath("test.wma"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray data = f.readAll();
    const int at = data.indexOf(QByteArray::fromHex("a1dcab8c47a9cf118ee400c00c205365"));
    QVERIFY2(at >= 0 && at + 48 <= data.size(), "no file properties object");
    quint64 recordedSize = 0;
    for (int i = 7; i >= 0; --i)
        recordedSize = (recordedSize << 8) | static_cast<quint8>(data[at + 40 + i]);
    QCOMPARE(recordedSize, quint64(data.size()));
}

QTEST_GUILESS_MAIN(GuiEndToEndTest)
#include "gui_end_to_end_test.moc"
