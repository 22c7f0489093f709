// The options, capture-area, audio and fill dialogs, driven by control id on their real
// templates: opening state, presets, radio groups, OK, Cancel, Escape and the close box.
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QtTest>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/codec_listing.h"
#include "audio/gui/audio_input_dialog.h"
#include "audio/gui/codec_list_dialog.h"
#include "audio/gui/record_audio_dialog.h"
#include "capture_area/gui/fixed_size_dialog.h"
#include "framework/template_dialog.h"
#include "options/gui/frame_rate_dialog.h"
#include "options/gui/max_frames_dialog.h"
#include "options/gui/record_mode_dialog.h"
#include "platform/fakes/fake_media_format.h"
#include "platform/fakes/fake_ui_bridge.h"
#include "recorder/commands.h"
#include "recorder/state.h"
#include "tools/gui/fill_dialog.h"

using namespace marrowdale;

namespace {

// How a script ends a modal run.
enum class Close { Ok, Cancel, Escape, CloseBox };

void closeDialog(TemplateDialog& dlg, Close how) {
    switch (how) {
        case Close::Ok:
            QTest::mouseClick(qobject_cast<QPushButton*>(dlg.item(IDOK)), Qt::LeftButton);
            break;
        case Close::Cancel:
            QTest::mouseClick(qobject_cast<QPushButton*>(dlg.item(IDCANCEL)), Qt::LeftButton);
            break;
        case Close::Escape:
            QTest::keyClick(&dlg, Qt::Key_Escape);
            break;
        case Close::CloseBox:
            dlg.close();
            break;
    }
}

// Runs `dlg` modally; `script` runs once the dialog is up and should close it. A dialog that a
// failed script leaves open is ended with -99 so the suite never hangs.
int runModal(TemplateDialog& dlg, const std::function<void()>& script) {
    bool ran = false;
    QTimer::singleShot(0, &dlg, [&] {
        ran = true;
        script();
        if (dlg.isVisible())
            dlg.endDialog(-99);
    });
    const int result = dlg.doModal();
    if (!ran)
        return -100;
    return result;
}

void typeInto(TemplateDialog& dlg, int id, const QString& text) {
    auto* edit = qobject_cast<QLineEdit*>(dlg.item(id));
    if (!edit)
        return;
    edit->selectAll();
    edit->del();
    QTest::keyClicks(edit, text);
}

void click(TemplateDialog& dlg, int id) {
    auto* button = qobject_cast<QAbstractButton*>(dlg.item(id));
    if (button)
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

QString textOf(const TemplateDialog& dlg, int id) {
    return dlg.itemText(id);
}

// Checks the kinds and texts of a template's controls.
template <typename Widget>
bool isKind(const TemplateDialog& dlg, int id) {
    return qobject_cast<Widget*>(dlg.item(id)) != nullptr;
}

struct Closes {
    Close how;
    const char* name;
};
constexpr Closes kNotOk[] = {
    {Close::Cancel, "Cancel"}, {Close::Escape, "Escape"}, {Close::CloseBox, "close box"}};

// A worker launcher and command host that only record.
class RecordingLauncher final : public WorkerLauncher, public CommandHost {
  public:
    bool screenWorkerRunning() const override { return screenRunning; }
    bool audioWorkerRunning() const override { return audioRunning; }
    void startRecording(RecordingKind kind, const std::string& dir) override {
        if (kind != RecordingKind::kScreen)
            audioStarts.push_back(dir);
        if (kind != RecordingKind::kAudio)
            screenStarts.push_back(dir);
    }
    CaptureView* view() override { return nullptr; }
    WindowHandle viewWindow() override { return nullptr; }
    WindowHandle parentWindow() override { return nullptr; }
    WindowHandle mainFrame() override { return nullptr; }
    void minimizeMainFrame() override { ++minimized; }
    std::string currentDirectory() override { return "/home/user/recordings"; }

    bool screenRunning = false;
    bool audioRunning = false;
    std::vector<std::string> screenStarts;
    std::vector<std::string> audioStarts;
    int minimized = 0;
};

CodecCatalogue exampleCatalogue() {
    CodecCatalogue catalogue;
    // Names chosen so that a sorting list would reorder the lines.
    catalogue.audio.push_back(CodecEntry{
        "Zeta Audio 9",
        "",
        {fakeWaveFormat(0x0161, 48000, 2, 192000), fakeWaveFormat(0x0161, 44100, 1, 32000)}});
    catalogue.audio.push_back(
        CodecEntry{"Alpha Audio", "", {fakeWaveFormat(0x0160, 22050, 1, 20000)}});
    CodecFormatEntry video;
    video.description = "video format";
    video.bitrate = 500000;
    video.mediaType.majorType = kMediaTypeVideo;
    catalogue.video.push_back(CodecEntry{"Video Codec", "", {video}});
    return catalogue;
}

QStringList listLines(const TemplateDialog& dlg, int id) {
    QStringList lines;
    const QListWidget* list = dlg.listBox(id);
    if (!list)
        return lines;
    for (int i = 0; i < list->count(); ++i)
        lines << list->item(i)->text();
    return lines;
}

QStringList toQStrings(const std::vector<std::string>& lines) {
    QStringList out;
    for (const std::string& line : lines)
        out << QString::fromStdString(line);
    return out;
}

std::string frameName(const QString& folder, int n, const char* ext = "jpg") {
    return (folder + QStringLiteral("/%1.%2").arg(n, 6, 10, QLatin1Char('0')).arg(ext))
        .toStdString();
}

bool writeBytes(const std::string& path, const QByteArray& bytes) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
}

QByteArray readBytes(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT

  private slots:
    void init() { resetToProcessStart(settings, state); }

    // ---- Frame rate (314) ------------------------------------------------------------------
    void frameRateTemplate();
    void frameRateOpensWithFixedTexts();
    void frameRatePresets_data();
    void frameRatePresets();
    void frameRateTypedEntries_data();
    void frameRateTypedEntries();
    void frameRateOnlyOkChangesSettings();

    // ---- Maximum frames (318) --------------------------------------------------------------
    void maxFramesTemplate();
    void maxFramesOpensWithCurrentSettings();
    void maxFramesCalculateFrames_data();
    void maxFramesCalculateFrames();
    void maxFramesCalculateMinutes();
    void maxFramesOk_data();
    void maxFramesOk();
    void maxFramesCheckBoxes();
    void maxFramesCloseOthersNotAvailable();
    void maxFramesOnlyOkChangesSettings();
    void maxFramesMessageBox();

    // ---- Screen record mode (320) ----------------------------------------------------------
    void recordModeTemplate();
    void recordModeRadioGroup();
    void recordModeOk_data();
    void recordModeOk();
    void recordModeOnlyOkChangesSettings();

    // ---- Fixed size (311) ------------------------------------------------------------------
    void fixedSizeTemplate();
    void fixedSizePresets_data();
    void fixedSizePresets();
    void fixedSizeTypedAndEmpty();
    void fixedSizeCommandRefreshesTheDisplayCopy();

    // ---- Audio (312, 322) ------------------------------------------------------------------
    void recordAudioTemplate();
    void recordAudioSaveSettingsKeepsTheDialogOpen();
    void recordAudioCommandStartsOnlyAfterStart();
    void recordAudioCommandRefusesASecondAudioWorker();
    void audioInputTemplate();
    void audioInputOpensUnchecked();
    void audioInputOk();
    void audioInputOnlyOkChangesSettings();

    // ---- Codec list (310) ------------------------------------------------------------------
    void codecListTemplate();
    void codecListLevels();

    // ---- Fill (316) ------------------------------------------------------------------------
    void fillTemplate();
    void fillBrowse();
    void fillRealPickerCancelLeavesTheField();
    void fillAutoAndOdd();
    void fillFolderTextAsTyped();
    void fillFailureMessage();
    void fillProgressAndCancel();

  private:
    CaptureSettings settings;
    RecorderState state;
};

// ---- Frame rate ---------------------------------------------------------------------------

void DialogsTest::frameRateTemplate() {
    CDIALOGFRAMERATE dlg(settings);
    QVERIFY(dlg.templateLoaded());
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Frame rate"));
    QVERIFY(isKind<QLineEdit>(dlg, 1005));
    QVERIFY(isKind<QLineEdit>(dlg, 1006));
    const std::pair<int, const char*> buttons[] = {
        {1003, "25 FPS"},
        {1004, "12.5 FPS 1/2"},
        {1011, "6.25 FPS  1/4"},
        {1009, "1 frame only"},
        {1010, "2 frames copy"},
        {1012, "4 frames copy"},
        {1013, "Skip one frame"},
        {1014, "Skip two frames"},
        {1015, "Skip three frames"},
        {1, "OK"},
        {2, "Cancel"},
    };
    for (const auto& [id, text] : buttons) {
        QVERIFY2(isKind<QPushButton>(dlg, id), text);
        QCOMPARE(textOf(dlg, id), QString::fromUtf8(text));
    }
    QVERIFY(qobject_cast<QPushButton*>(dlg.item(1))->isDefault());
    QCOMPARE(textOf(dlg, 1007),
             QStringLiteral("Time in ms between frames.  40 = 25 FPS. 80 = 12.5 FPS."));
    QCOMPARE(textOf(dlg, 1016),
             QStringLiteral("Number of copies made of each screen grab.  Used to pad the frame "
                            "rate to 25 FPS.\ne.g. 2 with 12.5 FPS gives 25 FPS.  Which is 40ns "
                            "per frame."));
    QCOMPARE(textOf(dlg, 1008),
             QStringLiteral("Change the numbering of the recorded frames, leaving spaces for "
                            "frames to be dupicated and inserted after recording has finished."));
}

void DialogsTest::frameRateOpensWithFixedTexts() {
    settings.framePeriod = 800000;
    settings.frameOption = 12;
    CDIALOGFRAMERATE dlg(settings);
    QString period, option;
    const int result = runModal(dlg, [&] {
        period = textOf(dlg, 1005);
        option = textOf(dlg, 1006);
        closeDialog(dlg, Close::Ok);
    });
    QCOMPARE(result, IDOK);
    QCOMPARE(period, QStringLiteral("40"));
    QCOMPARE(option, QStringLiteral("1"));
    QCOMPARE(settings.framePeriod.load(), 400000u);
    QCOMPARE(int(settings.frameOption.load()), 1);
}

void DialogsTest::frameRatePresets_data() {
    QTest::addColumn<QList<int>>("buttons");
    QTest::addColumn<QString>("period");
    QTest::addColumn<QString>("option");
    QTest::addColumn<uint>("framePeriod");
    QTest::addColumn<int>("frameOption");
    QTest::newRow("25 FPS") << QList<int>{1003} << "40"
                            << "1" << 400000u << 1;
    QTest::newRow("12.5 FPS") << QList<int>{1004} << "80"
                              << "1" << 800000u << 1;
    QTest::newRow("6.25 then 4 copies") << QList<int>{1011, 1012} << "160"
                                        << "4" << 1600000u << 4;
    QTest::newRow("2 copies") << QList<int>{1010} << "40"
                              << "2" << 400000u << 2;
    QTest::newRow("skip one") << QList<int>{1013} << "40"
                              << "11" << 400000u << 11;
    QTest::newRow("skip two") << QList<int>{1014} << "40"
                              << "12" << 400000u << 12;
    QTest::newRow("skip three then one only") << QList<int>{1015, 1009} << "40"
                                              << "1" << 400000u << 1;
    QTest::newRow("later preset wins") << QList<int>{1004, 1011, 1003, 1013, 1012} << "40"
                                       << "4" << 400000u << 4;
}

void DialogsTest::frameRatePresets() {
    QFETCH(QList<int>, buttons);
    QFETCH(QString, period);
    QFETCH(QString, option);
    QFETCH(uint, framePeriod);
    QFETCH(int, frameOption);
    settings.framePeriod = 123;
    settings.frameOption = 200;
    CDIALOGFRAMERATE dlg(settings);
    QString shownPeriod, shownOption;
    bool openAfterPresets = false;
    std::uint32_t periodBeforeOk = 0;
    runModal(dlg, [&] {
        for (int id : buttons)
            click(dlg, id);
        openAfterPresets = dlg.isVisible();
        periodBeforeOk = settings.framePeriod;
        shownPeriod = textOf(dlg, 1005);
        shownOption = textOf(dlg, 1006);
        closeDialog(dlg, Close::Ok);
    });
    QVERIFY(openAfterPresets);
    QCOMPARE(periodBeforeOk, 123u);  // presets only fill the boxes
    QCOMPARE(shownPeriod, period);
    QCOMPARE(shownOption, option);
    QCOMPARE(settings.framePeriod.load(), framePeriod);
    QCOMPARE(int(settings.frameOption.load()), frameOption);
}

void DialogsTest::frameRateTypedEntries_data() {
    QTest::addColumn<QString>("period");
    QTest::addColumn<QString>("option");
    QTest::addColumn<uint>("framePeriod");
    QTest::addColumn<int>("frameOption");
    QTest::newRow("4 ms") << "4"
                          << "3" << 400000u << 3;
    QTest::newRow("5 ms") << "5"
                          << "256" << 50000u << 1;
    QTest::newRow("empty") << ""
                           << "" << 400000u << 1;
    QTest::newRow("letters") << "abc"
                             << "xyz" << 400000u << 1;
    QTest::newRow("-10") << "-10"
                         << "-1" << 4294867296u << 255;
    QTest::newRow("429497") << "429497"
                            << "300" << 2704u << 44;
    QTest::newRow("2^28") << "268435456"
                          << "257" << 400000u << 1;
    QTest::newRow("spaces and sign") << "  +80ms"
                                     << " 14" << 800000u << 14;
}

void DialogsTest::frameRateTypedEntries() {
    QFETCH(QString, period);
    QFETCH(QString, option);
    QFETCH(uint, framePeriod);
    QFETCH(int, frameOption);
    CDIALOGFRAMERATE dlg(settings);
    runModal(dlg, [&] {
        typeInto(dlg, 1005, period);
        typeInto(dlg, 1006, option);
        closeDialog(dlg, Close::Ok);
    });
    QCOMPARE(settings.framePeriod.load(), framePeriod);
    QCOMPARE(int(settings.frameOption.load()), frameOption);
}

void DialogsTest::frameRateOnlyOkChangesSettings() {
    for (const auto& close : kNotOk) {
        settings.framePeriod = 800000;
        settings.frameOption = 2;
        CDIALOGFRAMERATE dlg(settings);
        const int result = runModal(dlg, [&] {
            click(dlg, 1011);
            click(dlg, 1013);
            closeDialog(dlg, close.how);
        });
        QVERIFY2(result != IDOK, close.name);
        QVERIFY2(result != -99, close.name);
        QCOMPARE(settings.framePeriod.load(), 800000u);
        QCOMPARE(int(settings.frameOption.load()), 2);
    }
}

// ---- Maximum frames -----------------------------------------------------------------------

void DialogsTest::maxFramesTemplate() {
    CMAXFRAMES dlg(settings);
    QVERIFY(dlg.templateLoaded());
    QCOMPARE(dlg.windowTitle(),
             QStringLiteral("Set the maximum number of frames in each recording"));
    for (int id : {1010, 1011, 1012})
        QVERIFY(isKind<QLineEdit>(dlg, id));
    QCOMPARE(textOf(dlg, 1014), QStringLiteral("Calculate number of frames"));
    QCOMPARE(textOf(dlg, 1013), QStringLiteral("Calculate number of minutes"));
    QVERIFY(isKind<QCheckBox>(dlg, 1020));
    QVERIFY(isKind<QCheckBox>(dlg, 1021));
    QCOMPARE(textOf(dlg, 1020), QStringLiteral("Close other windows when stopping."));
    QCOMPARE(textOf(dlg, 1021), QStringLiteral("Show close windows when stopping."));
    QStringList statics;
    for (QLabel* label : dlg.findChildren<QLabel*>())
        statics << label->text();
    QVERIFY(statics.contains(QStringLiteral(
        "This dialog lets you set the maximum number of screen area frames that each recording "
        "will be limitted to. It will not set the FPS or record time. This setting is not saved "
        "when you restart the program.")));
    QVERIFY(statics.contains(QStringLiteral("Required frame rate (FPS), default = 25")));
    QVERIFY(statics.contains(QStringLiteral("Time  to record in minutes")));
    QVERIFY(statics.contains(QStringLiteral("Total number of frames for the complete recording")));
}

void DialogsTest::maxFramesOpensWithCurrentSettings() {
    {
        CMAXFRAMES dlg(settings);
        QStringList shown;
        bool close = true, show = true;
        runModal(dlg, [&] {
            shown << textOf(dlg, 1012) << textOf(dlg, 1011) << textOf(dlg, 1010);
            close = dlg.isButtonChecked(1020);
            show = dlg.isButtonChecked(1021);
            closeDialog(dlg, Close::Cancel);
        });
        QCOMPARE(shown, (QStringList{"90000", "60", "25"}));
        QVERIFY(!close);
        QVERIFY(!show);
    }
    settings.maxFrames = 4294967295u;
    settings.showCloseOthersOnStop = 1;
    CMAXFRAMES dlg(settings);
    QStringList shown;
    bool close = true, show = false;
    runModal(dlg, [&] {
        shown << textOf(dlg, 1012) << textOf(dlg, 1011) << textOf(dlg, 1010);
        close = dlg.isButtonChecked(1020);
        show = dlg.isButtonChecked(1021);
        closeDialog(dlg, Close::Cancel);
    });
    QCOMPARE(shown, (QStringList{"4294967295", "2863311", "25"}));
    QVERIFY(!close);
    QVERIFY(show);
}

void DialogsTest::maxFramesCalculateFrames_data() {
    QTest::addColumn<QString>("rate");
    QTest::addColumn<QString>("minutes");
    QTest::addColumn<QString>("frames");
    QTest::newRow("25 fps, 90 min") << "25"
                                    << "90"
                                    << "135000";
    QTest::newRow("12.5 fps, 10 min") << "12.5"
                                      << "10"
                                      << "7500";
    QTest::newRow("-1 min") << "25"
                            << "-1"
                            << "4294967295";
    QTest::newRow("empty") << ""
                           << ""
                           << "0";
    QTest::newRow("float rounding") << "0.7"
                                    << "1"
                                    << "42";
}

void DialogsTest::maxFramesCalculateFrames() {
    QFETCH(QString, rate);
    QFETCH(QString, minutes);
    QFETCH(QString, frames);
    CMAXFRAMES dlg(settings);
    QString shown;
    runModal(dlg, [&] {
        typeInto(dlg, 1010, rate);
        typeInto(dlg, 1011, minutes);
        click(dlg, 1014);
        shown = textOf(dlg, 1012);
        closeDialog(dlg, Close::Cancel);
    });
    QCOMPARE(shown, frames);
    QCOMPARE(settings.maxFrames.load(), 90000u);  // the calculation changes no setting
}

void DialogsTest::maxFramesCalculateMinutes() {
    std::vector<QString> messages;
    CMAXFRAMES dlg(settings, nullptr, [&](const QString& text) { messages.push_back(text); });
    QStringList shown;
    runModal(dlg, [&] {
        typeInto(dlg, 1010, "12.5");
        typeInto(dlg, 1012, "7200");
        click(dlg, 1013);
        shown << textOf(dlg, 1011);  // 12.5 is read as 12: 10 minutes
        typeInto(dlg, 1010, "25");
        typeInto(dlg, 1012, "100");
        click(dlg, 1013);
        shown << textOf(dlg, 1011);  // rounds down to 0
        typeInto(dlg, 1010, "0.5");
        typeInto(dlg, 1012, "9000");
        typeInto(dlg, 1011, "keep");
        click(dlg, 1013);
        shown << textOf(dlg, 1011) << textOf(dlg, 1012) << textOf(dlg, 1010);
        shown << (dlg.isVisible() ? "open" : "closed");
        closeDialog(dlg, Close::Cancel);
    });
    QCOMPARE(shown, (QStringList{"10", "0", "keep", "9000", "0.5", "open"}));
    QCOMPARE(messages.size(), std::size_t{1});
    QCOMPARE(messages[0], QStringLiteral("FPS is < 1, please set the required FPS."));
}

void DialogsTest::maxFramesOk_data() {
    QTest::addColumn<QString>("frames");
    QTest::addColumn<uint>("stored");
    QTest::addColumn<bool>("message");
    QTest::newRow("135000") << "135000" << 135000u << false;
    QTest::newRow("0") << "0" << 90000u << true;
    QTest::newRow("letters") << "many" << 90000u << true;
    QTest::newRow("empty") << "" << 90000u << true;
    QTest::newRow("-1") << "-1" << 4294967295u << false;
}

void DialogsTest::maxFramesOk() {
    QFETCH(QString, frames);
    QFETCH(uint, stored);
    QFETCH(bool, message);
    settings.maxFrames = 5;
    std::vector<QString> messages;
    CMAXFRAMES dlg(settings, nullptr, [&](const QString& text) { messages.push_back(text); });
    const int result = runModal(dlg, [&] {
        typeInto(dlg, 1012, frames);
        typeInto(dlg, 1011, "999");  // minutes and rate are not read on OK
        typeInto(dlg, 1010, "1");
        closeDialog(dlg, Close::Ok);
    });
    QCOMPARE(result, IDOK);  // closes even after the message
    QCOMPARE(settings.maxFrames.load(), stored);
    QCOMPARE(messages.size(), std::size_t{message ? 1u : 0u});
    if (message)
        QCOMPARE(messages[0],
                 QStringLiteral("The total frames is < 1, and has been reset to 90000."));
}

void DialogsTest::maxFramesCheckBoxes() {
    struct Row {
        bool close, show;
    };
    for (const Row row : {Row{false, true}, Row{true, false}, Row{true, true}, Row{false, false}}) {
        settings.closeOthersOnStop = row.close ? 0 : 1;  // start from the opposite
        settings.showCloseOthersOnStop = row.show ? 0 : 1;
        CMAXFRAMES dlg(settings);
        runModal(dlg, [&] {
            if (dlg.isButtonChecked(1020) != row.close)
                click(dlg, 1020);
            if (dlg.isButtonChecked(1021) != row.show)
                click(dlg, 1021);
            closeDialog(dlg, Close::Ok);
        });
        QCOMPARE(int(settings.closeOthersOnStop.load()), row.close ? 1 : 0);
        QCOMPARE(int(settings.showCloseOthersOnStop.load()), row.show ? 1 : 0);
    }
}

void DialogsTest::maxFramesOnlyOkChangesSettings() {
    for (const auto& close : kNotOk) {
        settings.maxFrames = 777;
        settings.closeOthersOnStop = 0;
        settings.showCloseOthersOnStop = 1;
        CMAXFRAMES dlg(settings);
        const int result = runModal(dlg, [&] {
            typeInto(dlg, 1012, "123456");
            click(dlg, 1020);
            click(dlg, 1021);
            closeDialog(dlg, close.how);
        });
        QVERIFY2(result != IDOK && result != -99, close.name);
        QCOMPARE(settings.maxFrames.load(), 777u);
        QCOMPARE(int(settings.closeOthersOnStop.load()), 0);
        QCOMPARE(int(settings.showCloseOthersOnStop.load()), 1);
    }
}

// A desktop that does not let the program close other windows (Wayland without the
// foreign-toplevel protocol): the box says so, cannot be ticked, and OK clears the setting.
void DialogsTest::maxFramesCloseOthersNotAvailable() {
    settings.closeOthersOnStop = 1;
    CMAXFRAMES dlg(settings, nullptr, {}, [] { return false; });
    QString text;
    bool checked = true, enabled = true;
    runModal(dlg, [&] {
        text = textOf(dlg, 1020);
        checked = dlg.isButtonChecked(1020);
        enabled = dlg.item(1020)->isEnabled();
        click(dlg, 1020);  // a disabled box does not change
        closeDialog(dlg, Close::Ok);
    });
    QCOMPARE(text, QStringLiteral("Close other windows when stopping. (not available on this "
                                  "desktop)"));
    QVERIFY(!checked);
    QVERIFY(!enabled);
    QCOMPARE(int(settings.closeOthersOnStop.load()), 0);
}

void DialogsTest::maxFramesMessageBox() {
    // The program's own message box: found by name, read and answered.
    CMAXFRAMES dlg(settings);
    QString boxText, boxTitle;
    QTimer answer;
    answer.setInterval(20);
    connect(&answer, &QTimer::timeout, this, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (box && box->isVisible() && box->objectName() == "marrowdaleMessageBox") {
                boxText = box->text();
                boxTitle = box->windowTitle();
                box->accept();
            }
        }
    });
    answer.start();
    const int result = runModal(dlg, [&] {
        typeInto(dlg, 1012, "0");
        closeDialog(dlg, Close::Ok);
    });
    answer.stop();
    QCOMPARE(result, IDOK);
    QCOMPARE(boxText, QStringLiteral("The total frames is < 1, and has been reset to 90000."));
    QCOMPARE(boxTitle, QStringLiteral("Marrowdale"));
    QCOMPARE(settings.maxFrames.load(), 90000u);
}

// ---- Screen record mode -------------------------------------------------------------------

void DialogsTest::recordModeTemplate() {
    CDialogScreenSaveMode dlg(settings);
    QVERIFY(dlg.templateLoaded());
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Screen Record Mode"));
    QCOMPARE(textOf(dlg, 1014),
             QStringLiteral("Mode 0, try to save frames at 25 FPS with no "
                            "skipped frames. Frames can not be inserted later."));
    QCOMPARE(textOf(dlg, 1015), QStringLiteral("Mode 2, save every other frame, skipped frames "
                                               "can be inserted later."));
    QCOMPARE(textOf(dlg, 1016), QStringLiteral("Mode 3, default - skip missed frames so they can "
                                               "be inserted later."));
    for (int id : {1014, 1015, 1016})
        QVERIFY(isKind<QRadioButton>(dlg, id));
    bool hasModeBox = false;
    for (QGroupBox* box : dlg.findChildren<QGroupBox*>())
        hasModeBox |= box->title() == "Mode";
    QVERIFY(hasModeBox);
}

void DialogsTest::recordModeRadioGroup() {
    CDialogScreenSaveMode dlg(settings);
    QList<int> checked;
    runModal(dlg, [&] {
        for (int id : {1014, 1015, 1016})
            checked << dlg.isButtonChecked(id);
        click(dlg, 1014);
        click(dlg, 1016);
        for (int id : {1014, 1015, 1016})
            checked << dlg.isButtonChecked(id);
        click(dlg, 1015);
        for (int id : {1014, 1015, 1016})
            checked << dlg.isButtonChecked(id);
        closeDialog(dlg, Close::Cancel);
    });
    QCOMPARE(checked, (QList<int>{0, 0, 0, 0, 0, 1, 0, 1, 0}));
}

void DialogsTest::recordModeOk_data() {
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("radio");
    QTest::addColumn<int>("after");
    QTest::newRow("none keeps 3") << 3 << 0 << 3;
    QTest::newRow("none keeps 2") << 2 << 0 << 2;
    QTest::newRow("mode 0") << 3 << 1014 << 0;
    QTest::newRow("mode 2") << 3 << 1015 << 2;
    QTest::newRow("mode 3") << 0 << 1016 << 3;
}

void DialogsTest::recordModeOk() {
    QFETCH(int, before);
    QFETCH(int, radio);
    QFETCH(int, after);
    settings.captureMode = static_cast<CaptureMode>(before);
    CDialogScreenSaveMode dlg(settings);
    runModal(dlg, [&] {
        if (radio)
            click(dlg, radio);
        closeDialog(dlg, Close::Ok);
    });
    QCOMPARE(int(settings.captureMode.load()), after);
}

void DialogsTest::recordModeOnlyOkChangesSettings() {
    // Checking 1015 and OK stores 2; the dialog opens again with nothing checked and OK keeps 2.
    {
        CDialogScreenSaveMode dlg(settings);
        runModal(dlg, [&] {
            click(dlg, 1015);
            closeDialog(dlg, Close::Ok);
        });
    }
    QCOMPARE(settings.captureMode.load(), CaptureMode::kSkipLateSlots);
    {
        CDialogScreenSaveMode dlg(settings);
        bool anyChecked = true;
        runModal(dlg, [&] {
            anyChecked =
                dlg.isButtonChecked(1014) || dlg.isButtonChecked(1015) || dlg.isButtonChecked(1016);
            closeDialog(dlg, Close::Ok);
        });
        QVERIFY(!anyChecked);
    }
    QCOMPARE(settings.captureMode.load(), CaptureMode::kSkipLateSlots);
    for (const auto& close : kNotOk) {
        CDialogScreenSaveMode dlg(settings);
        runModal(dlg, [&] {
            click(dlg, 1014);
            closeDialog(dlg, close.how);
        });
        QCOMPARE(settings.captureMode.load(), CaptureMode::kSkipLateSlots);
    }
}

// ---- Fixed size ---------------------------------------------------------------------------

void DialogsTest::fixedSizeTemplate() {
    ClassDlgFillSize dlg(settings);
    QVERIFY(dlg.templateLoaded());
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Set the capture area"));
    QVERIFY(isKind<QGroupBox>(dlg, 1029));
    QCOMPARE(textOf(dlg, 1029), QStringLiteral("Capture area"));
    QCOMPARE(textOf(dlg, 1014), QStringLiteral("1920 by 1080"));
    QCOMPARE(textOf(dlg, 1015), QStringLiteral("1280 by 720"));
    QCOMPARE(textOf(dlg, 1016), QStringLiteral("852 by 480"));
    QCOMPARE(textOf(dlg, 1017), QStringLiteral("1024 by 768"));
    QCOMPARE(textOf(dlg, 1032), QStringLiteral("Width"));
    QCOMPARE(textOf(dlg, 1033), QStringLiteral("Height"));
    QVERIFY(isKind<QLineEdit>(dlg, 1030));
    QVERIFY(isKind<QLineEdit>(dlg, 1031));
}

void DialogsTest::fixedSizePresets_data() {
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("radio");
    QTest::addColumn<int>("right");
    QTest::addColumn<int>("bottom");
    QTest::newRow("1920 from start-up") << 100 << 100 << 1014 << 2020 << 1180;
    QTest::newRow("852 from 50,40") << 50 << 40 << 1016 << 902 << 520;
    QTest::newRow("1280") << 0 << 0 << 1015 << 1280 << 720;
    QTest::newRow("1024") << -10 << 5 << 1017 << 1014 << 773;
}

void DialogsTest::fixedSizePresets() {
    QFETCH(int, left);
    QFETCH(int, top);
    QFETCH(int, radio);
    QFETCH(int, right);
    QFETCH(int, bottom);
    settings.captureLeft = left;
    settings.captureTop = top;
    ClassDlgFillSize dlg(settings);
    QStringList opening;
    runModal(dlg, [&] {
        opening << textOf(dlg, 1030) << textOf(dlg, 1031);
        for (int id = 1014; id <= 1017; ++id)
            opening << QString::number(dlg.isButtonChecked(id));
        click(dlg, radio);
        closeDialog(dlg, Close::Ok);
    });
    QCOMPARE(opening, (QStringList{"", "", "0", "0", "0", "0"}));
    QCOMPARE(settings.captureRight.load(), right);
    QCOMPARE(settings.captureBottom.load(), bottom);
    QCOMPARE(settings.captureLeft.load(), left);
    QCOMPARE(settings.captureTop.load(), top);
}

void DialogsTest::fixedSizeTypedAndEmpty() {
    {
        ClassDlgFillSize dlg(settings);
        runModal(dlg, [&] { closeDialog(dlg, Close::Ok); });
        QCOMPARE(settings.captureRight.load(), 100);  // width 0
        QCOMPARE(settings.captureBottom.load(), 100);
    }
    {
        ClassDlgFillSize dlg(settings);
        runModal(dlg, [&] {
            click(dlg, 1014);
            typeInto(dlg, 1030, "-200");
            typeInto(dlg, 1031, "abc");
            closeDialog(dlg, Close::Ok);
        });
        QCOMPARE(settings.captureRight.load(), -100);
        QCOMPARE(settings.captureBottom.load(), 100);
    }
    for (const auto& close : kNotOk) {
        settings.captureRight = 800;
        settings.captureBottom = 600;
        ClassDlgFillSize dlg(settings);
        runModal(dlg, [&] {
            click(dlg, 1015);
            closeDialog(dlg, close.how);
        });
        QCOMPARE(settings.captureRight.load(), 800);
        QCOMPARE(settings.captureBottom.load(), 600);
    }
}

void DialogsTest::fixedSizeCommandRefreshesTheDisplayCopy() {
    // Cancel: the view's copy is refreshed from the unchanged rectangle.
    settings.captureRight = 640;
    settings.captureBottom = 480;
    std::int32_t shownRight = 1, shownBottom = 2;
    QTimer::singleShot(0, this, [] {
        if (auto* dlg = qobject_cast<TemplateDialog*>(QApplication::activeModalWidget()))
            dlg->endDialog(IDCANCEL);
    });
    runFixedSizeCommand(shownRight, shownBottom, settings);
    QCOMPARE(shownRight, 640);
    QCOMPARE(shownBottom, 480);

    // OK with a preset.
    QTimer::singleShot(0, this, [] {
        if (auto* dlg = qobject_cast<TemplateDialog*>(QApplication::activeModalWidget())) {
            dlg->clickItem(1014);
            dlg->clickItem(IDOK);
        }
    });
    runFixedSizeCommand(shownRight, shownBottom, settings);
    QCOMPARE(shownRight, 2020);
    QCOMPARE(shownBottom, 1180);
}

// ---- Audio --------------------------------------------------------------------------------

void DialogsTest::recordAudioTemplate() {
    CDialogRecordAudio dlg;
    QVERIFY(dlg.templateLoaded());
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Marrowdale Audio record"));
    QCOMPARE(textOf(dlg, 1), QStringLiteral("Start recording"));
    QVERIFY(qobject_cast<QPushButton*>(dlg.item(1))->isDefault());
    QCOMPARE(textOf(dlg, 2), QStringLiteral("Cancel"));
    QCOMPARE(textOf(dlg, 1002), QStringLiteral("Save settings"));
}

void DialogsTest::recordAudioSaveSettingsKeepsTheDialogOpen() {
    CDialogRecordAudio dlg;
    bool open = false;
    const int result = runModal(dlg, [&] {
        click(dlg, 1002);
        click(dlg, 1002);
        open = dlg.isVisible();
        closeDialog(dlg, Close::Ok);
    });
    QVERIFY(open);
    QCOMPARE(result, IDOK);
}

void DialogsTest::recordAudioCommandStartsOnlyAfterStart() {
    struct Row {
        Close how;
        bool starts;
    };
    for (const Row row : {Row{Close::Ok, true}, Row{Close::Cancel, false},
                          Row{Close::Escape, false}, Row{Close::CloseBox, false}}) {
        RecordingLauncher launcher;
        FakeUiBridge ui;
        RecordingCommandContext ctx{settings, state, ui, launcher, launcher};
        state.screenFinished = 1;
        state.stopAudioRequested = 1;
        const StatusCode status = state.statusCode;
        QTimer::singleShot(0, this, [&] {
            if (auto* dlg = qobject_cast<TemplateDialog*>(QApplication::activeModalWidget())) {
                click(*dlg, 1002);  // "Save settings" first: nothing happens
                closeDialog(*dlg, row.how);
            }
        });
        const bool started = OnCommandRecordAudio(ctx);
        QCOMPARE(started, row.starts);
        QCOMPARE(launcher.audioStarts.size(), std::size_t{row.starts ? 1u : 0u});
        if (row.starts) {
            QCOMPARE(launcher.audioStarts[0], std::string("/home/user/recordings"));
        }
        QVERIFY(launcher.screenStarts.empty());
        QVERIFY(ui.calls().empty());  // no title, no message
        // The command itself touches no flag.
        QCOMPARE(int(state.screenFinished.load()), 1);
        QCOMPARE(int(state.stopAudioRequested.load()), 1);
        QCOMPARE(state.statusCode.load(), status);
        QCOMPARE(launcher.minimized, 0);
    }
}

void DialogsTest::recordAudioCommandRefusesASecondAudioWorker() {
    RecordingLauncher launcher;
    launcher.audioRunning = true;
    FakeUiBridge ui;
    RecordingCommandContext ctx{settings, state, ui, launcher, launcher};
    QVERIFY(!OnCommandRecordAudio(ctx, [] { return IDOK; }));
    QVERIFY(launcher.audioStarts.empty());
    QCOMPARE(ui.messages(), (std::vector<std::string>{"A recording is already running."}));

    // A screen recording alone does not stand in the way of an audio recording.
    launcher.audioRunning = false;
    launcher.screenRunning = true;
    ui.clear();
    QVERIFY(OnCommandRecordAudio(ctx, [] { return IDOK; }));
    QCOMPARE(launcher.audioStarts.size(), std::size_t{1});
    QVERIFY(ui.messages().empty());
}

void DialogsTest::audioInputTemplate() {
    CDIALOG_AUDIOINPUT dlg(settings);
    QVERIFY(dlg.templateLoaded());
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Marrowdale - Select audio input source"));
    QVERIFY(isKind<QRadioButton>(dlg, 1017));
    QVERIFY(isKind<QRadioButton>(dlg, 1018));
    QCOMPARE(textOf(dlg, 1017), QStringLiteral("Sound mixer"));
    QCOMPARE(textOf(dlg, 1018), QStringLiteral("Microphone"));
    bool hasBox = false;
    for (QGroupBox* box : dlg.findChildren<QGroupBox*>())
        hasBox |= box->title() == "Select Audio input source";
    QVERIFY(hasBox);
}

void DialogsTest::audioInputOpensUnchecked() {
    settings.audioStreamFlags = 0;  // the microphone was chosen before
    CDIALOG_AUDIOINPUT dlg(settings);
    QList<int> checked;
    runModal(dlg, [&] {
        checked << dlg.isButtonChecked(1017) << dlg.isButtonChecked(1018);
        closeDialog(dlg, Close::Ok);
    });
    QCOMPARE(checked, (QList<int>{0, 0}));
    QCOMPARE(settings.audioStreamFlags.load(), 0u);  // OK at once keeps the choice
}

void DialogsTest::audioInputOk() {
    {
        CDIALOG_AUDIOINPUT dlg(settings);
        QList<int> checked;
        runModal(dlg, [&] {
            click(dlg, 1017);
            click(dlg, 1018);
            checked << dlg.isButtonChecked(1017) << dlg.isButtonChecked(1018);
            closeDialog(dlg, Close::Ok);
        });
        QCOMPARE(checked, (QList<int>{0, 1}));
        QCOMPARE(settings.audioStreamFlags.load(), 0u);
    }
    {
        CDIALOG_AUDIOINPUT dlg(settings);
        runModal(dlg, [&] {
            click(dlg, 1017);
            closeDialog(dlg, Close::Ok);
        });
        QCOMPARE(settings.audioStreamFlags.load(), 0x20000u);
    }
}

void DialogsTest::audioInputOnlyOkChangesSettings() {
    for (const auto& close : kNotOk) {
        settings.audioStreamFlags = 0x20000;
        CDIALOG_AUDIOINPUT dlg(settings);
        runModal(dlg, [&] {
            click(dlg, 1018);
            closeDialog(dlg, close.how);
        });
        QCOMPARE(settings.audioStreamFlags.load(), 0x20000u);
    }
}

// ---- Codec list ---------------------------------------------------------------------------

void DialogsTest::codecListTemplate() {
    FakeMediaFormatService service(exampleCatalogue());
    CCodecList dlg(service);
    QVERIFY(dlg.templateLoaded());
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Dialog"));
    QVERIFY(dlg.listBox(1000) != nullptr);
    QCOMPARE(textOf(dlg, 1002), QStringLiteral("Audio and video codecs basic info"));
    QCOMPARE(textOf(dlg, 1001), QStringLiteral("Audio codecs basic info"));
    QCOMPARE(textOf(dlg, 1), QStringLiteral("OK"));
    QCOMPARE(textOf(dlg, 2), QStringLiteral("Cancel"));
}

void DialogsTest::codecListLevels() {
    FakeMediaFormatService service(exampleCatalogue());
    const QStringList full = toQStrings(listCodecs(service, 4, true));
    const QStringList audio = toQStrings(listCodecs(service, 1, false));
    const QStringList both = toQStrings(listCodecs(service, 3, false));
    QVERIFY(full.size() > both.size());
    QVERIFY(both.size() > audio.size());
    QStringList sorted = full;
    sorted.sort();
    QVERIFY(sorted != full);  // a sorting list would show another order

    CCodecList dlg(service);
    QStringList opening, afterAudio, afterBoth;
    int levelAudio = 0, levelBoth = 0;
    runModal(dlg, [&] {
        opening = listLines(dlg, 1000);
        click(dlg, 1001);
        afterAudio = listLines(dlg, 1000);
        levelAudio = dlg.detailLevel();
        click(dlg, 1002);
        afterBoth = listLines(dlg, 1000);
        levelBoth = dlg.detailLevel();
        closeDialog(dlg, Close::Ok);
    });
    QCOMPARE(opening, full);
    QCOMPARE(opening.value(0), QStringLiteral("System Codecs"));
    QVERIFY(opening.contains(QStringLiteral("\n\nNumber of video codecs: 1.\n\n")));
    QCOMPARE(afterAudio, audio);
    QCOMPARE(levelAudio, 1);
    QVERIFY(!afterAudio.contains(QStringLiteral("System Codecs")));
    for (const QString& line : afterAudio)
        QVERIFY(!line.contains("video"));
    QCOMPARE(afterBoth, both);
    QCOMPARE(levelBoth, 3);
    QVERIFY(!afterBoth.contains(QStringLiteral("System Codecs")));
}

// ---- Fill ---------------------------------------------------------------------------------

void DialogsTest::fillTemplate() {
    CDIALOG_FILL dlg(settings);
    QVERIFY(dlg.templateLoaded());
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Marrowdale - Fill in skipped frames"));
    QVERIFY(isKind<QLineEdit>(dlg, 1010));
    QCOMPARE(textOf(dlg, 1010), QString());
    QCOMPARE(textOf(dlg, 3), QStringLiteral("Browse"));
    QCOMPARE(textOf(dlg, 5), QStringLiteral("Fill in odd frames"));
    QCOMPARE(textOf(dlg, 6), QStringLiteral("Auto fill frames"));
    QStringList statics;
    for (QLabel* label : dlg.findChildren<QLabel*>())
        statics << label->text();
    QVERIFY(
        statics.contains(QStringLiteral("Paste in or browse for the folder containing the "
                                        "captured jpg files.  By default this is vid1.")));
    QVERIFY(statics.contains(QStringLiteral(
        "The fill process typically takes 5 or 10 minutes depending on how many frames have been "
        "captured.  The dialog may show as not responding, you just need to wait until it says "
        "it has finished.")));
}

void DialogsTest::fillBrowse() {
    CDIALOG_FILL dlg(settings);
    QStringList starts;
    std::optional<QString> answer = QStringLiteral("/chosen/folder");
    dlg.setFolderPicker([&](const QString& start) {
        starts << start;
        return answer;
    });
    QStringList shown;
    bool open = false;
    runModal(dlg, [&] {
        typeInto(dlg, 1010, "typed");
        click(dlg, 3);
        shown << textOf(dlg, 1010);
        answer.reset();  // the user cancels the picker
        click(dlg, 3);
        shown << textOf(dlg, 1010);
        open = dlg.isVisible();
        closeDialog(dlg, Close::Cancel);
    });
    QCOMPARE(shown, (QStringList{"/chosen/folder", "/chosen/folder"}));
    QCOMPARE(starts, (QStringList{QDir::currentPath(), QDir::currentPath()}));
    QVERIFY(open);
}

void DialogsTest::fillRealPickerCancelLeavesTheField() {
    CDIALOG_FILL dlg(settings);
    QString pickerFolder, field;
    bool pickerSeen = false;
    QTimer answer;
    answer.setInterval(20);
    connect(&answer, &QTimer::timeout, this, [&] {
        auto* picker = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (picker && picker->objectName() == "fillFolderPicker") {
            pickerSeen = true;
            pickerFolder = picker->directory().absolutePath();
            picker->reject();
        }
    });
    runModal(dlg, [&] {
        typeInto(dlg, 1010, "kept");
        answer.start();
        click(dlg, 3);
        answer.stop();
        field = textOf(dlg, 1010);
        closeDialog(dlg, Close::Cancel);
    });
    QVERIFY(pickerSeen);
    QCOMPARE(pickerFolder, QDir::current().absolutePath());
    QCOMPARE(field, QStringLiteral("kept"));
}

void DialogsTest::fillAutoAndOdd() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.path();
    for (int n : {1, 2, 3, 7, 8})
        QVERIFY(writeBytes(frameName(folder, n), QByteArray("frame\xff") + QByteArray::number(n)));
    QVERIFY(writeBytes(frameName(folder, 1, "bmp"), "bmp"));
    std::vector<QString> messages;
    CDIALOG_FILL dlg(settings);
    dlg.setMessageSink([&](const QString& text) { messages.push_back(text); });
    bool open = false;
    runModal(dlg, [&] {
        typeInto(dlg, 1010, folder);
        click(dlg, 6);
        open = dlg.isVisible();
        closeDialog(dlg, Close::Ok);
    });
    QVERIFY(open);  // a fill leaves the dialog open
    QCOMPARE(messages, (std::vector<QString>{"Finished filling empty frame slots"}));
    for (int n : {4, 5, 6})
        QCOMPARE(readBytes(frameName(folder, n)), readBytes(frameName(folder, 3)));
    QVERIFY(!exists(frameName(folder, 9)));
    QVERIFY(!exists(frameName(folder, 2, "bmp")));
    QCOMPARE(dlg.lastReport().progress.copied, 3u);

    // The odd fill replaces 2 by 1 and 4 by 3.
    messages.clear();
    CDIALOG_FILL odd(settings);
    odd.setMessageSink([&](const QString& text) { messages.push_back(text); });
    runModal(odd, [&] {
        typeInto(odd, 1010, folder);
        click(odd, 5);
        closeDialog(odd, Close::Cancel);
    });
    QCOMPARE(messages, (std::vector<QString>{"Finished filling empty frame slots"}));
    QCOMPARE(readBytes(frameName(folder, 2)), readBytes(frameName(folder, 1)));
    QCOMPARE(readBytes(frameName(folder, 4)), readBytes(frameName(folder, 3)));

    // With BMP set, the BMP frame is the only one seen: nothing to fill, finished.
    settings.imageFormat = ImageFormat::kBmp;
    messages.clear();
    CDIALOG_FILL bmp(settings);
    bmp.setMessageSink([&](const QString& text) { messages.push_back(text); });
    runModal(bmp, [&] {
        typeInto(bmp, 1010, folder);
        click(bmp, 6);
        closeDialog(bmp, Close::Cancel);
    });
    QCOMPARE(messages, (std::vector<QString>{"Finished filling empty frame slots"}));
    QVERIFY(!exists(frameName(folder, 2, "bmp")));
}

void DialogsTest::fillFolderTextAsTyped() {
    // A relative folder is resolved against the current directory.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir("vid1"));
    const QString vid1 = dir.path() + "/vid1";
    QVERIFY(writeBytes(frameName(vid1, 1), "one"));
    QVERIFY(writeBytes(frameName(vid1, 3), "three"));
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    std::vector<QString> messages;
    CDIALOG_FILL dlg(settings);
    dlg.setMessageSink([&](const QString& text) { messages.push_back(text); });
    runModal(dlg, [&] {
        typeInto(dlg, 1010, "vid1");
        click(dlg, 6);
        typeInto(dlg, 1010, " vid1");  // not trimmed: no such folder
        click(dlg, 5);
        closeDialog(dlg, Close::Cancel);
    });
    QDir::setCurrent(before);
    QCOMPARE(readBytes(frameName(vid1, 2)), QByteArray("one"));
    QCOMPARE(messages.size(), std::size_t{2});
    QCOMPARE(dlg.lastReport().progress.copied, 0u);
}

void DialogsTest::fillFailureMessage() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.path();
    QVERIFY(writeBytes(frameName(folder, 1), "one"));
    QVERIFY(writeBytes(frameName(folder, 3), "three"));
    // The copy for 2 is made under its temporary name first, where a folder stands in the way.
    QVERIFY(QDir(folder).mkdir(QStringLiteral(".000002.jpg.part")));
    std::vector<QString> messages;
    CDIALOG_FILL dlg(settings);
    dlg.setMessageSink([&](const QString& text) { messages.push_back(text); });
    runModal(dlg, [&] {
        typeInto(dlg, 1010, folder);
        click(dlg, 5);
        closeDialog(dlg, Close::Cancel);
    });
    QCOMPARE(messages, (std::vector<QString>{"File Open:\nError: failed to open the file"}));
    QVERIFY(!exists(frameName(folder, 4)));
}

namespace {
// Files whose first copy waits until the test lets it go on, which shows that the window is
// served while a fill runs.
class HeldFiles final : public FillFiles {
  public:
    explicit HeldFiles(std::atomic<bool>& release) : release_(release) {}
    bool exists(const std::string& path) override { return files_.exists(path); }
    FolderCheck checkFolder(const std::string& folder, ImageFormat format) override {
        return files_.checkFolder(folder, format);
    }
    void startFill() override { files_.startFill(); }
    CopyResult copy(const std::string& source, const std::string& destination) override {
        while (!release_.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return files_.copy(source, destination);
    }

  private:
    std::atomic<bool>& release_;
    PosixFillFiles files_;
};
}  // namespace

void DialogsTest::fillProgressAndCancel() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.path();
    QVERIFY(writeBytes(frameName(folder, 1), "one\xff"));
    QVERIFY(writeBytes(frameName(folder, 3), "three"));
    std::vector<QString> messages;
    std::atomic<bool> release{false};
    CDIALOG_FILL dlg(settings);
    dlg.setMessageSink([&](const QString& text) { messages.push_back(text); });
    dlg.setFilesFactory([&] { return std::make_unique<HeldFiles>(release); });

    bool progressSeen = false, buttonsWaited = false, stayedOpen = false, fed = false;
    QString progressLabel;
    QTimer watch;
    watch.setInterval(20);
    connect(&watch, &QTimer::timeout, this, [&] {
        if (fed)
            return;
        auto* progress = dlg.findChild<QProgressDialog*>("fillProgress");
        if (!progress || !progress->isVisible())
            return;
        progressSeen = true;
        progressLabel = progress->labelText();
        buttonsWaited = !dlg.isItemEnabled(IDOK) && !dlg.isItemEnabled(6) && dlg.filling();
        dlg.clickItem(IDOK);  // ignored while the fill runs
        dlg.close();          // so is the close box
        stayedOpen = dlg.isVisible();
        auto* cancel = progress->findChild<QPushButton*>();
        if (cancel)
            QTest::mouseClick(cancel, Qt::LeftButton);
        // Now let the copy that is waiting finish.
        release = true;
        fed = true;
    });
    runModal(dlg, [&] {
        typeInto(dlg, 1010, folder);
        watch.start();
        click(dlg, 6);
        watch.stop();
        closeDialog(dlg, Close::Cancel);
    });
    QVERIFY(progressSeen);
    QVERIFY(progressLabel.contains("Frames examined"));
    QVERIFY(buttonsWaited);
    QVERIFY(stayedOpen);
    QVERIFY(fed);
    QCOMPARE(dlg.lastReport().outcome, FillOutcome::Cancelled);
    QCOMPARE(dlg.lastReport().progress.copied, 1u);  // the file being made was completed
    QCOMPARE(readBytes(frameName(folder, 2)), QByteArray("one\xff"));
    // A cancelled fill says how far it got.
    QCOMPARE(messages.size(), std::size_t{1});
    QCOMPARE(messages[0], QStringLiteral("Fill cancelled: 1 frames examined, 1 copied"));
    QVERIFY(!dlg.filling());
}

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
