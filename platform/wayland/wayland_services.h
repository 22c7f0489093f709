// The services of a Wayland desktop beside the screen-cast portal: its list of windows. Only the
// platform loader (and the suites of this folder) include this header.
#pragma once

#include <memory>
#include <string>

#include "platform/window_list.h"

namespace marrowdale {

// Window list of the Wayland display named by WAYLAND_DISPLAY, through the wlroots
// foreign-toplevel protocol (sway and other wlroots desktops); the close request is the
// protocol's close. The protocol tells no window sizes, so the height test passes every window.
// Returns null and fills `error` (may be null) when the display cannot be reached or does not
// offer the protocol.
std::unique_ptr<WindowList> openWaylandWindowList(std::string* error);

}  // namespace marrowdale
