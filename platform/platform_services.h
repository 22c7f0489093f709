// The platform services of a program, as its composition root hands them down: one maker per
// service. A program builds this record once, at start (platform/loader/platform_loader.h picks
// the implementations of this machine); the parts of the program see only these interfaces, and
// tests fill in fakes for the makers they need.
//
// A maker that is empty, or that returns null, means that the service cannot be had; every user
// handles that the way it handles a service that failed to start.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/audio_capture.h"
#include "platform/global_keys.h"
#include "platform/jpeg_encoder.h"
#include "platform/keyboard_locks.h"
#include "platform/media_writer.h"
#include "platform/monitors.h"
#include "platform/mouse_watch.h"
#include "platform/screen_backend.h"
#include "platform/screen_grabber_loader.h"
#include "platform/video_export.h"
#include "platform/window_list.h"

namespace marrowdale {

struct PlatformServices {
    // The screen's service: `requested`, or the session's own kind when nothing was requested.
    // Made on the thread that runs the program's event loop.
    std::function<std::unique_ptr<ScreenGrabberLoader>(std::optional<ScreenBackend> requested)>
        screenGrabbers;
    // A JPEG encoder for one thread.
    std::function<std::unique_ptr<JpegEncoder>(JpegQuality quality)> jpegEncoder;
    // The sound server's endpoints.
    std::function<std::unique_ptr<AudioSystem>()> audioSystem;
    // Codec catalogue, profiles and the audio file writer.
    std::function<std::unique_ptr<MediaFormatService>()> mediaFormat;
    // A desktop-wide watch of mouse presses; on failure null and the reason in `error`.
    std::function<std::unique_ptr<MouseWatch>(std::string* error)> mouseWatch;
    // The other programs' windows; on failure null and the reason in `error` (may be null).
    std::function<std::unique_ptr<WindowList>(std::string* error)> windowList;
    // The writer of video files (the export).
    std::function<std::unique_ptr<VideoExporter>()> videoExporter;
    // Keys grabbed from the whole desktop; on failure null and the reason in `error` (may be
    // null).
    std::function<std::unique_ptr<GlobalKeys>(std::string* error)> globalKeys;
    // The lock keys' states; on failure null and the reason in `error` (may be null).
    std::function<std::unique_ptr<KeyboardLocks>(std::string* error)> keyboardLocks;
    // The desktop's monitors, asked now; on failure none and the reason in `error` (may be
    // null).
    std::function<std::optional<std::vector<MonitorArea>>(std::string* error)> monitors;
};

}  // namespace marrowdale
