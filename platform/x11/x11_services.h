// The services of an X display: the screen grabber, the desktop-wide mouse watch and the
// window list. Only the platform loader includes this header.
#pragma once

#include <memory>
#include <string>

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

}  // namespace marrowdale
