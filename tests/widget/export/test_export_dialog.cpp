// "Export video...": the dialog reads the recording, exports it beside the GUI thread with a
// progress box whose Cancel leaves no file, asks for a period only without recording.ini, and
// tells how it ended.
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <thread>

#include "platform/ffmpeg/ffmpeg_video_export.h"
#include "platform/jpeg/turbo_jpeg_encoder.h"
#include "recorder/recording_folder.h"
#include "tools/gui/export_dialog.h"

namespace marrowdale {

namespace {

// Frames 1..count of a 32 by 16 picture as JPEG files in `folder`/vid1/.
bool writeFrames(const QString& folder, int count) {
    if (!QDir(folder).mkpath(QStringLiteral("vid1")))
        return false;
    std::vector<std::uint8_t> pixels(32 * 16 * 4, 128);
    ScreenImage image;
    image.pixels = pixels.data();
    image.width = 32;
    image.height = 16;
    image.strideBytes = 32 * 4;
    const auto encoder = createTurboJpegEncoder();
    for (int n = 1; n <= count; ++n) {
        EncodedJpeg jpeg;
        if (!encoder || !encoder->encode(image, jpeg))
            return false;
        QFile f(QStringLiteral("%1/vid1/%2.jpg").arg(folder).arg(n, 6, 10, QLatin1Char('0')));
        if (!f.open(QIODevice::WriteOnly) ||
            f.write(reinterpret_cast<const char*>(jpeg.data), static_cast<qint64>(jpeg.size)) !=
                static_cast<qint64>(jpeg.size))
            return false;
    }
    return true;
}

// An exporter that records the frames it is given; its frames wait for `release` when `hold`.
struct FakeExport {
    std::atomic<bool> hold{false};
    std::atomic<bool> release{false};
    std::atomic<int> added{0};
    std::vector<std::int64_t> times;
    bool finished = false;
};

class FakeWriter final : public VideoExportWriter {
  public:
    explicit FakeWriter(FakeExport& e) : e_(e) {}
    bool addFrame(const std::string&, std::int64_t time100ns, std::int64_t, std::string*) override {
        while (e_.hold && !e_.release)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        e_.times.push_back(time100ns);
        ++e_.added;
        return true;
    }
    bool finish(std::string*) override {
        e_.finished = true;
        return true;
    }

  private:
    FakeExport& e_;
};

class FakeExporter final : public VideoExporter {
  public:
    explicit FakeExporter(FakeExport& e) : e_(e) {}
    std::unique_ptr<VideoExportWriter> open(const VideoExportSetup&, std::string*) override {
        return std::make_unique<FakeWriter>(e_);
    }

  private:
    FakeExport& e_;
};

}  // namespace

class ExportDialogTest : public QObject {
    Q_OBJECT
  private slots:
    void exportsADescribedRecording();
    void cancelLeavesTheDialogOpenAndSaysHowFar();
    void periodAskedOnlyWithoutDescription();
};

void ExportDialogTest::exportsADescribedRecording() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(writeFrames(dir.path(), 3));
    RecordingDescription d;
    d.period100ns = 800000;
    QVERIFY(writeRecordingDescription(dir.path().toStdString(), d));

    ExportVideoDialog dlg(dir.path(), [] { return createFfmpegVideoExporter(); });
    QStringList messages, notices;
    dlg.setMessageSink([&](const QString& t) { messages << t; });
    dlg.setNotice([&](const QString& t) { notices << t; });
    QCOMPARE(dlg.outputEdit()->text(), dir.filePath("recording.mkv"));
    QVERIFY(!dlg.periodEdit()->isEnabled());  // the recording's own period is used
    // The save dialog names the file; the export runs with the real writer.
    const QString out = dir.filePath("video.mkv");
    dlg.setSavePicker([&](const QString& suggested) -> std::optional<QString> {
        return suggested == dir.filePath("recording.mkv") ? std::optional<QString>(out)
                                                          : std::nullopt;
    });
    for (QPushButton* b : dlg.findChildren<QPushButton*>())
        if (b->text() == QStringLiteral("Save as..."))
            QTest::mouseClick(b, Qt::LeftButton);
    QCOMPARE(dlg.outputEdit()->text(), out);
    dlg.h264Choice()->setChecked(true);
    dlg.runExport();
    QCOMPARE(dlg.lastReport().outcome, ExportOutcome::kFinished);
    QCOMPARE(messages, QStringList({"Exported 3 frames (0.3 s, no sound) to " + out}));
    QCOMPARE(notices, messages);
    QVERIFY(QFile::exists(out));
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
}

void ExportDialogTest::cancelLeavesTheDialogOpenAndSaysHowFar() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(writeFrames(dir.path(), 3));
    FakeExport e;
    e.hold = true;
    ExportVideoDialog dlg(dir.path(), [&] { return std::make_unique<FakeExporter>(e); });
    QStringList messages;
    dlg.setMessageSink([&](const QString& t) { messages << t; });

    bool progressSeen = false, buttonWaited = false;
    QString label;
    QTimer watch;
    watch.setInterval(20);
    connect(&watch, &QTimer::timeout, this, [&] {
        auto* progress = dlg.findChild<QProgressDialog*>("exportProgress");
        if (progressSeen || !progress || !progress->isVisible())
            return;
        progressSeen = true;
        label = progress->labelText();
        buttonWaited = !dlg.exportButton()->isEnabled() && dlg.exporting();
        dlg.close();  // ignored while the export runs
        if (auto* cancel = progress->findChild<QPushButton*>())
            QTest::mouseClick(cancel, Qt::LeftButton);
        e.release = true;  // the frame under way ends; the next look sees the cancel
    });
    dlg.show();
    watch.start();
    dlg.runExport();
    watch.stop();
    QVERIFY(progressSeen);
    QVERIFY(label.startsWith("Exporting frame 0 of 3"));
    QVERIFY(buttonWaited);
    QCOMPARE(dlg.lastReport().outcome, ExportOutcome::kCancelled);
    QVERIFY(!e.finished);
    QCOMPARE(messages, QStringList({"Export cancelled after 1 of 3 frames; nothing was written"}));
    QVERIFY(dlg.isVisible());  // still open for another try
    QVERIFY(!dlg.exporting());
    QVERIFY(dlg.exportButton()->isEnabled());
}

void ExportDialogTest::periodAskedOnlyWithoutDescription() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    FakeExport e;
    ExportVideoDialog dlg(dir.path(), [&] { return std::make_unique<FakeExporter>(e); });
    QStringList messages;
    dlg.setMessageSink([&](const QString& t) { messages << t; });
    // Nothing there yet.
    dlg.runExport();
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].startsWith("Nothing to export: "), qPrintable(messages[0]));
    QCOMPARE(e.added.load(), 0);

    QVERIFY(writeFrames(dir.path(), 2));
    dlg.folderEdit()->setText(dir.path() + "/");  // the change is read again
    QVERIFY(dlg.periodEdit()->isEnabled());
    dlg.periodEdit()->setText("100");
    dlg.runExport();
    // Frames 1 and 2 at their slots: 40 ms, then one period of the 100 ms asked for.
    QCOMPARE(e.times, (std::vector<std::int64_t>{400000, 1400000}));
}

}  // namespace marrowdale

QTEST_MAIN(marrowdale::ExportDialogTest)
#include "test_export_dialog.moc"
