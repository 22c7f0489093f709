// CMarrowdaleView: the recorder's window. Its construction puts the recorder settings back to
// their defaults, its destruction stops the workers; it paints the status display and takes
// every recorder command (its own start and stop commands here, the subsystems' commands through
// shell/view_command_bindings.h).
#pragma once

#include <QPointer>
#include <QPrinter>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "capture_area/capture_view.h"
#include "framework/command_map.h"
#include "framework/window_handle.h"
#include "platform/platform_services.h"
#include "recorder/commands.h"
#include "recorder/state.h"
#include "recorder/status_display.h"

class QPainter;

namespace marrowdale {

class CMarrowdaleDoc;
class PopupMenuHost;
class QtUiBridge;

// What a view gets from the application.
struct ViewServices {
    QtUiBridge& ui;
    WorkerLauncher& workers;
    // The program's platform services (the codec list, the mouse watch, the window list).
    const PlatformServices& platform;
    // Serves the UI bridge while the GUI thread waits for workers; returns true when every
    // worker has ended within the limit (the application's RecordingSession).
    std::function<bool()> waitForWorkers;
    // The application's printer, whose settings Print Setup changes; null: the view's own.
    QPrinter* printer = nullptr;
    // Shows the view's context menu (the main frame); null: none is shown.
    PopupMenuHost* popupMenus = nullptr;
};

class CMarrowdaleView : public QWidget,
                        public CommandTarget,
                        public CaptureView,
                        private CommandHost {
    Q_OBJECT
  public:
    // Joins `document` (may be null) as one of its views.
    CMarrowdaleView(CMarrowdaleDoc* document, ViewServices services, QWidget* parent = nullptr);
    ~CMarrowdaleView() override;

    // The display copy of the capture area, painted by the status display.
    std::int32_t shownTop = kCaptureDefaults.top;
    std::int32_t shownLeft = kCaptureDefaults.left;
    std::int32_t shownRight = kCaptureDefaults.right;
    std::int32_t shownBottom = kCaptureDefaults.bottom;

    // Null once the document has gone.
    CMarrowdaleDoc* document() const;

    // CaptureView. The whole client area is repainted soon, its background erased first.
    void repaintErase() override;
    void setShownTopLeft(std::int32_t x, std::int32_t y) override;
    void setShownBottomRight(std::int32_t x, std::int32_t y) override;

    // The view as the area selection and RecorderState::commandView know it.
    CaptureView* captureView() { return this; }
    WindowHandle viewWindowHandle() override { return toWindowHandle(this); }
    // The child frame that directly contains the view (null while it has none).
    WindowHandle parentFrameHandle();
    // The top-level frame (the main frame).
    WindowHandle topLevelFrameHandle() override;

    QtUiBridge& uiBridge() { return services_.ui; }
    WorkerLauncher& workers() { return services_.workers; }
    const PlatformServices& platform() const { return services_.platform; }

    // Runs on every left button press in the view, with the point in client coordinates.
    void setLeftButtonDownHandler(std::function<void(const QPoint&)> handler);
    // Runs at destruction, before the stop requests are raised (e.g. removing a mouse watch).
    void addDestroyStep(std::function<void()> step);
    // Queues command `id` to this view's command map (it runs from the event loop).
    void postCommand(int id);

    // The status display, drawn into any painter (screen, printer, image).
    void OnDraw(QPainter& painter);

    // The recording commands' context for this view.
    RecordingCommandContext commandContext();

    // Printing (57607, 57608) and print preview (57609).
    void OnFilePrint();
    void OnFilePrintPreview();
    // Prints the status display to `printer` (one page).
    bool printTo(QPrinter& printer);
    // The printer that Print and Print Preview use.
    QPrinter& printer();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  signals:
    // The context menu is about to be shown at `globalPos` (tests, the main frame).
    void contextMenuRequested(const QPoint& globalPos);

  private:
    // CommandHost
    CaptureView* view() override { return captureView(); }
    WindowHandle viewWindow() override { return viewWindowHandle(); }
    WindowHandle parentWindow() override { return parentFrameHandle(); }
    WindowHandle mainFrame() override { return topLevelFrameHandle(); }
    void minimizeMainFrame() override;
    std::string currentDirectory() override;

    void bindOwnCommands();
    void showContextMenu(const QPoint& global);

    QPointer<CMarrowdaleDoc> document_;
    ViewServices services_;
    std::function<void(const QPoint&)> leftButtonDown_;
    std::vector<std::function<void()>> destroySteps_;
    std::unique_ptr<QPrinter> ownPrinter_;
};

}  // namespace marrowdale
