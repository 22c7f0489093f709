// Which service grabs the screen: the X server, or the desktop's screen-cast portal with the
// PipeWire stream it opens (Wayland sessions, where X11 sees only XWayland's windows).
#pragma once

#include <optional>
#include <string_view>

namespace marrowdale {

enum class ScreenBackend { kX11, kPortal };

// The backend of this session: `requested` when given, else the portal when `waylandDisplay`
// (the value of WAYLAND_DISPLAY, may be null) names a Wayland display, else X11.
ScreenBackend chooseScreenBackend(std::optional<ScreenBackend> requested,
                                  const char* waylandDisplay);

// "x11" or "portal"; nothing for any other text.
std::optional<ScreenBackend> parseScreenBackend(std::string_view text);
std::string_view screenBackendName(ScreenBackend backend);

}  // namespace marrowdale
