#include "shell/marrowdale_app.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPageSetupDialog>
#include <QPointer>
#include <QPrinter>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>

#include "framework/message_box.h"
#include "framework/qt_ui_bridge.h"
#include "resources/resources.h"
#include "shell/about_dlg.h"
#include "shell/child_frame.h"
#include "shell/desktop_keys.h"
#include "shell/dialog_fit.h"
#include "shell/frame_setup.h"
#include "shell/main_frame.h"
#include "shell/marrowdale_doc.h"
#include "shell/marrowdale_view.h"
#include "shell/monitor_areas.h"
#include "shell/recording_feedback.h"
#include "shell/recording_summary_watch.h"

namespace marrowdale {

namespace {
const char* const kRecentGroup = "Recent File List";
// How long a start-up problem stays in the status bar.
constexpr int kProblemMessageMs = 20000;

RecordingSession::Body bindBridge(std::function<WorkerEnd(UiBridge&, const WorkerStart&)> body,
                                  UiBridge& ui) {
    if (!body)
        return {};
    return [body = std::move(body), &ui](const WorkerStart& start) { return body(ui, start); };
}
}  // namespace

CMarrowdaleApp::CMarrowdaleApp(AppWorkers workers, PlatformServices platform,
                               std::unique_ptr<QSettings> settings)
    : platform_(std::move(platform)),
      settings_(std::move(settings)),
      uiBridge_(std::make_unique<QtUiBridge>()),
      workers_(std::make_unique<RecordingSession>(
          recorderState(), bindBridge(std::move(workers.screen), *uiBridge_),
          bindBridge(std::move(workers.audio), *uiBridge_))),
      printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
    if (!settings_)
        settings_ =
            std::make_unique<QSettings>(QStringLiteral("Marrowdale"), QStringLiteral("Marrowdale"));
    // A recording whose disk runs low is stopped with the reason.
    workers_->watchDiskSpace(captureSettings(), *uiBridge_);
    CommandMap& map = commandMap();
    map.on(res::ID_APP_ABOUT, [this] { OnAppAbout(); });
    map.on(res::ID_FILE_NEW, [this] { OnFileNew(); });
    map.on(res::ID_FILE_OPEN, [this] { OnFileOpen(); });
    map.on(res::ID_FILE_PRINT_SETUP, [this] { OnFilePrintSetup(); });
    map.on(res::ID_APP_EXIT, [this] { OnAppExit(); });
    map.onRange(res::ID_FILE_MRU_FILE1, res::ID_FILE_MRU_FILE1 + kRecentFileCount - 1,
                [this](int id) {
                    const int index = id - res::ID_FILE_MRU_FILE1;
                    if (index < recentFiles_.size())
                        openDocumentFile(recentFiles_[index]);
                });
}

CMarrowdaleApp::~CMarrowdaleApp() {
    ExitInstance();
    // The frame goes first out of reach: the views it takes with it are destroyed while it is,
    // and their handlers must not call into it.
    CMainFrame* frame = mainFrame_;
    mainFrame_ = nullptr;
    delete frame;
    // A worker that did not end in time meets a bridge that is shut down (its requests return at
    // once), so it ends now; the session waits for it before the bridge goes.
    workers_.reset();
}

bool CMarrowdaleApp::InitInstance(const QStringList& arguments) {
    // The recent-file list, 10 entries.
    settings_->beginGroup(QLatin1String(kRecentGroup));
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const QString f = settings_->value(QStringLiteral("File%1").arg(i)).toString();
        if (!f.isEmpty())
            recentFiles_ << f;
    }
    settings_->endGroup();

    // Desktops find the launcher, its icon and name by this (the Wayland app id).
    QGuiApplication::setDesktopFileName(QStringLiteral(MARROWDALE_APP_ID));
    mainFrame_ = new CMainFrame(this);
    mainFrame_->setAttribute(Qt::WA_DeleteOnClose, false);
    mainFrame_->newWindowForDocument = [this](CMarrowdaleDoc* doc) { newWindow(doc); };
    mainFrame_->setRecentFiles(recentFiles_);
    mainFrame_->resize(1000, 700);
    feedback_ = new RecordingFeedback(*mainFrame_, *workers_, recorderState());
    globalShortcuts_ = new GlobalShortcuts(
        platform_.globalKeys ? platform_.globalKeys(nullptr) : nullptr,
        [this](int id) {
            if (mainFrame_)
                mainFrame_->executeCommand(id);
        },
        mainFrame_);
    new MonitorAreas(*mainFrame_, platform_.monitors);
    followLockStates(*mainFrame_,
                     platform_.keyboardLocks ? platform_.keyboardLocks(nullptr) : nullptr);
    attachLooksAndCustomization(*mainFrame_, *settings_, globalShortcuts_);
    // A stored or restored placement never leaves the window larger than the screen; nor does
    // any dialog open larger than it.
    mainFrame_->fitToScreen();
    keepDialogsOnScreen(this);
    // Global keys that another program holds are said at once, not left silently dead.
    if (const QString problems = globalShortcuts_->problems(); !problems.isEmpty()) {
        qWarning("marrowdale: %s", qPrintable(problems));
        mainFrame_->statusBar()->showMessage(problems, kProblemMessageMs);
    }
    // After each recording the status bar says where it went.
    new RecordingSummaryWatch(*workers_, *mainFrame_);

    // The command line: nothing opens a new document, a file name opens that file.
    // --record=screen|both starts that recording once the window is up, after minimising the
    // window with --minimize: the launcher's actions.
    QString file;
    QString record;
    bool minimize = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("--minimize")) {
            minimize = true;
        } else if (a.startsWith(QLatin1String("--record="))) {
            record = a.mid(9);
        } else if (a == QLatin1String("--record") && i + 1 < arguments.size()) {
            record = arguments[++i];
        } else if (!a.startsWith('-') && file.isEmpty()) {
            file = a;
        }
    }
    int startCommand = 0;
    if (record == QLatin1String("screen")) {
        startCommand = minimize ? res::ID_MIN_START_SCREEN : res::ID_RECORD;
    } else if (record == QLatin1String("both")) {
        startCommand = minimize ? res::ID_MIN_START_BOTH : res::ID_START_BOTH;
    } else if (!record.isEmpty()) {
        qWarning("marrowdale: --record takes screen or both, not '%s'", qPrintable(record));
    }
    if (file.isEmpty()) {
        if (!OnFileNew())
            return false;
    } else {
        if (!openDocumentFile(file))
            return false;
    }
    mainFrame_->show();
    if (startCommand != 0) {
        QTimer::singleShot(0, mainFrame_,
                           [this, startCommand] { mainFrame_->executeCommand(startCommand); });
    }
    return true;
}

int CMarrowdaleApp::ExitInstance() {
    if (exited_)
        return 0;
    exited_ = true;
    if (mainFrame_) {
        for (CChildFrame* f : mainFrame_->childFrames())
            delete f;
    }
    RecorderState& state = recorderState();
    state.stopScreenRequested.store(1);
    state.stopAudioRequested.store(1);
    waitForWorkers();
    uiBridge_->shutDown();
    return 0;
}

bool CMarrowdaleApp::waitForWorkers() {
    return workers_->waitForAll(std::chrono::milliseconds(kWorkerWaitMs),
                                [this] { uiBridge_->runPending(); });
}

CMarrowdaleView* CMarrowdaleApp::createView(CMarrowdaleDoc* document) {
    auto* view = new CMarrowdaleView(
        document, ViewServices{*uiBridge_, *workers_, platform_,
                               [this] { return waitForWorkers(); }, printer_.get(), mainFrame_});
    QPointer<CMarrowdaleDoc> doc(document);
    connect(view, &QObject::destroyed, this, [this, doc] {
        if (doc)
            updateViewTitles(doc);
    });
    mainFrame_->addChildFrame(view);
    updateViewTitles(document);
    return view;
}

void CMarrowdaleApp::updateViewTitles(CMarrowdaleDoc* document) {
    const auto& views = document->views();
    for (std::size_t i = 0; i < views.size(); ++i) {
        QWidget* frame = views[i]->parentWidget();
        if (!frame)
            continue;
        const QString title = views.size() == 1
                                  ? document->title()
                                  : document->title() + QStringLiteral(":%1").arg(i + 1);
        frame->setWindowTitle(title);
    }
    if (mainFrame_)
        mainFrame_->updateFrameTitle();
}

CMarrowdaleDoc* CMarrowdaleApp::OnFileNew() {
    auto* doc = new CMarrowdaleDoc(this);
    if (!doc->OnNewDocument()) {
        delete doc;
        return nullptr;
    }
    doc->setTitle(res::loadString(res::IDR_MAINFRAME) + QString::number(++untitledCount_));
    documents_.push_back(doc);
    connect(doc, &CMarrowdaleDoc::lastViewRemoved, this, [this, doc] { documentGone(doc); });
    connect(doc, &CMarrowdaleDoc::titleChanged, this, [this, doc] { updateViewTitles(doc); });
    connect(doc, &CMarrowdaleDoc::savedAs, this, &CMarrowdaleApp::addToRecentFiles);
    createView(doc);
    return doc;
}

CMarrowdaleDoc* CMarrowdaleApp::openDocumentFile(const QString& path) {
    // A document that is open already is brought forward instead of being opened twice.
    const QString absolute = QFileInfo(path).absoluteFilePath();
    for (CMarrowdaleDoc* open : documents_) {
        if (open->pathName() != absolute || open->views().empty())
            continue;
        if (auto* frame = qobject_cast<QMdiSubWindow*>(open->views().front()->parentWidget()))
            mainFrame_->mdiArea()->setActiveSubWindow(frame);
        addToRecentFiles(absolute);
        return open;
    }
    auto* doc = new CMarrowdaleDoc(this);
    if (!doc->OnOpenDocument(path)) {
        delete doc;
        afxMessageBox(QStringLiteral("Failed to open document."));
        return nullptr;
    }
    documents_.push_back(doc);
    connect(doc, &CMarrowdaleDoc::lastViewRemoved, this, [this, doc] { documentGone(doc); });
    connect(doc, &CMarrowdaleDoc::titleChanged, this, [this, doc] { updateViewTitles(doc); });
    connect(doc, &CMarrowdaleDoc::savedAs, this, &CMarrowdaleApp::addToRecentFiles);
    createView(doc);
    addToRecentFiles(doc->pathName());
    return doc;
}

CMarrowdaleView* CMarrowdaleApp::newWindow(CMarrowdaleDoc* document) {
    if (!document)
        return nullptr;
    return createView(document);
}

void CMarrowdaleApp::documentGone(CMarrowdaleDoc* document) {
    documents_.erase(std::remove(documents_.begin(), documents_.end(), document), documents_.end());
    document->deleteLater();
}

void CMarrowdaleApp::OnFileOpen() {
    const QString path = QFileDialog::getOpenFileName(mainFrame_, QStringLiteral("Open"), QString(),
                                                      QStringLiteral("All Files (*)"));
    if (!path.isEmpty())
        openDocumentFile(path);
}

void CMarrowdaleApp::OnFilePrintSetup() {
    QPageSetupDialog dialog(printer_.get(), mainFrame_);
    dialog.exec();
}

void CMarrowdaleApp::OnAppAbout() {
    CAboutDlg about;
    about.doModal();
}

void CMarrowdaleApp::OnAppExit() {
    if (mainFrame_)
        mainFrame_->close();
}

void CMarrowdaleApp::addToRecentFiles(const QString& path) {
    if (path.isEmpty())
        return;
    recentFiles_.removeAll(path);
    recentFiles_.prepend(path);
    while (recentFiles_.size() > kRecentFileCount)
        recentFiles_.removeLast();
    saveRecentFiles();
    if (mainFrame_)
        mainFrame_->setRecentFiles(recentFiles_);
}

void CMarrowdaleApp::saveRecentFiles() {
    settings_->beginGroup(QLatin1String(kRecentGroup));
    settings_->remove(QString());
    for (int i = 0; i < recentFiles_.size(); ++i)
        settings_->setValue(QStringLiteral("File%1").arg(i + 1), recentFiles_[i]);
    settings_->endGroup();
    settings_->sync();
}

}  // namespace marrowdale
