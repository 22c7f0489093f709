// What the desktop program shows and takes beyond its menus: the live status and level meter in
// the status bar, the tray icon and its menu, the global keys (and their place in the Customize
// dialog and the workspace), the lock indicators fed by the desktop, the monitors of the
// "Capture area" menu, both sound sources, the window's fit to the screen and the context menu
// on the right button's release.
#include <QAction>
#include <QDialog>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <atomic>
#include <thread>

#include "framework/template_dialog.h"
#include "platform/clock.h"
#include "platform/fakes/fake_global_keys.h"
#include "recorder/state.h"
#include "resources/resources.h"
#include "shell/customize_dialog.h"
#include "shell/desktop_keys.h"
#include "shell/main_frame.h"
#include "shell/marrowdale_app.h"
#include "shell/marrowdale_view.h"
#include "shell/recording_feedback.h"
#include "tests/widget/common/modal_answerer.h"

using namespace marrowdale;

namespace {

// Workers that run until their stop flags are raised, counting how many run.
struct Running {
    std::atomic<int> screen{0};
    std::atomic<int> audio{0};
};

AppWorkers blockingWorkers(Running& running) {
    AppWorkers w;
    w.screen = [&running](UiBridge&, const WorkerStart&) {
        ++running.screen;
        RecorderState& s = recorderState();
        // The stop command raises screenStopped; closing the program the stop request.
        while (!s.stopScreenRequested.load() && !s.screenStopped.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        s.stopScreenRequested.store(0);
        s.screenStopped.store(1);
        s.screenFinished.store(1);
        --running.screen;
        return WorkerEnd{};
    };
    w.audio = [&running](UiBridge&, const WorkerStart&) {
        ++running.audio;
        RecorderState& s = recorderState();
        // As the real worker does: a stop seen before it began is forgotten.
        s.screenFinished.store(0);
        while (!s.stopAudioRequested.load() && !s.screenFinished.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        s.stopAudioRequested.store(0);
        --running.audio;
        return WorkerEnd{};
    };
    return w;
}

// The lock states a test sets, with word of the change through a pipe like the display's.
class FakeLocks final : public KeyboardLocks {
  public:
    explicit FakeLocks(LockStates initial) : states_(initial) {}
    LockStates states() override { return states_; }
    int fileDescriptor() const override { return -1; }
    bool dispatchPending(const std::function<void(const LockStates&)>&) override { return true; }

  private:
    LockStates states_;
};

KeyChord chord(const char* text) {
    return parseKeyChord(text).value_or(KeyChord{});
}

}  // namespace

class FeedbackTest : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();
    void statusBarAndTrayFollowTheRecording();
    void trayMenuRunsTheSameCommands();
    void globalKeysFireAndTakenOnesAreReported();
    void globalKeysAreChangedInCustomizeAndKeptWithTheWorkspace();
    void lockIndicatorsShowTheDesktopsStates();
    void monitorItemsSetTheCaptureArea();
    void bothSourcesCommand();
    void windowFitsTheScreen();
    void contextMenuOpensOnRelease();

  private:
    void start(PlatformServices platform = {});
    void stop();

    QTemporaryDir settingsDir_;
    QTemporaryDir workDir_;
    Running running_;
    std::unique_ptr<CMarrowdaleApp> app_;
    FakeGlobalKeys* keys_ = nullptr;  // owned by the app's global keys when given
};

void FeedbackTest::init() {
    resetToProcessStart(captureSettings(), recorderState());
    QVERIFY(QDir::setCurrent(workDir_.path()));
    QSettings(settingsDir_.filePath("marrowdale.ini"), QSettings::IniFormat).clear();
}

void FeedbackTest::cleanup() {
    stop();
}

void FeedbackTest::start(PlatformServices platform) {
    auto settings =
        std::make_unique<QSettings>(settingsDir_.filePath("marrowdale.ini"), QSettings::IniFormat);
    app_ = std::make_unique<CMarrowdaleApp>(blockingWorkers(running_), std::move(platform),
                                            std::move(settings));
    QVERIFY(app_->InitInstance({}));
}

void FeedbackTest::stop() {
    if (!app_)
        return;
    app_->mainFrame()->close();
    app_.reset();
    keys_ = nullptr;
    QCOMPARE(running_.screen.load() + running_.audio.load(), 0);
}

void FeedbackTest::statusBarAndTrayFollowTheRecording() {
    start();
    RecordingFeedback* feedback = app_->recordingFeedback();
    QVERIFY(feedback);
    feedback->refresh();
    QVERIFY(!feedback->statusLabel()->isVisibleTo(app_->mainFrame()));
    QCOMPARE(int(feedback->trayState()), int(TrayState::kIdle));

    // Screen and sound: the time, the sizes and the meter with the sound mixer's level.
    app_->mainFrame()->executeCommand(res::ID_START_BOTH);
    QTRY_VERIFY(running_.screen.load() == 1 && running_.audio.load() == 1);
    SoundLevel& mixer = soundLevel(recorderState(), SoundSource::kMixer);
    mixer.peak.store(0.5f);
    mixer.rms.store(0.25f);
    mixer.time100ns.store(MonotonicClock().now100ns());
    feedback->refresh();
    QCOMPARE(int(feedback->trayState()), int(TrayState::kBoth));
    QVERIFY(feedback->statusLabel()->isVisibleTo(app_->mainFrame()));
    QVERIFY2(feedback->statusLabel()->text().startsWith("Recording screen and sound  0:00:0"),
             qPrintable(feedback->statusLabel()->text()));
    QVERIFY(feedback->statusLabel()->text().contains(" free"));
    QVERIFY(feedback->levelMeter()->isVisibleTo(app_->mainFrame()));
    const LiveStatus::Level shown = feedback->levelMeter()->levels().levels[0];
    QVERIFY(shown.fresh);
    QCOMPARE(shown.peak, 0.5f);
    QCOMPARE(shown.rms, 0.25f);
    QVERIFY(!feedback->levelMeter()->levels().levels[1].fresh);
    QVERIFY(feedback->levelMeter()->toolTip().contains("Sound mixer: peak -6.0 dB"));
    QVERIFY(feedback->trayIcon()->toolTip().contains("Recording screen and sound"));

    app_->mainFrame()->executeCommand(res::ID_STOP_RECORDING);
    QTRY_VERIFY(running_.screen.load() == 0 && running_.audio.load() == 0);
    // The session joins its workers as the next refresh asks.
    QTRY_VERIFY((feedback->refresh(), feedback->trayState() == TrayState::kIdle));
    QVERIFY(!feedback->statusLabel()->isVisibleTo(app_->mainFrame()));
    QVERIFY(!feedback->levelMeter()->isVisibleTo(app_->mainFrame()));

    // Sound alone shows its state like the others (its dialog answered with OK).
    {
        testing::ModalAnswerer answer([](QWidget* w) {
            if (auto* dialog = qobject_cast<TemplateDialog*>(w))
                dialog->clickItem(IDOK);
        });
        app_->mainFrame()->executeCommand(res::ID_RECORD_AUDIO);
    }
    QTRY_VERIFY(running_.audio.load() == 1);
    feedback->refresh();
    QCOMPARE(int(feedback->trayState()), int(TrayState::kSound));
    QVERIFY(feedback->statusLabel()->text().startsWith("Recording sound"));
    app_->mainFrame()->executeCommand(res::ID_STOP_RECORDING);
    QTRY_VERIFY(running_.audio.load() == 0);
}

void FeedbackTest::trayMenuRunsTheSameCommands() {
    start();
    RecordingFeedback* feedback = app_->recordingFeedback();
    CMainFrame* frame = app_->mainFrame();
    QMenu* menu = feedback->trayMenu();
    QVERIFY(menu);
    for (int id : {res::ID_RECORD, res::ID_START_BOTH, res::ID_RECORD_AUDIO, res::ID_STOP_RECORDING,
                   res::ID_APP_EXIT})
        QVERIFY2(feedback->trayAction(id), qPrintable(QString::number(id)));
    QVERIFY(feedback->showWindowAction());

    // Minimise and start the screen: the tray starts it, stops it and brings the window back.
    frame->executeCommand(res::ID_MIN_START_SCREEN);
    QTRY_VERIFY(running_.screen.load() == 1);
    feedback->trayAction(res::ID_STOP_RECORDING)->trigger();
    QTRY_VERIFY(running_.screen.load() == 0);
    feedback->showWindowAction()->trigger();
    QVERIFY(!frame->isMinimized());
    feedback->trayAction(res::ID_RECORD)->trigger();
    QTRY_VERIFY(running_.screen.load() == 1);
    QCOMPARE(int(feedback->trayState()), int(TrayState::kScreen));
    // The menu's items are enabled as the frame's commands are.
    emit menu->aboutToShow();
    QVERIFY(feedback->trayAction(res::ID_STOP_RECORDING)->isEnabled());
    feedback->trayAction(res::ID_STOP_RECORDING)->trigger();
    QTRY_VERIFY(running_.screen.load() == 0);
    // Quit closes the program's window, as Exit does.
    feedback->trayAction(res::ID_APP_EXIT)->trigger();
    QTRY_VERIFY(!frame->isVisible());
}

void FeedbackTest::globalKeysFireAndTakenOnesAreReported() {
    PlatformServices platform;
    FakeGlobalKeys** seen = &keys_;
    platform.globalKeys = [seen](std::string*) -> std::unique_ptr<GlobalKeys> {
        auto keys = std::make_unique<FakeGlobalKeys>();
        // Another program holds the default stop keys.
        keys->taken.push_back(chord("Ctrl+Alt+Shift+X"));
        *seen = keys.get();
        return keys;
    };
    start(std::move(platform));
    QVERIFY(keys_);
    GlobalShortcuts* global = app_->globalShortcuts();
    QCOMPARE(keys_->grabs.size(), std::size_t(2));
    QCOMPARE(keys_->grabs.at(res::ID_RECORD), chord("Ctrl+Alt+Shift+V"));
    QCOMPARE(keys_->grabs.at(res::ID_START_BOTH), chord("Ctrl+Alt+Shift+B"));
    QCOMPARE(int(global->state(res::ID_STOP_RECORDING)), int(GlobalShortcuts::State::kTaken));
    const QString said = app_->mainFrame()->statusBar()->currentMessage();
    QVERIFY2(said.contains("Stop recording") && said.contains("held by another program"),
             qPrintable(said));

    // A press anywhere on the desktop runs the command, whatever window has the focus.
    keys_->press(chord("Ctrl+Alt+Shift+B"));
    QTRY_VERIFY(running_.screen.load() == 1 && running_.audio.load() == 1);
    // The stop gets other keys; the new ones work.
    QCOMPARE(int(global->setKeys(res::ID_STOP_RECORDING, QKeySequence("Ctrl+Alt+Shift+Z"))),
             int(GlobalShortcuts::State::kActive));
    keys_->press(chord("Ctrl+Alt+Shift+Z"));
    QTRY_VERIFY(running_.screen.load() == 0 && running_.audio.load() == 0);
    // Keys given to another global command move to it; a sequence of two chords cannot be had.
    global->setKeys(res::ID_RECORD, QKeySequence("Ctrl+Alt+Shift+Z"));
    QVERIFY(global->keys(res::ID_STOP_RECORDING).isEmpty());
    QCOMPARE(keys_->grabs.count(res::ID_STOP_RECORDING), std::size_t(0));
    QCOMPARE(int(global->setKeys(res::ID_START_BOTH, QKeySequence("Ctrl+K, Ctrl+L"))),
             int(GlobalShortcuts::State::kUnusable));
    QVERIFY(global->problems().contains("Record screen and sound"));
}

void FeedbackTest::globalKeysAreChangedInCustomizeAndKeptWithTheWorkspace() {
    PlatformServices platform;
    FakeGlobalKeys** seen = &keys_;
    platform.globalKeys = [seen](std::string*) -> std::unique_ptr<GlobalKeys> {
        auto keys = std::make_unique<FakeGlobalKeys>();
        keys->taken.push_back(chord("Ctrl+Alt+F8"));
        *seen = keys.get();
        return keys;
    };
    start(platform);
    app_->mainFrame()->executeCommand(res::ID_VIEW_CUSTOMIZE);
    auto* dialog = app_->mainFrame()->findChild<CustomizeDialog*>();
    QVERIFY(dialog);
    GlobalKeysGroup* group = dialog->globalKeysGroup();
    QVERIFY(group);
    QCOMPARE(group->list()->topLevelItemCount(), 3);
    // Row 2 is the stop: new keys, and keys another program holds, which the group reports.
    group->list()->setCurrentItem(group->list()->topLevelItem(2));
    group->newKeysEdit()->setKeySequence(QKeySequence("Ctrl+Alt+F8"));
    group->assignKeys();
    QVERIFY(group->resultLabel()->text().contains("Held by another program"));
    QCOMPARE(group->list()->topLevelItem(2)->text(2), QStringLiteral("Held by another program"));
    group->newKeysEdit()->setKeySequence(QKeySequence("Ctrl+Alt+F9"));
    group->assignKeys();
    QCOMPARE(keys_->grabs.at(res::ID_STOP_RECORDING), chord("Ctrl+Alt+F9"));
    // The first command without keys at all.
    group->list()->setCurrentItem(group->list()->topLevelItem(0));
    group->removeKeys();
    QCOMPARE(keys_->grabs.count(res::ID_RECORD), std::size_t(0));
    dialog->close();
    stop();

    // The next start has them back.
    start(platform);
    QCOMPARE(keys_->grabs.at(res::ID_STOP_RECORDING), chord("Ctrl+Alt+F9"));
    QCOMPARE(keys_->grabs.count(res::ID_RECORD), std::size_t(0));
    QCOMPARE(keys_->grabs.at(res::ID_START_BOTH), chord("Ctrl+Alt+Shift+B"));
    app_->globalShortcuts()->resetAll();
    QCOMPARE(keys_->grabs.at(res::ID_RECORD), chord("Ctrl+Alt+Shift+V"));
}

void FeedbackTest::lockIndicatorsShowTheDesktopsStates() {
    PlatformServices platform;
    platform.keyboardLocks = [](std::string*) -> std::unique_ptr<KeyboardLocks> {
        return std::make_unique<FakeLocks>(LockStates{false, true, true});
    };
    start(std::move(platform));
    CMainFrame* frame = app_->mainFrame();
    QVERIFY(!frame->indicator(0)->isEnabled());
    QVERIFY(frame->indicator(1)->isEnabled());
    QVERIFY(frame->indicator(2)->isEnabled());
    // A lock key this window sees does not turn them: the desktop's word holds.
    QTest::keyClick(frame, Qt::Key_CapsLock);
    QVERIFY(!frame->indicator(0)->isEnabled());
    frame->setLockStates(LockStates{true, false, true});
    QVERIFY(frame->indicator(0)->isEnabled());
    QVERIFY(!frame->indicator(1)->isEnabled());
}

void FeedbackTest::monitorItemsSetTheCaptureArea() {
    PlatformServices platform;
    platform.monitors = [](std::string*) -> std::optional<std::vector<MonitorArea>> {
        return std::vector<MonitorArea>{{"left", 0, 0, 1280, 1024, true},
                                        {"right", 1280, 0, 1920, 1080, false}};
    };
    start(std::move(platform));
    QMenu* area = nullptr;
    for (QAction* a : app_->mainFrame()->menuBar()->actions())
        if (a->text() == QLatin1String("Capture &area"))
            area = a->menu();
    QVERIFY(area);
    // Opened twice: the items are made afresh, not added again.
    emit area->aboutToShow();
    emit area->aboutToShow();
    QStringList texts;
    for (QAction* a : area->actions())
        texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    QCOMPARE(texts, QStringList({"Fixed size", "-", "left (1280x1024 at 0,0)",
                                 "right (1920x1080 at 1280,0)"}));
    area->actions().at(3)->trigger();
    const CaptureSettings& s = captureSettings();
    QCOMPARE(s.captureLeft.load(), 1280);
    QCOMPARE(s.captureTop.load(), 0);
    QCOMPARE(s.captureRight.load(), 3200);
    QCOMPARE(s.captureBottom.load(), 1080);
    CMarrowdaleView* view = app_->mainFrame()->activeView();
    QCOMPARE(view->shownLeft, 1280);
    QCOMPARE(view->shownRight, 3200);
    QCOMPARE(view->shownBottom, 1080);
}

void FeedbackTest::bothSourcesCommand() {
    start();
    CMainFrame* frame = app_->mainFrame();
    QCOMPARE(int(frame->commandState(res::ID_AUDIO_BOTH).mark), int(CommandUi::Mark::None));
    frame->executeCommand(res::ID_AUDIO_BOTH);
    QCOMPARE(captureSettings().audioStreamFlags.load(), kAudioStreamFlagsBoth);
    QCOMPARE(int(frame->commandState(res::ID_AUDIO_BOTH).mark), int(CommandUi::Mark::Check));
}

void FeedbackTest::windowFitsTheScreen() {
    // The rectangle is made to fit and moved inside, whatever side it stood out on.
    const QRect screen(0, 0, 960, 540);
    const struct {
        QRect wanted;
        QRect fitted;
    } cases[] = {
        {{0, 0, 1000, 700}, {0, 0, 960, 540}},
        {{100, 50, 400, 300}, {100, 50, 400, 300}},
        {{800, 400, 400, 300}, {560, 240, 400, 300}},
        {{-50, -20, 400, 300}, {0, 0, 400, 300}},
    };
    for (const auto& c : cases)
        QCOMPARE(fitRectInto(c.wanted, screen), c.fitted);
    // The program's window, made 1000x700 at first, fits the offscreen screen.
    start();
    CMainFrame* frame = app_->mainFrame();
    const QRect available = frame->screen()->availableGeometry();
    QVERIFY(available.width() < 1000 || available.height() < 700);
    QVERIFY(frame->width() <= available.width());
    QVERIFY(frame->height() <= available.height());

    // A dialog larger than the screen, or placed off it, opens inside the screen's free area.
    for (const QRect& asked : {QRect(0, 0, 2000, 1500), QRect(5000, 4000, 300, 200)}) {
        QDialog dialog(frame);
        dialog.setGeometry(asked);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY2(available.contains(dialog.geometry()), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                                       .arg(dialog.x())
                                                                       .arg(dialog.y())
                                                                       .arg(dialog.width())
                                                                       .arg(dialog.height())));
        dialog.close();
    }
}

void FeedbackTest::contextMenuOpensOnRelease() {
    start();
    CMarrowdaleView* view = app_->mainFrame()->activeView();
    int requests = 0;
    connect(view, &CMarrowdaleView::contextMenuRequested, this, [&requests] { ++requests; });
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [this] {
        if (QMenu* menu = app_->mainFrame()->openPopupMenu())
            menu->close();
    });
    closer.start(50);
    QTest::mousePress(view, Qt::RightButton, {}, QPoint(30, 40));
    QContextMenuEvent byMouse(QContextMenuEvent::Mouse, QPoint(30, 40),
                              view->mapToGlobal(QPoint(30, 40)));
    QCoreApplication::sendEvent(view, &byMouse);
    QCOMPARE(requests, 0);
    QTest::mouseRelease(view, Qt::RightButton, {}, QPoint(30, 40));
    QCOMPARE(requests, 1);
}

QTEST_MAIN(FeedbackTest)
#include "test_feedback.moc"
