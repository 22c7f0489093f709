#include "platform/wayland/wayland_services.h"

namespace marrowdale {

std::unique_ptr<WindowList> openWaylandWindowList(std::string* error) {
    if (error != nullptr)
        *error = "this build cannot list the windows of a Wayland desktop";
    return nullptr;
}

}  // namespace marrowdale
