#include "platform/screen_backend.h"

namespace marrowdale {

ScreenBackend chooseScreenBackend(std::optional<ScreenBackend> requested,
                                  const char* waylandDisplay) {
    if (requested)
        return *requested;
    if (waylandDisplay != nullptr && *waylandDisplay != '\0')
        return ScreenBackend::kPortal;
    return ScreenBackend::kX11;
}

std::optional<ScreenBackend> parseScreenBackend(std::string_view text) {
    if (text == "x11")
        return ScreenBackend::kX11;
    if (text == "portal")
        return ScreenBackend::kPortal;
    return std::nullopt;
}

std::string_view screenBackendName(ScreenBackend backend) {
    return backend == ScreenBackend::kPortal ? "portal" : "x11";
}

}  // namespace marrowdale
