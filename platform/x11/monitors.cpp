// The desktop's monitors from RandR 1.5 (XRRGetMonitors): the active outputs and the monitors an
// administrator defined, each with its name and its area on the screen.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <memory>

#include "platform/x11/x11_services.h"

namespace marrowdale {

std::optional<std::vector<MonitorArea>> listX11Monitors(std::string* error) {
    const auto fail = [error](const char* reason) {
        if (error != nullptr)
            *error = reason;
        return std::nullopt;
    };
    std::unique_ptr<Display, int (*)(Display*)> display(XOpenDisplay(nullptr), XCloseDisplay);
    if (!display)
        return fail("cannot open the X display");
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (!XRRQueryExtension(display.get(), &eventBase, &errorBase) ||
        !XRRQueryVersion(display.get(), &major, &minor) || major < 1 || (major == 1 && minor < 5))
        return fail("the X display has no RandR 1.5");
    int count = 0;
    XRRMonitorInfo* monitors =
        XRRGetMonitors(display.get(), DefaultRootWindow(display.get()), True, &count);
    if (monitors == nullptr && count != 0)
        return fail("the X display did not list its monitors");
    std::vector<MonitorArea> out;
    for (int i = 0; i < count; ++i) {
        const XRRMonitorInfo& m = monitors[i];
        MonitorArea area;
        char* name = m.name != None ? XGetAtomName(display.get(), m.name) : nullptr;
        if (name != nullptr) {
            area.name = name;
            XFree(name);
        }
        area.left = m.x;
        area.top = m.y;
        area.width = m.width;
        area.height = m.height;
        area.primary = m.primary != 0;
        if (area.width > 0 && area.height > 0)
            out.push_back(std::move(area));
    }
    if (monitors != nullptr)
        XRRFreeMonitors(monitors);
    return out;
}

}  // namespace marrowdale
