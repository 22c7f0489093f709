// The desktop program's shell: menus, toolbar, accelerators and command states, the document
// and view life cycle, the status display, printing, and the recording commands as the user
// reaches them.
#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QWidgetAction>
#include <QtTest>
#include <atomic>
#include <mutex>
#include <thread>

#include "framework/qt_ui_bridge.h"
#include "framework/template_dialog.h"
#include "recorder/state.h"
#include "resources/resources.h"
#include "shell/child_frame.h"
#include "shell/main_frame.h"
#include "shell/marrowdale_app.h"
#include "shell/marrowdale_doc.h"
#include "shell/marrowdale_view.h"
#include "shell/recording_summary_watch.h"
#include "tests/widget/common/modal_answerer.h"

using namespace marrowdale;

namespace {

// One expected menu entry: "-" is a separator, ">" starts a submenu (closed by "<").
struct Entry {
    const char* text;
    int id;
};

const std::vector<Entry> kFileMenu128 = {{"&New\tCtrl+N", 57600},
                                         {"&Open...\tCtrl+O", 57601},
                                         {"&Close", 57602},
                                         {"-", 0},
                                         {"P&rint Setup...", 57606},
                                         {"-", 0},
                                         {"Recent File", 57616},
                                         {"-", 0},
                                         {"E&xit", 57665}};
const std::vector<Entry> kFileMenu130 = {{"&New\tCtrl+N", 57600},
                                         {"&Open...\tCtrl+O", 57601},
                                         {"&Close", 57602},
                                         {"&Save\tCtrl+S", 57603},
                                         {"Save &As...", 57604},
                                         {"-", 0},
                                         {"&Print...\tCtrl+P", 57607},
                                         {"Print Pre&view", 57609},
                                         {"P&rint Setup...", 57606},
                                         {"-", 0},
                                         {"Recent File", 57616},
                                         {"-", 0},
                                         {"E&xit", 57665}};
const std::vector<Entry> kEditMenu = {{"&Undo\tCtrl+Z", 57643},
                                      {"-", 0},
                                      {"Cu&t\tCtrl+X", 57635},
                                      {"&Copy\tCtrl+C", 57634},
                                      {"&Paste\tCtrl+V", 57637}};
const std::vector<Entry> kViewMenu = {{">&Toolbars and Docking Windows", 0},
                                      {"<placeholder>", 59392},
                                      {"<", 0},
                                      {"&Status Bar", 59393},
                                      {">&Application Look", 0},
                                      {"Windows &2000", 205},
                                      {"Office &XP", 206},
                                      {"&Windows XP", 207},
                                      {"Office 200&3", 208},
                                      {"Visual Studio 200&5", 209},
                                      {"Visual Studio 200&8", 210},
                                      {">Office 200&7", 0},
                                      {"&Blue Style", 215},
                                      {"B&lack Style", 216},
                                      {"&Silver Style", 217},
                                      {"&Aqua Style", 218},
                                      {"<", 0},
                                      {"<", 0}};
const std::vector<Entry> kWindowMenu = {
    {"&New Window", 57648}, {"&Cascade", 57650}, {"&Tile", 57651}, {"&Arrange Icons", 57649}};
const std::vector<Entry> kCommandMenu = {
    {"&Select screen capture area", 32773},
    {"St&op recording", 32774},
    {"&Change settings", 32779},
    {"Set video capture &frame rate", 32782},
    {"Frame capture &options", 32784},
    {"&Fill skipped frames", 32785},
    {"&Export video...", 32798},
    {"Set &maximum frames or time", 32786},
    {"Set the screen frames capture &mode", 32791},
    {"Set the audio input source", 32792},
    {"Sound mixer and microphone", 32799},
    {"Minimize the program and start &recording only the screen.", 32795},
    {"Minimize the program and start recording both the screen and audio", 32796}};
const std::vector<Entry> kAreaMenu = {{"Fixed size", 32797}};
const std::vector<Entry> kHelpMenu = {{"&About Marrowdale...", 57664}};

// Flattens a menu into entries in the notation above.
void flatten(QMenu* menu, std::vector<std::pair<QString, int>>& out) {
    for (QAction* a : menu->actions()) {
        if (a->isSeparator()) {
            out.emplace_back("-", 0);
        } else if (a->menu()) {
            out.emplace_back(">" + a->text(), 0);
            flatten(a->menu(), out);
            out.emplace_back("<", 0);
        } else {
            out.emplace_back(a->text(), a->data().toInt());
        }
    }
}

std::vector<std::pair<QString, int>> expected(const std::vector<Entry>& entries) {
    std::vector<std::pair<QString, int>> out;
    for (const auto& e : entries)
        out.emplace_back(QString::fromUtf8(e.text), e.id);
    return out;
}

QMenu* topMenu(CMainFrame* frame, const QString& title) {
    for (QAction* a : frame->menuBar()->actions())
        if (a->text() == title)
            return a->menu();
    return nullptr;
}

QStringList menuTitles(CMainFrame* frame) {
    QStringList out;
    for (QAction* a : frame->menuBar()->actions())
        out << a->text();
    return out;
}

// Workers that run until the flags tell them to end, as the real ones do.
struct FakeWorkerLog {
    std::mutex mutex;
    QStringList started;
    std::atomic<int> running{0};
    std::atomic<bool> sawStopRequest{false};
    QStringList take() {
        std::lock_guard lock(mutex);
        return started;
    }
};

AppWorkers fakeWorkers(FakeWorkerLog& log) {
    AppWorkers w;
    w.screen = [&log](UiBridge& ui, const WorkerStart& start) {
        const std::string& cwd = start.folder;
        {
            std::lock_guard lock(log.mutex);
            log.started << "screen:" + QString::fromStdString(cwd);
        }
        ++log.running;
        RecorderState& s = recorderState();
        for (;;) {
            if (s.stopScreenRequested.load()) {
                s.stopScreenRequested.store(0);
                log.sawStopRequest = true;
                break;
            }
            if (s.screenStopped.load())
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        s.screenStopped.store(1);
        s.screenFinished.store(1);
        // A worker's end step goes through the bridge while the GUI thread may be waiting.
        if (WindowHandle t = s.titleWindow.load())
            ui.setWindowTitle(t, "Marrowdale stopped");
        --log.running;
        return WorkerEnd{};
    };
    w.audio = [&log](UiBridge&, const WorkerStart& start) {
        const std::string& cwd = start.folder;
        {
            std::lock_guard lock(log.mutex);
            log.started << "audio:" + QString::fromStdString(cwd);
        }
        ++log.running;
        RecorderState& s = recorderState();
        while (!s.screenFinished.load() && !s.stopAudioRequested.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        s.stopAudioRequested.store(0);
        s.statusCode.store(StatusCode::kAudioStopped);
        --log.running;
        return WorkerEnd{};
    };
    return w;
}

// The rows of an image that hold the status band colour at column x.
QList<int> bandRows(const QImage& image, int x) {
    QList<int> rows;
    for (int y = 0; y < image.height(); ++y)
        if (image.pixelColor(x, y) == QColor(50, 50, 50))
            rows << y;
    return rows;
}

int bandWidth(const QImage& image, int y) {
    int x = 15;
    while (x < image.width() && image.pixelColor(x, y) != QColor(50, 50, 50) &&
           image.pixelColor(x, y) != QColor(200, 200, 200))
        ++x;
    int right = x;
    for (int i = x; i < image.width(); ++i) {
        const QColor c = image.pixelColor(i, y);
        if (c == QColor(50, 50, 50) || c == QColor(200, 200, 200) ||
            (c.red() == c.green() && c.green() == c.blue() && c.red() > 50 && c.red() < 200))
            right = i;
        else if (i > right + 2)
            break;
    }
    return right - 15 + 1;
}

QImage renderStatus(CMarrowdaleView* view) {
    QImage image(400, 200, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    view->OnDraw(painter);
    painter.end();
    return image;
}

}  // namespace

class ShellTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startsWithOneDocumentAndMenu130();
    void menu130MatchesTable();
    void menu128WithoutDocument();
    void toolbarMatchesTable();
    void acceleratorsMatchTable();
    void promptsAndTooltips();
    void enabledStatesWithDocument();
    void enabledStatesWithoutDocument();
    void menuAndButtonPairsReachSameHandler();
    void changeSettingsDoesNothingWrenchStops();
    void newViewResetsPeriodAndOption();
    void statusDisplayRendering();
    void viewWithoutDocumentPaintsNothing();
    void startAndStopThroughCommands();
    void startBothAndAudioEnd();
    void summaryAfterStopAndEarlierRecordingMovedAside();
    void longCurrentDirectoryIsRefused();
    void secondStartIsRefused();
    void areaWithoutSizeIsRefused();
    void closingViewStopsAndWaitsForWorkers();
    void printingToPdfShowsStatus();
    void contextMenuHasThreeDisabledItems();
    void documentsSaveEmptyAndOpenByName();
    void windowsDialogActivates();
    void aboutBox();
    void mediaKeysIgnored();
    void lockIndicatorsFollowKeys();

  private:
    CMarrowdaleView* activeView() { return app_->mainFrame()->activeView(); }
    void trigger(int id) {
        QAction* a = app_->mainFrame()->commandAction(id);
        app_->mainFrame()->updateCommandStates();
        QVERIFY2(a->isEnabled(), qPrintable(QString("command %1 disabled").arg(id)));
        a->trigger();
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
    FakeWorkerLog log_;
    std::unique_ptr<CMarrowdaleApp> app_;
};

void ShellTest::initTestCase() {
    QVERIFY(settingsDir_.isValid());
    QVERIFY(workDir_.isValid());
    originalCwd_ = QDir::currentPath();
}

void ShellTest::init() {
    resetToProcessStart(captureSettings(), recorderState());
    QVERIFY(QDir::setCurrent(workDir_.path()));
    {
        std::lock_guard lock(log_.mutex);
        log_.started.clear();
    }
    log_.sawStopRequest = false;
    auto settings =
        std::make_unique<QSettings>(settingsDir_.filePath("marrowdale.ini"), QSettings::IniFormat);
    settings->clear();
    app_ = std::make_unique<CMarrowdaleApp>(fakeWorkers(log_), PlatformServices{},
                                            std::move(settings));
    QVERIFY(app_->InitInstance({}));
}

void ShellTest::cleanup() {
    stopAll();
    app_.reset();
    QVERIFY(QDir::setCurrent(originalCwd_));
}

void ShellTest::startsWithOneDocumentAndMenu130() {
    CMainFrame* frame = app_->mainFrame();
    QVERIFY(frame->isVisible());
    QCOMPARE(app_->documents().size(), std::size_t(1));
    QCOMPARE(frame->childFrames().size(), std::size_t(1));
    QVERIFY(activeView());
    QCOMPARE(frame->shownMenuId(), 130);
    QCOMPARE(frame->windowTitle(), QStringLiteral("Marrowdale - Marrowdale1"));
    QCOMPARE(frame->childFrames().front()->windowTitle(), QStringLiteral("Marrowdale1"));
    QCOMPARE(frame->messagePane()->text(), QStringLiteral("Ready"));
    QCOMPARE(frame->indicator(0)->text(), QStringLiteral("CAP"));
    QCOMPARE(frame->indicator(1)->text(), QStringLiteral("NUM"));
    QCOMPARE(frame->indicator(2)->text(), QStringLiteral("SCRL"));
}

void ShellTest::menu130MatchesTable() {
    CMainFrame* frame = app_->mainFrame();
    QCOMPARE(menuTitles(frame), QStringList({"&File", "&Edit", "&View", "&Window", "Command",
                                             "Capture &area", "&Help"}));
    const std::vector<std::pair<const char*, const std::vector<Entry>*>> menus = {
        {"&File", &kFileMenu130},  {"&Edit", &kEditMenu},      {"&View", &kViewMenu},
        {"&Window", &kWindowMenu}, {"Command", &kCommandMenu}, {"Capture &area", &kAreaMenu},
        {"&Help", &kHelpMenu}};
    for (const auto& [title, entries] : menus) {
        std::vector<std::pair<QString, int>> got;
        emit topMenu(frame, title)->aboutToShow();  // as when the user opens it
        flatten(topMenu(frame, title), got);
        std::vector<std::pair<QString, int>> want = expected(*entries);
        if (QLatin1String(title) == QLatin1String("&Window")) {
            // The framework's part: the document windows and "&Windows...".
            want.emplace_back("-", 0);
            want.emplace_back("&1 Marrowdale1", 0);
            want.emplace_back("&Windows...", 131);
        }
        QCOMPARE(got, want);
    }
    // The window list follows the windows when the menu opens.
    trigger(res::ID_FILE_NEW);
    QMenu* window = topMenu(frame, "&Window");
    emit window->aboutToShow();
    std::vector<std::pair<QString, int>> got;
    flatten(window, got);
    QCOMPARE(got.size(), kWindowMenu.size() + 4);
    QCOMPARE(got[kWindowMenu.size() + 2].first, QStringLiteral("&2 Marrowdale2"));
    QVERIFY(window->actions()[int(kWindowMenu.size()) + 2]->isChecked());
    QVERIFY(!window->actions()[int(kWindowMenu.size()) + 1]->isChecked());
    window->actions()[int(kWindowMenu.size()) + 1]->trigger();
    QCOMPARE(frame->activeDocument()->title(), QStringLiteral("Marrowdale1"));
    // The recent-file placeholder is shown disabled while the list is empty.
    for (QAction* a : topMenu(frame, "&File")->actions())
        if (a->text() == "Recent File")
            QVERIFY(!a->isEnabled());
}

void ShellTest::menu128WithoutDocument() {
    CMainFrame* frame = app_->mainFrame();
    for (CChildFrame* f : frame->childFrames())
        f->close();
    QTRY_COMPARE(frame->childFrames().size(), std::size_t(0));
    QTRY_COMPARE(frame->shownMenuId(), 128);
    QCOMPARE(menuTitles(frame), QStringList({"&File", "&View", "&Help"}));
    std::vector<std::pair<QString, int>> got;
    flatten(topMenu(frame, "&File"), got);
    QCOMPARE(got, expected(kFileMenu128));
    got.clear();
    flatten(topMenu(frame, "&View"), got);
    QCOMPARE(got, expected(kViewMenu));
    QCOMPARE(frame->windowTitle(), QStringLiteral("Marrowdale"));
    QTRY_COMPARE(app_->documents().size(), std::size_t(0));
    // File New gives the document menu back.
    trigger(res::ID_FILE_NEW);
    QCOMPARE(frame->shownMenuId(), 130);
    QCOMPARE(frame->windowTitle(), QStringLiteral("Marrowdale - Marrowdale2"));
}

void ShellTest::toolbarMatchesTable() {
    const QList<int> expectedIds = {57600, 57601, 57603, 0,     57635, 57634, 57637, 0,
                                    57607, 57664, 32772, 32771, 32775, 32778, 32780, 32781,
                                    32783, 32787, 32788, 32789, 32790, 32793, 32794};
    QList<int> ids;
    int buttons = 0;
    for (QAction* a : app_->mainFrame()->toolBar()->actions()) {
        if (qobject_cast<QWidgetAction*>(a))
            continue;  // the customise button at the end is not one of the toolbar's items
        if (a->isSeparator()) {
            ids << 0;
            continue;
        }
        ++buttons;
        ids << a->data().toInt();
        const QPixmap p = a->icon().pixmap(16, 15);
        QVERIFY2(!p.isNull(), qPrintable(QString::number(a->data().toInt())));
    }
    QCOMPARE(ids, expectedIds);
    QCOMPARE(buttons, 21);
    QCOMPARE(app_->mainFrame()->toolBar()->windowTitle(), QStringLiteral("Standard"));
    // A few pictures by their colours: red dot on black, two red dots on green.
    const QImage record = app_->mainFrame()->commandAction(32771)->icon().pixmap(16, 15).toImage();
    QCOMPARE(record.pixelColor(0, 0), QColor(Qt::black));
    QCOMPARE(record.pixelColor(8, 7), QColor(255, 0, 0));
    const QImage both = app_->mainFrame()->commandAction(32783)->icon().pixmap(16, 15).toImage();
    QCOMPARE(both.pixelColor(0, 0), QColor(0, 150, 0));
    QCOMPARE(both.pixelColor(4, 7), QColor(255, 0, 0));
    QCOMPARE(both.pixelColor(12, 7), QColor(255, 0, 0));
}

void ShellTest::acceleratorsMatchTable() {
    const QList<QPair<int, QList<QKeySequence>>> table = {
        {57600, {QKeySequence("Ctrl+N")}},
        {57601, {QKeySequence("Ctrl+O")}},
        {57603, {QKeySequence("Ctrl+S")}},
        {57607, {QKeySequence("Ctrl+P")}},
        {57643, {QKeySequence("Ctrl+Z"), QKeySequence("Alt+Backspace")}},
        {57635, {QKeySequence("Ctrl+X"), QKeySequence("Shift+Del")}},
        {57634, {QKeySequence("Ctrl+C"), QKeySequence("Ctrl+Ins")}},
        {57637, {QKeySequence("Ctrl+V"), QKeySequence("Shift+Ins")}},
        {57680, {QKeySequence("F6")}},
        {57681, {QKeySequence("Shift+F6")}},
    };
    for (const auto& [id, keys] : table)
        QCOMPARE(app_->mainFrame()->commandAction(id)->shortcuts(), keys);
    // No recorder command has a key.
    for (int id = 32771; id <= 32797; ++id)
        QVERIFY(app_->mainFrame()->commandAction(id)->shortcuts().isEmpty());
    // Ctrl+N through the key table makes a new document; Ctrl+C does nothing.
    QWidget* frame = app_->mainFrame();
    frame->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(frame));
    QTest::keyClick(frame, Qt::Key_N, Qt::ControlModifier);
    QTRY_COMPARE(app_->documents().size(), std::size_t(2));
    QTest::keyClick(frame, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(app_->documents().size(), std::size_t(2));
}

void ShellTest::promptsAndTooltips() {
    CMainFrame* frame = app_->mainFrame();
    QCOMPARE(frame->commandAction(57600)->statusTip(), QStringLiteral("Create a new document"));
    QCOMPARE(frame->commandAction(57600)->toolTip(), QStringLiteral("New"));
    QCOMPARE(frame->commandAction(57664)->toolTip(), QStringLiteral("About"));
    QCOMPARE(frame->commandAction(32771)->statusTip(), QStringLiteral("Record"));
    QCOMPARE(frame->commandAction(32792)->statusTip(),
             QStringLiteral("Select the microphone or sound mixer as the audio input "));
    QCOMPARE(frame->commandAction(32778)->statusTip(), QStringLiteral("Change settings"));
    QCOMPARE(frame->commandAction(32782)->statusTip(), QString());
    QCOMPARE(frame->commandAction(36864)->statusTip(), QStringLiteral("Global Mouse down"));
    // The status bar shows a prompt while it is asked to, and "Ready" again afterwards.
    QStatusTipEvent tip(QStringLiteral("Record"));
    QCoreApplication::sendEvent(frame, &tip);
    QCOMPARE(frame->statusBar()->currentMessage(), QStringLiteral("Record"));
    QStatusTipEvent none{QString()};
    QCoreApplication::sendEvent(frame, &none);
    QCOMPARE(frame->statusBar()->currentMessage(), QString());
    QVERIFY(frame->messagePane()->isVisibleTo(frame->statusBar()));
}

void ShellTest::enabledStatesWithDocument() {
    CMainFrame* frame = app_->mainFrame();
    frame->updateCommandStates();
    for (int id : {32771, 32774, 32775, 32778, 32779, 32782, 32783, 32793, 32794,
                   32795, 32796, 57600, 57601, 57602, 57603, 57604, 57606, 57607,
                   57609, 57648, 57650, 57651, 57649, 57664, 57665, 59393, 131})
        QVERIFY2(frame->commandState(id).enabled, qPrintable(QString::number(id)));
    for (int id : {57643, 57635, 57634, 57637, 57680, 57681})
        QVERIFY2(!frame->commandState(id).enabled, qPrintable(QString::number(id)));
    QCOMPARE(int(frame->commandState(59393).mark), int(CommandUi::Mark::Check));
    // Recorder items stay enabled while a recording runs.
    trigger(32771);
    QTRY_VERIFY(app_->workers().screenWorkerRunning());
    for (int id : {32771, 32774, 32783, 32795})
        QVERIFY(frame->commandState(id).enabled);
}

void ShellTest::enabledStatesWithoutDocument() {
    CMainFrame* frame = app_->mainFrame();
    for (CChildFrame* f : frame->childFrames())
        f->close();
    QTRY_COMPARE(frame->childFrames().size(), std::size_t(0));
    frame->updateCommandStates();
    for (int id : {32771, 32772, 32774, 32775, 32778, 32779, 32782, 32783, 32793, 32794, 32795,
                   32796, 57603, 57607, 57609, 57648, 57635})
        QVERIFY2(!frame->commandState(id).enabled, qPrintable(QString::number(id)));
    for (QAction* a : frame->toolBar()->actions()) {
        const int id = a->data().toInt();
        if (id >= 32771 && id <= 32797)
            QVERIFY(!a->isEnabled());
    }
    for (int id : {57600, 57601, 57606, 57664, 57665, 59393})
        QVERIFY2(frame->commandState(id).enabled, qPrintable(QString::number(id)));
}

void ShellTest::menuAndButtonPairsReachSameHandler() {
    CMainFrame* frame = app_->mainFrame();
    const QList<QPair<int, int>> pairs = {{32773, 32772}, {32774, 32775}, {32784, 32788},
                                          {32785, 32789}, {32786, 32787}, {32791, 32790},
                                          {32795, 32794}, {32796, 32793}};
    for (const auto& [menuId, buttonId] : pairs) {
        QCOMPARE(frame->commandState(menuId).enabled, frame->commandState(buttonId).enabled);
    }
    // Each id of a pair, run on its own, leaves the same observable result.
    auto observe = [&](int id) {
        resetToProcessStart(captureSettings(), recorderState());
        recorderState().screenStopped.store(1);
        recorderState().screenFinished.store(1);
        frame->showNormal();
        testing::ModalAnswerer answerer;
        {
            std::lock_guard lock(log_.mutex);
            log_.started.clear();
        }
        if (frame->commandState(id).enabled)
            frame->executeCommand(id);
        const bool settled = QTest::qWaitFor(
            [&] { return log_.take().size() == int(app_->workers().liveWorkers()); }, 5000);
        QStringList started = log_.take();
        started.sort();  // the two workers start side by side
        QStringList result;
        result << (settled ? "settled" : "unsettled") << frame->windowTitle()
               << QString::number(recorderState().screenStopped.load())
               << QString::number(recorderState().screenFinished.load())
               << QString::number(int(recorderState().statusCode.load()))
               << QString::number(frame->isMinimized()) << started << answerer.dialogTitles
               << answerer.texts;
        stopAll();
        return result;
    };
    for (const auto& [menuId, buttonId] : pairs) {
        const QStringList viaMenu = observe(menuId);
        const QStringList viaButton = observe(buttonId);
        QCOMPARE(viaButton, viaMenu);
    }
    // And they do something: the minimize pairs start workers.
    QVERIFY(observe(32795).join(' ').contains("screen:"));
    QVERIFY(observe(32796).join(' ').contains("audio:"));
}

void ShellTest::changeSettingsDoesNothingWrenchStops() {
    CMainFrame* frame = app_->mainFrame();
    trigger(32771);
    QTRY_VERIFY(app_->workers().screenWorkerRunning());
    const QString title = frame->windowTitle();
    trigger(32779);
    QCOMPARE(frame->windowTitle(), title);
    QCOMPARE(recorderState().screenStopped.load(), 0);
    QVERIFY(app_->workers().screenWorkerRunning());
    trigger(32778);
    QCOMPARE(recorderState().screenStopped.load(), 1);
    QCOMPARE(recorderState().screenFinished.load(), 1);
    QCOMPARE(frame->windowTitle(), QStringLiteral("Marrowdale stopped"));
    QTRY_VERIFY(!app_->workers().screenWorkerRunning());
}

void ShellTest::newViewResetsPeriodAndOption() {
    trigger(32782);
    QCOMPARE(captureSettings().framePeriod.load(), 800000u);
    captureSettings().frameOption.store(2);
    captureSettings().captureMode.store(CaptureMode::kEverySlot);
    captureSettings().maxFrames.store(1234);
    trigger(res::ID_WINDOW_NEW);
    QCOMPARE(app_->documents().size(), std::size_t(1));
    QCOMPARE(app_->mainFrame()->childFrames().size(), std::size_t(2));
    QCOMPARE(captureSettings().framePeriod.load(), 400000u);
    QCOMPARE(captureSettings().frameOption.load(), 1);
    QCOMPARE(captureSettings().captureMode.load(), CaptureMode::kEverySlot);
    QCOMPARE(captureSettings().maxFrames.load(), 1234u);
    // Two windows on one document are told apart.
    QCOMPARE(app_->mainFrame()->childFrames()[0]->windowTitle(), QStringLiteral("Marrowdale1:1"));
    QCOMPARE(app_->mainFrame()->childFrames()[1]->windowTitle(), QStringLiteral("Marrowdale1:2"));
    // File New resets the same way.
    trigger(32782);
    captureSettings().frameOption.store(2);
    trigger(res::ID_FILE_NEW);
    QCOMPARE(captureSettings().framePeriod.load(), 400000u);
    QCOMPARE(captureSettings().frameOption.load(), 1);
    QCOMPARE(captureSettings().maxFrames.load(), 1234u);
}

void ShellTest::statusDisplayRendering() {
    CMarrowdaleView* view = activeView();
    QVERIFY(view);
    QImage image = renderStatus(view);
    // Five bands from y 15, 20 apart, 24 high and overlapping: rows 15..118 at x = 16.
    const QList<int> rows = bandRows(image, 16);
    QVERIFY(!rows.isEmpty());
    QCOMPARE(rows.first(), 15);
    QCOMPARE(rows.last(), 95 + 24 - 1);
    QCOMPARE(image.pixelColor(14, 20), QColor(Qt::white));  // nothing left of x = 15
    QCOMPARE(image.pixelColor(16, 14), QColor(Qt::white));
    QCOMPARE(image.pixelColor(16, 119), QColor(Qt::white));
    // Light grey text inside the first band.
    bool text = false;
    for (int y = 15; y < 35 && !text; ++y)
        for (int x = 15; x < 150 && !text; ++x)
            text = image.pixelColor(x, y) == QColor(200, 200, 200);
    QVERIFY(text);
    // Codes 1 and 3: one line at (15, 15); the second line's place is empty.
    for (int code : {1, 3}) {
        recorderState().statusCode.store(static_cast<StatusCode>(code));
        const QImage one = renderStatus(view);
        const QList<int> r = bandRows(one, 16);
        QCOMPARE(r.first(), 15);
        QCOMPARE(r.last(), 15 + 24 - 1);
    }
    recorderState().statusCode.store(StatusCode::kAudioStopped);
    const int stoppedWidth = bandWidth(renderStatus(view), 20);
    recorderState().statusCode.store(StatusCode::kBothStarted);
    const int startedWidth = bandWidth(renderStatus(view), 20);
    QVERIFY2(startedWidth > stoppedWidth,
             qPrintable(QString("%1 %2").arg(startedWidth).arg(stoppedWidth)));
    // A negative number carries its minus sign: the line gets wider.
    recorderState().statusCode.store(StatusCode::kShowArea);
    view->shownLeft = 1280;
    const int positive = bandWidth(renderStatus(view), 55 + 12);
    view->shownLeft = -1280;
    const int negative = bandWidth(renderStatus(view), 55 + 12);
    QVERIFY2(negative > positive, qPrintable(QString("%1 %2").arg(negative).arg(positive)));
}

void ShellTest::viewWithoutDocumentPaintsNothing() {
    ViewServices services{app_->uiBridge(), app_->workers(), app_->platform(), {}};
    CMarrowdaleView loose(nullptr, services);
    recorderState().raiseOnDraw.store(1);
    const QImage image = renderStatus(&loose);
    QImage white(image.size(), image.format());
    white.fill(Qt::white);
    QCOMPARE(image, white);
    QCOMPARE(recorderState().raiseOnDraw.load(), 1);
    recorderState().raiseOnDraw.store(0);
}

void ShellTest::startAndStopThroughCommands() {
    CMainFrame* frame = app_->mainFrame();
    CMarrowdaleView* view = activeView();
    trigger(32771);
    QCOMPARE(frame->windowTitle(), QStringLiteral("Marrowdale recording screen only"));
    QTRY_COMPARE(log_.take(), QStringList({"screen:" + QDir::currentPath()}));
    QVERIFY(app_->workers().screenWorkerRunning());
    QVERIFY(QFileInfo(QDir::current().filePath("vid1")).isDir());
    QCOMPARE(recorderState().frameWindow.load(), static_cast<WindowHandle>(view->parentWidget()));
    QCOMPARE(recorderState().viewWindow.load(), static_cast<WindowHandle>(view));
    QCOMPARE(recorderState().commandView.load(), static_cast<CaptureView*>(view));
    QCOMPARE(recorderState().statusCode.load(), StatusCode::kShowArea);
    trigger(32775);
    QCOMPARE(frame->windowTitle(), QStringLiteral("Marrowdale stopped"));
    QTRY_VERIFY(!app_->workers().screenWorkerRunning());
    QCOMPARE(recorderState().statusCode.load(), StatusCode::kShowArea);
    // The title stays when the window is deactivated and activated again.
    frame->showMinimized();
    frame->showNormal();
    QCoreApplication::processEvents();
    QCOMPARE(frame->windowTitle(), QStringLiteral("Marrowdale stopped"));
    // Minimize and record the screen.
    trigger(32795);
    QVERIFY(frame->isMinimized());
    QCOMPARE(frame->windowTitle(), QStringLiteral("Marrowdale recording screen only"));
    QTRY_VERIFY(app_->workers().screenWorkerRunning());
}

void ShellTest::summaryAfterStopAndEarlierRecordingMovedAside() {
    CMainFrame* frame = app_->mainFrame();
    auto* watch = frame->findChild<RecordingSummaryWatch*>();
    QVERIFY(watch);
    QVERIFY(!watch->openFolderButton()->isVisibleTo(frame->statusBar()));
    QStringList opened;
    watch->setFolderOpener([&opened](const QString& folder) { opened << folder; });
    const QString cwd = QDir::currentPath();

    trigger(32771);
    QTRY_VERIFY(app_->workers().screenWorkerRunning());
    // What the screen worker would have written: frames 1 and 3, number 2 left free.
    for (const char* name : {"000001.jpg", "000003.jpg"}) {
        QFile f(QDir(cwd).filePath(QStringLiteral("vid1/") + name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("jpeg");
    }
    trigger(32775);
    const QString summary = "Recorded 2 frames in " + cwd +
                            "/vid1/ (numbers 1-3, 1 free: fill them before an editor, or "
                            "export), no sound";
    QTRY_COMPARE(frame->messagePane()->text(), summary);
    QVERIFY(watch->openFolderButton()->isVisibleTo(frame->statusBar()));
    QTest::mouseClick(watch->openFolderButton(), Qt::LeftButton);
    QCOMPARE(opened, QStringList({cwd}));

    // The next recording here moves that one aside and says so.
    trigger(32771);
    QTRY_VERIFY(frame->messagePane()->text().startsWith(
        "The earlier recording was moved aside: vid1/ to vid1-"));
    QVERIFY(QDir(cwd).entryList({"vid1-*"}, QDir::Dirs).size() == 1);
    QVERIFY(QDir(cwd + "/vid1").isEmpty());
    trigger(32775);
    QTRY_COMPARE(frame->messagePane()->text(), QStringLiteral("Recorded no frames and no sound"));
    for (const QString& aside : QDir(cwd).entryList({"vid1-*", "recording*.ini"}))
        QVERIFY(QDir(QDir(cwd).filePath(aside)).removeRecursively() ||
                QFile::remove(QDir(cwd).filePath(aside)));
}

void ShellTest::startBothAndAudioEnd() {
    CMainFrame* frame = app_->mainFrame();
    trigger(32793);
    QCOMPARE(frame->windowTitle(), QStringLiteral("Marrowdale Recording"));
    QVERIFY(frame->isMinimized());
    QCOMPARE(recorderState().statusCode.load(), StatusCode::kBothStarted);
    QCOMPARE(recorderState().titleWindow.load(), static_cast<WindowHandle>(frame));
    QTRY_COMPARE(log_.take().size(), 2);
    QStringList started = log_.take();
    started.sort();
    QCOMPARE(started,
             QStringList({"audio:" + QDir::currentPath(), "screen:" + QDir::currentPath()}));
    frame->showNormal();
    trigger(32774);
    QTRY_VERIFY(!app_->workers().audioWorkerRunning());
    QCOMPARE(recorderState().statusCode.load(), StatusCode::kAudioStopped);
    QCOMPARE(frame->windowTitle(), QStringLiteral("Marrowdale stopped"));
}

void ShellTest::longCurrentDirectoryIsRefused() {
    // A current directory of exactly 494 characters.
    QString path = workDir_.path();
    QDir dir(path);
    while (path.size() < 494) {
        const int room = 494 - path.size() - 1;
        const QString part(qMin(room, 200), QChar('d'));
        QVERIFY(dir.mkdir(part));
        QVERIFY(dir.cd(part));
        path = dir.path();
    }
    QCOMPARE(path.size(), 494);
    QVERIFY(QDir::setCurrent(path));
    testing::ModalAnswerer answerer;
    trigger(32771);
    QTRY_COMPARE(answerer.texts.size(), 1);
    QCOMPARE(answerer.texts.first(),
             QStringLiteral("An error occured appending \\ to the program's folder name.\nTry "
                            "moving the program somewhere where the path is shorter\nso the "
                            "total length of the path and filename is less than 500 bytes."));
    QCOMPARE(answerer.captions.first(), QStringLiteral("Plumet"));
    QCOMPARE(app_->mainFrame()->windowTitle(), QStringLiteral("Marrowdale Error Recording"));
    QCOMPARE(log_.take(), QStringList());
    QVERIFY(!app_->workers().screenWorkerRunning());
}

void ShellTest::secondStartIsRefused() {
    trigger(32771);
    QTRY_VERIFY(app_->workers().screenWorkerRunning());
    testing::ModalAnswerer answerer;
    trigger(32783);
    QTRY_COMPARE(answerer.texts, QStringList({"A recording is already running."}));
    QCOMPARE(answerer.captions, QStringList({"Marrowdale"}));
    QCOMPARE(log_.take().size(), 1);
    QCOMPARE(app_->mainFrame()->windowTitle(), QStringLiteral("Marrowdale recording screen only"));
}

void ShellTest::areaWithoutSizeIsRefused() {
    captureSettings().captureRight.store(captureSettings().captureLeft.load());
    testing::ModalAnswerer answerer;
    trigger(32794);
    QTRY_COMPARE(answerer.texts, QStringList({"The capture area has no width or height."}));
    QVERIFY(!app_->mainFrame()->isMinimized());
    QCOMPARE(log_.take(), QStringList());
}

void ShellTest::closingViewStopsAndWaitsForWorkers() {
    trigger(32783);
    QTRY_VERIFY(app_->workers().screenWorkerRunning());
    QTRY_VERIFY(app_->workers().audioWorkerRunning());
    // Closing the window raises the stop requests and returns once both workers have ended,
    // answering the worker's title request on the way.
    QTRY_COMPARE(int(log_.running.load()), 2);
    QPointer<CMarrowdaleView> view = activeView();
    app_->mainFrame()->childFrames().front()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(view.isNull());
    QCOMPARE(app_->workers().liveWorkers(), std::size_t(0));
    QCOMPARE(int(log_.running.load()), 0);
    QVERIFY(log_.sawStopRequest.load());
    QCOMPARE(recorderState().titleWindow.load(), nullptr);
}

void ShellTest::printingToPdfShowsStatus() {
    const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
    QVERIFY2(!pdftotext.isEmpty(), "pdftotext (poppler-utils) is needed: run scripts/setup");
    // Print Setup's printer is the one the views print with.
    QCOMPARE(&activeView()->printer(), &app_->printer());
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString pdf = workDir_.filePath("status.pdf");
    printer.setOutputFileName(pdf);
    activeView()->shownLeft = -1280;
    QVERIFY(activeView()->printTo(printer));
    QProcess p;
    p.start(pdftotext, {pdf, "-"});
    QVERIFY(p.waitForFinished(30000));
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    for (const char* line : {"Capture area", "Top 100", "Left -1280", "Bottom 600", "Right 800"})
        QVERIFY2(text.contains(line), qPrintable(text));
}

void ShellTest::contextMenuHasThreeDisabledItems() {
    CMarrowdaleView* view = activeView();
    QStringList texts;
    QList<bool> enabled;
    QPoint shownAt;
    QTimer::singleShot(100, this, [&] {
        QMenu* menu = app_->mainFrame()->openPopupMenu();
        if (!menu)
            return;
        for (QAction* a : menu->actions()) {
            texts << a->text();
            enabled << a->isEnabled();
        }
        shownAt = menu->pos();
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(30, 40),
                            view->mapToGlobal(QPoint(30, 40)));
    QCoreApplication::sendEvent(view, &event);
    QCOMPARE(texts, QStringList({"Cu&t\tCtrl+X", "&Copy\tCtrl+C", "&Paste\tCtrl+V"}));
    QCOMPARE(enabled, QList<bool>({false, false, false}));
    QCOMPARE(shownAt, view->mapToGlobal(QPoint(30, 40)));
}

void ShellTest::documentsSaveEmptyAndOpenByName() {
    CMarrowdaleDoc* doc = app_->mainFrame()->activeDocument();
    const QString file = workDir_.filePath("recording.mdl");
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("old content");
    }
    QVERIFY(doc->OnSaveDocument(file));
    QCOMPARE(QFileInfo(file).size(), 0);
    QCOMPARE(doc->title(), QStringLiteral("recording.mdl"));
    QCOMPARE(app_->mainFrame()->childFrames().front()->windowTitle(),
             QStringLiteral("recording.mdl"));
    // Opening any readable file gives a window titled with its name.
    const QString other = workDir_.filePath("notes.txt");
    {
        QFile f(other);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("anything");
    }
    CMarrowdaleDoc* opened = app_->openDocumentFile(other);
    QVERIFY(opened);
    QCOMPARE(app_->mainFrame()->activeDocument(), opened);
    QCOMPARE(app_->mainFrame()->windowTitle(), QStringLiteral("Marrowdale - notes.txt"));
    QCOMPARE(app_->recentFiles().first(), QFileInfo(other).absoluteFilePath());
    // The recent-file list replaces the placeholder in the File menu and opens its files.
    QAction* recent = nullptr;
    for (QAction* a : topMenu(app_->mainFrame(), "&File")->actions())
        if (a->data().toInt() == 57616)
            recent = a;
    QVERIFY(recent);
    QCOMPARE(recent->text(), "&1 " + QFileInfo(other).absoluteFilePath());
    app_->mainFrame()->updateCommandStates();
    QVERIFY(recent->isEnabled());
    // Opening it again brings its window forward instead of a second document.
    const std::size_t before = app_->documents().size();
    app_->mainFrame()->mdiArea()->activatePreviousSubWindow();
    QVERIFY(app_->mainFrame()->activeDocument() != opened);
    recent->trigger();
    QCOMPARE(app_->documents().size(), before);
    QCOMPARE(app_->mainFrame()->activeDocument(), opened);
    // A file that cannot be read gives a message and no document.
    testing::ModalAnswerer answerer;
    QVERIFY(!app_->openDocumentFile(workDir_.filePath("missing")));
    QCOMPARE(answerer.texts, QStringList({"Failed to open document."}));
    QCOMPARE(app_->documents().size(), std::size_t(2));
    // The start-up command line opens a file too.
    stopAll();
    app_.reset();
    auto settings =
        std::make_unique<QSettings>(settingsDir_.filePath("marrowdale.ini"), QSettings::IniFormat);
    app_ = std::make_unique<CMarrowdaleApp>(fakeWorkers(log_), PlatformServices{},
                                            std::move(settings));
    QVERIFY(app_->InitInstance({other}));
    QCOMPARE(app_->mainFrame()->activeDocument()->title(), QStringLiteral("notes.txt"));
    QCOMPARE(app_->recentFiles().size(), 1);  // kept across runs
}

void ShellTest::windowsDialogActivates() {
    trigger(res::ID_FILE_NEW);
    CMainFrame* frame = app_->mainFrame();
    QCOMPARE(frame->activeDocument()->title(), QStringLiteral("Marrowdale2"));
    QStringList listed;
    testing::ModalAnswerer answerer([&](QWidget* w) {
        auto* dlg = qobject_cast<TemplateDialog*>(w);
        if (!dlg)
            return;
        for (int i = 0; i < dlg->listCount(1000); ++i)
            listed << dlg->listText(1000, i);
        dlg->listSetCurSel(1000, 0);
        dlg->clickItem(1001);
    });
    trigger(res::ID_WINDOW_MANAGER);
    QCOMPARE(answerer.dialogTitles, QStringList({"Windows"}));
    QCOMPARE(listed, QStringList({"Marrowdale1", "Marrowdale2"}));
    QCOMPARE(frame->activeDocument()->title(), QStringLiteral("Marrowdale1"));
}

void ShellTest::aboutBox() {
    testing::ModalAnswerer answerer;
    trigger(res::ID_APP_ABOUT);
    QCOMPARE(answerer.dialogTitles, QStringList({"About Marrowdale"}));
}

void ShellTest::mediaKeysIgnored() {
    CMarrowdaleView* view = activeView();
    for (int key : {int(Qt::Key_MediaPlay), int(Qt::Key_VolumeUp), int(Qt::Key_Back)}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        press.setAccepted(false);
        QCoreApplication::sendEvent(view, &press);
        QVERIFY(press.isAccepted());
    }
    QCOMPARE(log_.take(), QStringList());
    QCOMPARE(app_->mainFrame()->windowTitle(), QStringLiteral("Marrowdale - Marrowdale1"));
}

void ShellTest::lockIndicatorsFollowKeys() {
    CMainFrame* frame = app_->mainFrame();
    QWindow* window = frame->windowHandle();
    QVERIFY(window);
    QVERIFY(!frame->indicator(0)->isEnabled());
    QVERIFY(!frame->indicator(2)->isEnabled());
    QTest::keyClick(window, Qt::Key_CapsLock);
    QVERIFY(frame->indicator(0)->isEnabled());
    QVERIFY(!frame->indicator(1)->isEnabled());
    QTest::keyClick(window, Qt::Key_ScrollLock);
    QVERIFY(frame->indicator(2)->isEnabled());
    QTest::keyClick(window, Qt::Key_CapsLock);
    QVERIFY(!frame->indicator(0)->isEnabled());
    QTest::keyClick(window, Qt::Key_A);  // other keys leave them as they are
    QVERIFY(frame->indicator(2)->isEnabled());
}

QTEST_MAIN(ShellTest)
#include "test_shell.moc"
