// The capture-area commands of the main view (the two-click selection, the applied press, the
// fixed-size dialog), the view's own left-button press, the removal of the mouse watch when a
// view goes away, and the close-other-windows timer callback.
#include <QPoint>
#include <QPointF>
#include <cmath>

#include "capture_area/area_selection.h"
#include "capture_area/gui/fixed_size_dialog.h"
#include "capture_area/gui/gui_mouse_watch.h"
#include "framework/command_map.h"
#include "framework/qt_ui_bridge.h"
#include "platform/clock.h"
#include "resources/resources.h"
#include "shell/marrowdale_view.h"
#include "shell/view_command_bindings.h"
#include "tools/close_others.h"
#include "tools/gui/close_others_dialog.h"

namespace marrowdale {

namespace {

CMarrowdaleView* viewFromHandle(ViewHandle view) {
    return static_cast<CMarrowdaleView*>(view);
}

// The selection's view of the Qt windows. It holds nothing but the bridge, so one can be made
// wherever a selection step runs; views are reached through their handles (a view clears the
// recorded commandView when it goes away).
class QtAreaSelectionHost final : public AreaSelectionHost {
  public:
    QtAreaSelectionHost(QtUiBridge& ui, const PlatformServices& platform)
        : ui_(ui), platform_(platform) {}

    WindowHandle topLevelFrame(ViewHandle view) override {
        return view ? viewFromHandle(view)->topLevelFrameHandle() : nullptr;
    }
    WindowHandle viewWindow(ViewHandle view) override {
        return view ? viewFromHandle(view)->viewWindowHandle() : nullptr;
    }
    void setShownTopLeft(ViewHandle view, std::int32_t x, std::int32_t y) override {
        if (!view)
            return;
        viewFromHandle(view)->shownLeft = x;
        viewFromHandle(view)->shownTop = y;
    }
    void setShownBottomRight(ViewHandle view, std::int32_t x, std::int32_t y) override {
        if (!view)
            return;
        viewFromHandle(view)->shownRight = x;
        viewFromHandle(view)->shownBottom = y;
    }
    void setWindowTitle(WindowHandle window, std::string_view title) override {
        ui_.setWindowTitle(window, title);
    }
    void repaintView(ViewHandle view) override {
        if (view)
            viewFromHandle(view)->repaintErase();
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
        startAreaSelection(captureSettings(), recorderState(), host, self->viewHandle());
    };
    map.on(res::ID_SELECT_AREA_BUTTON, start);
    map.on(res::ID_SELECT_AREA, start);
    map.on(res::ID_GLOBAL_MOUSE_DOWN, [self, &ui, &platform] {
        QtAreaSelectionHost host(ui, platform);
        onGlobalMouseDown(captureSettings(), recorderState(), host, self->viewHandle());
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
        onViewLeftButtonDown(captureSettings(), state, host, self->viewHandle(),
                             static_cast<std::int32_t>(std::lround(desktop.x())),
                             static_cast<std::int32_t>(std::lround(desktop.y())));
    });

    view.addDestroyStep([&ui, &platform] {
        QtAreaSelectionHost host(ui, platform);
        removeAreaSelectionWatch(recorderState(), host);
    });

    ui.setTimerHandler([&ui, &platform](WindowHandle, TimerId id) {
        if (id != kCloseOthersTimerId)
            return;
        QtCloseOthersDialogHost dialogs(
            [&platform] { return platform.windowList ? platform.windowList(nullptr) : nullptr; });
        MonotonicClock clock;
        OnTimerCloseOtherWindows(recorderState(), ui, dialogs, clock);
    });
}

}  // namespace marrowdale
