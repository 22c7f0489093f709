// The capture-area commands of the main view (the two-click selection, the applied press, the
// fixed-size dialog), the view's own left-button press and the removal of the mouse watch when a
// view goes away.
#include <QPoint>
#include <QPointF>
#include <cmath>

#include "capture_area/area_selection.h"
#include "capture_area/gui/fixed_size_dialog.h"
#include "capture_area/gui/gui_mouse_watch.h"
#include "framework/command_map.h"
#include "framework/qt_ui_bridge.h"
#include "resources/resources.h"
#include "shell/marrowdale_view.h"
#include "shell/view_command_bindings.h"

namespace marrowdale {

namespace {

// The selection's view of the Qt windows. It holds nothing but the bridge, so one can be made
// wherever a selection step runs; the selection reaches the view itself through CaptureView (a
// view clears the recorded commandView when it goes away).
class QtAreaSelectionHost final : public AreaSelectionHost {
  public:
    QtAreaSelectionHost(QtUiBridge& ui, const PlatformServices& platform)
        : ui_(ui), platform_(platform) {}

    void setWindowTitle(WindowHandle window, std::string_view title) override {
        ui_.setWindowTitle(window, title);
    }
    void setForegroundWindow(WindowHandle window) override { ui_.setForegroundWindow(window); }

    HookHandle installMouseWatch() override {
        QtUiBridge* ui = &ui_;
        const PlatformServices* platform = &platform_;
        const CaptureRect before = currentCaptureRect(captureSettings());
        GuiMouseWatch* watch = GuiMouseWatch::open(
            platform_.mouseWatch,
            [ui, platform](HookHandle self, const MouseWatchEvent& event) {
                QtAreaSelectionHost host(*ui, *platform);
                deliverWatchedEvent(captureSettings(), recorderState(), host, self, event);
            },
            nullptr,
            [ui, platform, before](HookHandle self) {
                QtAreaSelectionHost host(*ui, *platform);
                cancelAreaSelection(captureSettings(), recorderState(), host, self, before);
            },
            platform_.globalKeys);
        return watch ? watch->handle() : nullptr;
    }
    void removeMouseWatch(HookHandle watch) override {
        if (GuiMouseWatch* w = GuiMouseWatch::fromHandle(watch))
            w->remove();
    }

  private:
    QtUiBridge& ui_;
    const PlatformServices& platform_;
};

}  // namespace

void bindCaptureAreaCommands(CommandMap& map, CMarrowdaleView& view) {
    QtUiBridge& ui = view.uiBridge();
    const PlatformServices& platform = view.platform();
    CMarrowdaleView* self = &view;

    const auto start = [self, &ui, &platform] {
        QtAreaSelectionHost host(ui, platform);
        startAreaSelection(captureSettings(), recorderState(), host, self->captureView());
    };
    map.on(res::ID_SELECT_AREA_BUTTON, start);
    map.on(res::ID_SELECT_AREA, start);
    map.on(res::ID_GLOBAL_MOUSE_DOWN, [self, &ui, &platform] {
        QtAreaSelectionHost host(ui, platform);
        onGlobalMouseDown(captureSettings(), recorderState(), host, self->captureView());
    });
    map.on(res::ID_FIXED_SIZE, [self] {
        runFixedSizeCommand(self->shownRight, self->shownBottom);
        self->repaintErase();
    });

    view.setLeftButtonDownHandler([self, &ui, &platform](const QPoint& point) {
        RecorderState& state = recorderState();
        // The watch takes a press before the window under the pointer does: let it see every
        // press the server has processed so far before the view handles this one.
        if (GuiMouseWatch* watch = GuiMouseWatch::fromHandle(state.mouseHook.load())) {
            watch->syncAndDispatch();
        }
        // The press is taken once, in the desktop's pixels like the watch's presses.
        const QPointF desktop = QPointF(self->mapToGlobal(point)) * self->devicePixelRatioF();
        QtAreaSelectionHost host(ui, platform);
        onViewLeftButtonDown(captureSettings(), state, host, self->captureView(),
                             static_cast<std::int32_t>(std::lround(desktop.x())),
                             static_cast<std::int32_t>(std::lround(desktop.y())));
    });

    view.addDestroyStep([&ui, &platform] {
        QtAreaSelectionHost host(ui, platform);
        removeAreaSelectionWatch(recorderState(), host);
    });
}

}  // namespace marrowdale
