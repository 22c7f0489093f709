#include "capture_area/area_selection.h"

namespace marrowdale {

namespace {

void setFrameTitle(AreaSelectionHost& host, CaptureView* view, std::string_view title) {
    if (view == nullptr) {
        return;
    }
    const WindowHandle frame = view->topLevelFrameHandle();
    if (frame != nullptr) {
        host.setWindowTitle(frame, title);
    }
}

void repaint(CaptureView* view) {
    if (view != nullptr) {
        view->repaintErase();
    }
}

void setShownTopLeft(CaptureView* view, std::int32_t x, std::int32_t y) {
    if (view != nullptr) {
        view->setShownTopLeft(x, y);
    }
}

void setShownBottomRight(CaptureView* view, std::int32_t x, std::int32_t y) {
    if (view != nullptr) {
        view->setShownBottomRight(x, y);
    }
}

}  // namespace

void removeAreaSelectionWatch(RecorderState& state, AreaSelectionHost& host) {
    const HookHandle watch = state.mouseHook.exchange(nullptr);
    if (watch != nullptr) {
        host.removeMouseWatch(watch);
    }
}

void startAreaSelection(CaptureSettings& /*settings*/, RecorderState& state,
                        AreaSelectionHost& host, CaptureView* view) {
    const WindowHandle frame = view != nullptr ? view->topLevelFrameHandle() : nullptr;
    state.frameWindow = frame;
    state.viewWindow = view != nullptr ? view->viewWindowHandle() : nullptr;
    state.commandView = view;

    state.raiseOnDraw = 0;
    state.screenStopped = 0;
    state.screenFinished = 0;

    // A restarted selection must not leave the earlier watch behind.
    removeAreaSelectionWatch(state, host);
    state.mouseHook = host.installMouseWatch();

    if (frame != nullptr) {
        host.setWindowTitle(frame, kTitleClickTopLeft);
    }
    state.areaClickState = 1;
    // The frame does not take the mouse capture here: on X11 a pointer grab would keep the
    // presses from reaching the other programs' windows.
    state.statusCode = StatusCode::kShowArea;
    repaint(view);
}

long CaptureAreaMouseProc(CaptureSettings& settings, RecorderState& state, AreaSelectionHost& host,
                          int code, std::uint32_t message, const MousePoint* point) {
    if (code != kMouseWatchAction || message != kMouseMessageLeftDown || point == nullptr) {
        return 0;
    }
    const std::int32_t x = point->x;
    const std::int32_t y = point->y;
    state.lastClickX = x;
    state.lastClickY = y;

    CaptureView* const view = state.commandView.load();
    const std::uint8_t clickState = state.areaClickState.load();
    if (clickState == 1) {
        settings.captureLeft = x;
        settings.captureTop = y;
        state.areaClickState = 2;
        setShownTopLeft(view, x, y);
        setFrameTitle(host, view, kTitleClickBottomRight);
    } else {
        state.areaClickState = 0;
        if (clickState == 2) {
            settings.captureBottom = y;
            settings.captureRight = x;
            setShownBottomRight(view, x, y);
            removeAreaSelectionWatch(state, host);
            setFrameTitle(host, view, kTitleSelectionDone);
            state.statusCode = StatusCode::kAreaSelected;
        } else {
            removeAreaSelectionWatch(state, host);
        }
    }

    repaint(view);
    const WindowHandle frame = state.frameWindow.load();
    if (frame != nullptr) {
        host.setForegroundWindow(frame);
    }
    state.raiseOnDraw = 1;
    return 0;
}

bool deliverWatchedEvent(CaptureSettings& settings, RecorderState& state, AreaSelectionHost& host,
                         HookHandle watch, const MouseWatchEvent& event) {
    if (watch == nullptr || state.mouseHook.load() != watch) {
        if (watch != nullptr) {
            host.removeMouseWatch(watch);
        }
        return false;
    }
    CaptureAreaMouseProc(settings, state, host, kMouseWatchAction, event.message, &event.point);
    return true;
}

CaptureRect currentCaptureRect(const CaptureSettings& settings) {
    return {settings.captureLeft.load(), settings.captureTop.load(), settings.captureRight.load(),
            settings.captureBottom.load()};
}

void cancelAreaSelection(CaptureSettings& settings, RecorderState& state, AreaSelectionHost& host,
                         HookHandle watch, const CaptureRect& before) {
    if (watch == nullptr || state.mouseHook.load() != watch) {
        if (watch != nullptr)
            host.removeMouseWatch(watch);
        return;
    }
    CaptureView* const view = state.commandView.load();
    if (state.areaClickState.load() == 2) {
        settings.captureLeft = before.left;
        settings.captureTop = before.top;
        setShownTopLeft(view, before.left, before.top);
    }
    state.areaClickState = 0;
    removeAreaSelectionWatch(state, host);
    setFrameTitle(host, view, kTitleSelectionDone);
    repaint(view);
}

void onViewLeftButtonDown(CaptureSettings& settings, RecorderState& state, AreaSelectionHost& host,
                          CaptureView* view, std::int32_t x, std::int32_t y) {
    // The watch has taken this press already (or takes it as the selection's watch).
    if (state.mouseHook.load() != nullptr)
        return;
    const std::uint8_t clickState = state.areaClickState.load();
    if (clickState != 1 && clickState != 2)
        return;
    // Taken for the selection's own view, as the watch would take it.
    (void)view;
    const MousePoint point{x, y};
    CaptureAreaMouseProc(settings, state, host, kMouseWatchAction, kMouseMessageLeftDown, &point);
}

void onGlobalMouseDown(CaptureSettings& settings, RecorderState& state, AreaSelectionHost& host,
                       CaptureView* view) {
    const std::uint8_t clickState = state.areaClickState.load();
    const std::int32_t x = state.lastClickX.load();
    const std::int32_t y = state.lastClickY.load();
    if (clickState == 1) {
        settings.captureTop = y;
        settings.captureLeft = x;
        setShownTopLeft(view, x, y);
        state.areaClickState = 2;
        repaint(view);
    } else if (clickState == 2) {
        state.areaClickState = 0;
        settings.captureRight = x;
        settings.captureBottom = y;
        setShownBottomRight(view, x, y);
        removeAreaSelectionWatch(state, host);
        repaint(view);
    }
}

}  // namespace marrowdale
