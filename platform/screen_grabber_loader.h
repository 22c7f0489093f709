// The one place that picks the service behind the screen grabbers of a program and makes it
// ready: the X server, or the screen-cast portal of a Wayland desktop with its PipeWire stream.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/screen_backend.h"
#include "platform/screen_grabber.h"

namespace marrowdale {

enum class ScreenSourceStatus {
    kOk,
    kUnavailable,  // no X display / no session bus or screen-cast portal
    kRefused,      // the user did not allow the screen to be recorded
    kFailed,       // the service is there but could not start
};

struct ScreenSourceResult {
    ScreenSourceStatus status = ScreenSourceStatus::kOk;
    std::string error;  // the text shown to the user when status is not kOk
};

// Made, prepared and asked for grabbers on the thread that runs the program's event loop (the
// GUI thread of the desktop program, the main thread of marrowdale-record); the grabbers it
// makes are then used on a capture worker's thread.
class ScreenGrabberLoader {
  public:
    virtual ~ScreenGrabberLoader() = default;

    virtual ScreenBackend backend() const = 0;

    // Before a recording starts. X11: the display can be reached. Portal: the first call of a
    // run asks the desktop for permission (its dialog waits for the user; a restore token kept
    // in the settings from an earlier run lets it start without asking where the desktop
    // allows), then opens the stream and waits briefly for its first picture. Later calls
    // reuse that cast, or start a new one when it has ended.
    virtual ScreenSourceResult prepare() = 0;

    // A grabber for one recording, after prepare() has succeeded.
    virtual std::unique_ptr<ScreenGrabber> createGrabber() = 0;

    // What the user is told when a grabber's connection was lost during a recording.
    virtual std::string lostMessage() const = 0;
};

}  // namespace marrowdale
