#include "platform/loader/portal_loader.h"

namespace marrowdale {

namespace {

class MissingPortalLoader final : public ScreenGrabberLoader {
  public:
    ScreenBackend backend() const override { return ScreenBackend::kPortal; }
    ScreenSourceResult prepare() override {
        return {ScreenSourceStatus::kUnavailable,
                "this build cannot record Wayland desktops (built without Qt D-Bus or "
                "PipeWire)"};
    }
    std::unique_ptr<ScreenGrabber> createGrabber() override { return nullptr; }
    std::string lostMessage() const override { return {}; }
};

}  // namespace

std::unique_ptr<ScreenGrabberLoader> createPortalLoader() {
    return std::make_unique<MissingPortalLoader>();
}

}  // namespace marrowdale
