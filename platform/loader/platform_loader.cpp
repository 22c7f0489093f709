#include "platform/loader/platform_loader.h"

#include <cstdlib>

#include "platform/ffmpeg/ffmpeg_media.h"
#include "platform/ffmpeg/ffmpeg_video_export.h"
#include "platform/jpeg/turbo_jpeg_encoder.h"
#include "platform/pulse/pulse_audio.h"
#include "platform/screen_backend.h"
#include "platform/wayland/wayland_services.h"
#include "platform/x11/x11_services.h"

namespace marrowdale {

PlatformServices loadPlatformServices() {
    PlatformServices services;
    services.screenGrabbers = [](std::optional<ScreenBackend> requested) {
        return loadScreenGrabbers(requested);
    };
    services.jpegEncoder = [](JpegQuality quality) { return createTurboJpegEncoder(quality); };
    services.audioSystem = [] { return createPulseAudioSystem(); };
    services.mediaFormat = [] {
        // The catalogue probes FFmpeg's encoders once a process: done here, when the service is
        // made, rather than in the middle of a recording.
        (void)ffmpegCodecCatalogue();
        return createFfmpegMediaFormatService();
    };
    services.mouseWatch = [](std::string* error) { return openX11MouseWatch(error); };
    // The session's own windows: on a Wayland desktop X11 sees only XWayland's.
    const bool wayland =
        chooseScreenBackend(std::nullopt, std::getenv("WAYLAND_DISPLAY")) == ScreenBackend::kPortal;
    services.windowList = [wayland](std::string* error) {
        return wayland ? openWaylandWindowList(error) : openX11WindowList(error);
    };
    services.videoExporter = [] { return createFfmpegVideoExporter(); };
    // On a Wayland desktop X11 sees only XWayland's windows and keys: the keys of the whole
    // desktop and its lock states cannot be had there, and its outputs are the session's screens.
    services.globalKeys = [wayland](std::string* error) -> std::unique_ptr<GlobalKeys> {
        if (wayland) {
            if (error != nullptr)
                *error = "a Wayland desktop gives no program the keys pressed in other programs";
            return nullptr;
        }
        return openX11GlobalKeys(error);
    };
    services.keyboardLocks = [wayland](std::string* error) -> std::unique_ptr<KeyboardLocks> {
        if (wayland) {
            if (error != nullptr)
                *error = "a Wayland desktop tells the lock keys only to the focused window";
            return nullptr;
        }
        return openX11KeyboardLocks(error);
    };
    services.monitors = [wayland](std::string* error) -> std::optional<std::vector<MonitorArea>> {
        if (wayland) {
            if (error != nullptr)
                *error = "the monitors of a Wayland desktop are its screens";
            return std::nullopt;
        }
        return listX11Monitors(error);
    };
    return services;
}

}  // namespace marrowdale
