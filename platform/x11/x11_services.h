// The services of an X display: the screen grabber, the desktop-wide mouse watch, the window
// list, the global keys, the lock keys' states and the monitors. Only the platform loader
// includes this header.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/global_keys.h"
#include "platform/keyboard_locks.h"
#include "platform/monitors.h"
#include "platform/mouse_watch.h"
#include "platform/screen_grabber.h"
#include "platform/window_list.h"

namespace marrowdale {

// The X11 grabber (MIT-SHM, plain XGetImage where shared memory is unavailable or not wanted).
// The display is opened by open() on the calling thread; an empty name means $DISPLAY.
std::unique_ptr<ScreenGrabber> createX11ScreenGrabber(std::string displayName = {},
                                                      bool useSharedMemory = true);

// Whether the X display can be reached. On false, `error` says why.
bool x11DisplayAvailable(const std::string& displayName, std::string& error);

// Opens a watch on the X display named by DISPLAY (X11 RECORD extension). Returns null and
// fills `error` when the display cannot be opened or lacks the extension.
std::unique_ptr<MouseWatch> openX11MouseWatch(std::string* error);

// Window list of the X display named by DISPLAY, read from the window manager's EWMH
// properties; the close request is _NET_CLOSE_WINDOW. Returns null and fills `error` (may be
// null) when the display cannot be opened.
std::unique_ptr<WindowList> openX11WindowList(std::string* error);

// Global keys grabbed on the root window of the display named by DISPLAY, on a connection of
// their own. Null and the reason in `error` (may be null) when the display cannot be opened.
std::unique_ptr<GlobalKeys> openX11GlobalKeys(std::string* error);

// The lock keys' states from XKB on the display named by DISPLAY, on a connection of their own.
// Null and the reason in `error` (may be null) when the display or its XKB cannot be had.
std::unique_ptr<KeyboardLocks> openX11KeyboardLocks(std::string* error);

// The RandR monitors of the display named by DISPLAY, asked now. None and the reason in `error`
// (may be null) when the display or RandR 1.5 cannot be had.
std::optional<std::vector<MonitorArea>> listX11Monitors(std::string* error);

}  // namespace marrowdale
