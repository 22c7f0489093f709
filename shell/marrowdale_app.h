// CMarrowdaleApp: the application object. Start-up (InitInstance) makes the main frame and the
// first document; the application takes New, Open, Print Setup, About, Exit and the recent files;
// it owns the UI bridge and the worker threads, which it stops and waits for at the end.
#pragma once

#include <QObject>
#include <QPrinter>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QSettings>

#include "framework/command_map.h"
#include "platform/platform_services.h"
#include "platform/ui_bridge.h"
#include "recorder/recording_session.h"

namespace marrowdale {

class CMainFrame;
class CMarrowdaleDoc;
class CMarrowdaleView;
class GlobalShortcuts;
class RecordingFeedback;
class QtUiBridge;

// Where the workers come from; the program passes the real ones, tests their own.
// Each runs one worker's whole life on the calling thread, reporting through `ui`.
struct AppWorkers {
    std::function<WorkerEnd(UiBridge& ui, const WorkerStart& start)> screen;
    std::function<WorkerEnd(UiBridge& ui, const WorkerStart& start)> audio;
};

class CMarrowdaleApp : public QObject, public CommandTarget {
    Q_OBJECT
  public:
    // `platform`: the services the program's start-up code built (tests give fakes, or nothing
    // where they need none). The settings live under organisation "Marrowdale", application
    // "Marrowdale" unless `settings` is given (tests).
    explicit CMarrowdaleApp(AppWorkers workers, PlatformServices platform = {},
                            std::unique_ptr<QSettings> settings = nullptr);
    ~CMarrowdaleApp() override;

    // Start-up. `arguments` without the program name: none opens one new document, a file name
    // opens that file as a document; --record=screen|both [--minimize] then runs that start
    // command once the event loop runs. False ends the program.
    bool InitInstance(const QStringList& arguments);
    // Shut-down: closes the windows, stops the workers and waits for them (at most 5 s).
    int ExitInstance();

    CMainFrame* mainFrame() const { return mainFrame_; }
    // The live status and the tray icon, and the global keys (null before InitInstance).
    RecordingFeedback* recordingFeedback() const { return feedback_; }
    GlobalShortcuts* globalShortcuts() const { return globalShortcuts_; }
    QtUiBridge& uiBridge() { return *uiBridge_; }
    RecordingSession& workers() { return *workers_; }
    const PlatformServices& platform() const { return platform_; }
    // The printer whose settings Print Setup changes and the views print with.
    QPrinter& printer() { return *printer_; }

    // File New: a new document with its child frame and view.
    CMarrowdaleDoc* OnFileNew();
    // Opens `path` as a document; null (after a message) when it cannot be read.
    CMarrowdaleDoc* openDocumentFile(const QString& path);
    // File Open: asks for a file.
    void OnFileOpen();
    void OnFilePrintSetup();
    void OnAppAbout();
    void OnAppExit();
    // Window New Window: another view on `document`.
    CMarrowdaleView* newWindow(CMarrowdaleDoc* document);

    const std::vector<CMarrowdaleDoc*>& documents() const { return documents_; }
    QStringList recentFiles() const { return recentFiles_; }
    void addToRecentFiles(const QString& path);

    // The number of entries of the recent-file list.
    static constexpr int kRecentFileCount = 10;
    // How long closing a view or quitting waits for the workers.
    static constexpr int kWorkerWaitMs = 5000;

  private:
    CMarrowdaleView* createView(CMarrowdaleDoc* document);
    void documentGone(CMarrowdaleDoc* document);
    void updateViewTitles(CMarrowdaleDoc* document);
    void saveRecentFiles();
    bool waitForWorkers();

    PlatformServices platform_;
    std::unique_ptr<QSettings> settings_;
    std::unique_ptr<QtUiBridge> uiBridge_;
    std::unique_ptr<RecordingSession> workers_;
    std::unique_ptr<QPrinter> printer_;
    CMainFrame* mainFrame_ = nullptr;
    RecordingFeedback* feedback_ = nullptr;       // a child of the main frame
    GlobalShortcuts* globalShortcuts_ = nullptr;  // a child of the main frame
    std::vector<CMarrowdaleDoc*> documents_;
    QStringList recentFiles_;
    int untitledCount_ = 0;
    bool exited_ = false;
};

}  // namespace marrowdale
