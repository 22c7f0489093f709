// The monitors of the desktop: the named areas of the screen that the display server knows (on
// X11 the RandR monitors, which also cover monitors an administrator defined with
// `xrandr --setmonitor`), in desktop pixels.
#pragma once

#include <cstdint>
#include <string>

namespace marrowdale {

struct MonitorArea {
    std::string name;
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool primary = false;
    bool operator==(const MonitorArea&) const = default;
};

}  // namespace marrowdale
