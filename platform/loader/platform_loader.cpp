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
    return services;
}

}  // namespace marrowdale
