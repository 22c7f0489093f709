#include <cstdlib>

#include "platform/loader/platform_loader.h"
#include "platform/loader/portal_loader.h"
#include "platform/x11/x11_services.h"

namespace marrowdale {

namespace {

class X11Loader final : public ScreenGrabberLoader {
  public:
    ScreenBackend backend() const override { return ScreenBackend::kX11; }

    ScreenSourceResult prepare() override {
        ScreenSourceResult result;
        if (!x11DisplayAvailable({}, result.error))
            result.status = ScreenSourceStatus::kUnavailable;
        return result;
    }

    std::unique_ptr<ScreenGrabber> createGrabber() override { return createX11ScreenGrabber(); }

    std::string lostMessage() const override {
        return "the connection to the X display was lost; the recording was stopped";
    }
};

}  // namespace

std::unique_ptr<ScreenGrabberLoader> loadScreenGrabbers(std::optional<ScreenBackend> requested) {
    if (chooseScreenBackend(requested, std::getenv("WAYLAND_DISPLAY")) == ScreenBackend::kPortal)
        return createPortalLoader();
    return std::make_unique<X11Loader>();
}

}  // namespace marrowdale
