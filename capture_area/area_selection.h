// Choosing the captured rectangle with two left-button presses anywhere on the desktop: the
// first press becomes the top-left corner, the second the bottom-right corner, whatever their
// relative positions. A system-wide mouse watch observes the presses for the length of one
// selection; the prompts are shown in the title of the view's top-level frame.
//
// Everything here runs on the GUI thread. The functions work on the shared records and reach
// the windows only through AreaSelectionHost, so they run the same against the Qt shell and
// against a recording fake in tests.
#pragma once

#include <cstdint>
#include <string_view>

#include "capture_area/capture_view.h"
#include "platform/mouse_watch.h"
#include "recorder/state.h"

namespace marrowdale {

// Titles of the top-level frame during a selection.
inline constexpr std::string_view kTitleClickTopLeft = "Click the top left point";
inline constexpr std::string_view kTitleClickBottomRight = "Click the bottom right point";
inline constexpr std::string_view kTitleSelectionDone = "Marrowdale";

// Command identifiers handled here.
inline constexpr int kCommandSelectAreaToolbar = 32772;
inline constexpr int kCommandSelectAreaMenu = 32773;
inline constexpr int kCommandGlobalMouseDown = 36864;

// What the selection needs from the windows around it, besides the view itself (CaptureView).
// GUI thread only.
class AreaSelectionHost {
  public:
    virtual ~AreaSelectionHost() = default;

    virtual void setWindowTitle(WindowHandle window, std::string_view title) = 0;

    virtual void setForegroundWindow(WindowHandle window) = 0;

    // Installs the system-wide watch whose presses reach CaptureAreaMouseProc. Returns null
    // when it cannot be installed.
    virtual HookHandle installMouseWatch() = 0;
    // Removes a watch returned by installMouseWatch().
    virtual void removeMouseWatch(HookHandle watch) = 0;
};

// Commands 32772 and 32773 on `view`: starts a selection. A watch still recorded from an
// earlier selection is removed first, so no watch outlives the selection it belongs to.
void startAreaSelection(CaptureSettings& settings, RecorderState& state, AreaSelectionHost& host,
                        CaptureView* view);

// The watch's callback: `code` is kMouseWatchAction for an ordinary event, `message` one of
// kMouseMessage*, `point` the desktop position (may be null). Only left-button presses act.
// Always returns 0: the press is never taken away from the window under the pointer.
long CaptureAreaMouseProc(CaptureSettings& settings, RecorderState& state, AreaSelectionHost& host,
                          int code, std::uint32_t message, const MousePoint* point);

// Hands an event seen by `watch` to CaptureAreaMouseProc while `watch` is the one recorded in
// mouseHook. A watch that is no longer recorded (a new view cleared the record while a
// selection was running) is removed instead, without acting, so that it cannot outlive its
// selection. Returns false when the watch was removed that way.
bool deliverWatchedEvent(CaptureSettings& settings, RecorderState& state, AreaSelectionHost& host,
                         HookHandle watch, const MouseWatchEvent& event);

// A left-button press inside `view`'s own window, at the desktop point (x, y). A press is
// taken once: the desktop-wide watch takes every press, this one too (the caller first lets it
// deliver what it has seen), so the view takes it only when no watch is recorded (none could be
// installed), and then just as the watch would, in desktop coordinates. The rectangle and the
// view's display copy therefore always agree. The caller does the default processing of the
// press afterwards.
void onViewLeftButtonDown(CaptureSettings& settings, RecorderState& state, AreaSelectionHost& host,
                          CaptureView* view, std::int32_t x, std::int32_t y);

// Command 36864 on `view`: applies the last press the watch recorded.
void onGlobalMouseDown(CaptureSettings& settings, RecorderState& state, AreaSelectionHost& host,
                       CaptureView* view);

// The capture rectangle as it was when a selection started.
struct CaptureRect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};
CaptureRect currentCaptureRect(const CaptureSettings& settings);

// Escape on the selection overlay (Wayland desktops, where the corners are taken on a window of
// our own): ends the selection that `watch` belongs to without a new rectangle. The watch is
// removed, a top-left corner already taken goes back to `before` (in the rectangle and the
// view's display copy), the title becomes "Marrowdale" and the view is repainted. A watch that
// is no longer the recorded one is only removed.
void cancelAreaSelection(CaptureSettings& settings, RecorderState& state, AreaSelectionHost& host,
                         HookHandle watch, const CaptureRect& before);

// Removes the recorded watch, if any, and clears the record (also used when a view goes away).
void removeAreaSelectionWatch(RecorderState& state, AreaSelectionHost& host);

}  // namespace marrowdale
