// The dialog commands as the program routes them: each command id opens its dialog from the
// main frame's actions, and "Record audio only" starts the audio worker only after "Start
// recording".
#include <QAction>
#include <QDir>
#include <QListWidget>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "framework/qt_ui_bridge.h"
#include "framework/template_dialog.h"
#include "platform/loader/platform_loader.h"
#include "recorder/state.h"
#include "resources/resources.h"
#include "shell/main_frame.h"
#include "shell/marrowdale_app.h"
#include "shell/marrowdale_view.h"
#include "tests/widget/common/modal_answerer.h"

using namespace marrowdale;

namespace {

struct WorkerLog {
    std::mutex mutex;
    QStringList started;
    QStringList take() {
        std::lock_guard lock(mutex);
        return started;
    }
};

// Workers that record their start and end when the flags tell them to, as the real ones do.
AppWorkers fakeWorkers(WorkerLog& log) {
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
        return WorkerEnd{};
    };
    w.audio = [&log](UiBridge&, const WorkerStart& start) {
        const std::string& cwd = start.folder;
        {
            std::lock_guard lock(log.mutex);
            log.started << "audio:" + QString::fromStdString(cwd);
        }
        RecorderState& s = recorderState();
        s.screenFinished.store(0);
        while (!s.screenFinished.load() && !s.stopAudioRequested.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        s.stopAudioRequested.store(0);
        return WorkerEnd{};
    };
    return w;
}

}  // namespace

class DialogCommandsTest : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();
    void eachCommandOpensItsDialog_data();
    void eachCommandOpensItsDialog();
    void recordAudioOnlyStartsAfterStartRecording();
    void codecListShowsTheProgramsCodecs();
    void fixedSizeRefreshesTheViewsCopy();

  private:
    void trigger(int id) {
        QAction* action = app_->mainFrame()->commandAction(id);
        QVERIFY2(action, qPrintable(QString("no action for %1").arg(id)));
        app_->mainFrame()->updateCommandStates();
        QVERIFY2(action->isEnabled(), qPrintable(QString("command %1 disabled").arg(id)));
        action->trigger();
    }
    void stopAll() {
        recorderState().screenStopped.store(1);
        recorderState().screenFinished.store(1);
        app_->workers().waitForAll(std::chrono::milliseconds(5000),
                                   [this] { app_->uiBridge().runPending(); });
    }

    QTemporaryDir settingsDir_;
    QTemporaryDir workDir_;
    QString originalCwd_;
    WorkerLog log_;
    std::unique_ptr<CMarrowdaleApp> app_;
};

void DialogCommandsTest::init() {
    QVERIFY(settingsDir_.isValid());
    QVERIFY(workDir_.isValid());
    originalCwd_ = QDir::currentPath();
    QVERIFY(QDir::setCurrent(workDir_.path()));
    resetToProcessStart(captureSettings(), recorderState());
    {
        std::lock_guard lock(log_.mutex);
        log_.started.clear();
    }
    auto settings =
        std::make_unique<QSettings>(settingsDir_.filePath("marrowdale.ini"), QSettings::IniFormat);
    settings->clear();
    // The program's own platform services: the codec list reads the real catalogue.
    app_ = std::make_unique<CMarrowdaleApp>(fakeWorkers(log_), loadPlatformServices(),
                                            std::move(settings));
    QVERIFY(app_->InitInstance({}));
}

void DialogCommandsTest::cleanup() {
    stopAll();
    app_.reset();
    QVERIFY(QDir::setCurrent(originalCwd_));
}

void DialogCommandsTest::eachCommandOpensItsDialog_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("title");
    QTest::newRow("32784") << 32784 << "Frame rate";
    QTest::newRow("32788") << 32788 << "Frame rate";
    QTest::newRow("32786") << 32786 << "Set the maximum number of frames in each recording";
    QTest::newRow("32787") << 32787 << "Set the maximum number of frames in each recording";
    QTest::newRow("32790") << 32790 << "Screen Record Mode";
    QTest::newRow("32791") << 32791 << "Screen Record Mode";
    QTest::newRow("32797") << 32797 << "Set the capture area";
    QTest::newRow("32780") << 32780 << "Marrowdale Audio record";
    QTest::newRow("32792") << 32792 << "Marrowdale - Select audio input source";
    QTest::newRow("32781") << 32781 << "Dialog";
    QTest::newRow("32785") << 32785 << "Marrowdale - Fill in skipped frames";
    QTest::newRow("32789") << 32789 << "Marrowdale - Fill in skipped frames";
}

void DialogCommandsTest::eachCommandOpensItsDialog() {
    QFETCH(int, command);
    QFETCH(QString, title);
    QList<int> templates;
    testing::ModalAnswerer answerer([&](QWidget* w) {
        if (auto* dlg = qobject_cast<TemplateDialog*>(w)) {
            templates << dlg->templateId();
            dlg->endDialog(IDCANCEL);
        }
    });
    const std::uint32_t period = captureSettings().framePeriod;
    trigger(command);
    QCOMPARE(answerer.dialogTitles, QStringList{title});
    QCOMPARE(templates.size(), 1);
    QVERIFY(answerer.texts.isEmpty());
    QCOMPARE(captureSettings().framePeriod.load(), period);  // cancelled: nothing changed
    QVERIFY(log_.take().isEmpty());                          // no worker after Cancel
}

void DialogCommandsTest::recordAudioOnlyStartsAfterStartRecording() {
    {
        testing::ModalAnswerer answerer([](QWidget* w) {
            if (auto* dlg = qobject_cast<TemplateDialog*>(w))
                dlg->clickItem(IDOK);  // "Start recording"
        });
        trigger(res::ID_RECORD_AUDIO);
        QCOMPARE(answerer.dialogTitles, QStringList{"Marrowdale Audio record"});
    }
    QTRY_COMPARE(log_.take(), QStringList{"audio:" + QDir::currentPath()});
    QVERIFY(app_->workers().audioWorkerRunning());

    // A second start while that worker runs is refused.
    {
        testing::ModalAnswerer answerer([](QWidget* w) {
            if (auto* dlg = qobject_cast<TemplateDialog*>(w))
                dlg->clickItem(IDOK);
        });
        trigger(res::ID_RECORD_AUDIO);
        QCOMPARE(answerer.texts, QStringList{"A recording is already running."});
    }
    QCOMPARE(log_.take().size(), 1);
}

void DialogCommandsTest::codecListShowsTheProgramsCodecs() {
    QStringList lines;
    testing::ModalAnswerer answerer([&](QWidget* w) {
        auto* dlg = qobject_cast<TemplateDialog*>(w);
        if (!dlg)
            return;
        if (QListWidget* list = dlg->listBox(1000))
            for (int i = 0; i < list->count(); ++i)
                lines << list->item(i)->text();
        dlg->endDialog(IDOK);
    });
    trigger(res::ID_LIST_CODECS);
    QVERIFY(lines.size() > 3);
    QCOMPARE(lines.value(0), QStringLiteral("System Codecs"));
    QVERIFY(lines.value(1).startsWith(QStringLiteral("Number of audio codecs: ")));
}

void DialogCommandsTest::fixedSizeRefreshesTheViewsCopy() {
    testing::ModalAnswerer answerer([](QWidget* w) {
        if (auto* dlg = qobject_cast<TemplateDialog*>(w)) {
            dlg->clickItem(1015);  // "1280 by 720"
            dlg->clickItem(IDOK);
        }
    });
    CMarrowdaleView* view = app_->mainFrame()->activeView();
    QVERIFY(view);
    trigger(res::ID_FIXED_SIZE);
    QCOMPARE(captureSettings().captureRight.load(), 1380);
    QCOMPARE(captureSettings().captureBottom.load(), 820);
    QCOMPARE(view->shownRight, 1380);
    QCOMPARE(view->shownBottom, 820);
}

QTEST_MAIN(DialogCommandsTest)
#include "commands_test.moc"
