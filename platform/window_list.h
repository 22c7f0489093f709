// The other programs' top-level windows as plain records, and a polite close request.
//
// A record holds what the close-other-windows filter looks at, read once per window; the filter
// itself (tools/close_others_filter.h) works on records only, so it can be tested without a
// display.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace marrowdale {

// Identifier of a top-level window (an X window id here). 0 is "no window".
using WindowId = std::uint64_t;

// How a window is shown, with the values of the desktop's show commands.
enum class ShowState : std::int32_t {
    Hidden = 0,
    Normal = 1,
    Minimised = 2,
    Maximised = 3,
};

struct WindowRecord {
    WindowId id = 0;
    // Mapped on the screen, or minimised (a minimised window still counts as visible; the
    // minimised test comes later).
    bool visible = false;
    // The window this one is transient for; 0 when it has none. May name a window that is not
    // in the list (the root window, or a window that has gone).
    WindowId owner = 0;
    // The window owned by this one that was active most recently; 0 when it owns none (the
    // window then counts as its own last active pop-up).
    WindowId lastActivePopup = 0;
    // The window shows no title bar (docks, panels, desktops, splash screens, undecorated).
    bool titleBarInvisible = false;
    bool minimised = false;
    // False when the window's geometry and state could not be read (it went away).
    bool placementReadable = false;
    // Height of the client area in pixels.
    std::int32_t clientHeight = 0;
    ShowState showState = ShowState::Normal;
    // The title in UTF-8, as read from the window (not yet cut to any length).
    std::string title;
};

class WindowList {
  public:
    virtual ~WindowList() = default;

    // The top-level windows of the desktop, the topmost first. Calling thread only.
    virtual std::vector<WindowRecord> topLevelWindows() = 0;

    // Asks the window to close, as if its own close box had been pressed; its program may ask
    // first or refuse. Does not wait. False when the request could not be sent.
    virtual bool requestClose(WindowId window) = 0;
};

}  // namespace marrowdale
