// A screen cast of one monitor through the freedesktop screen-cast portal
// (org.freedesktop.portal.ScreenCast over the session bus): CreateSession, SelectSources,
// Start, OpenPipeWireRemote. The session stays open while the object lives; the portal ends it
// when its owner leaves the bus.
//
// Made and used on one thread, which must be able to run a Qt event loop (the GUI thread of the
// desktop program, the main thread of marrowdale-record). Start may show the desktop's dialog
// that asks the user for permission; the call waits for the answer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/portal/screen_cast_status.h"

namespace marrowdale {

struct ScreenCastStart {
    ScreenCastStatus status = ScreenCastStatus::kFailed;
    std::string error;    // what went wrong, when status is not kOk
    int pipewireFd = -1;  // the PipeWire remote of the cast; the caller closes it
    std::uint32_t node = 0;
    std::int32_t x = 0, y = 0;           // the monitor's place on the desktop, when told
    std::int32_t width = 0, height = 0;  // its size, when told
    std::string restoreToken;            // lets a later run start without asking, where offered
};

class ScreenCastPortal {
  public:
    virtual ~ScreenCastPortal() = default;
};

// Starts a cast of one monitor, without its pointer where the portal offers that. A non-empty
// `restoreToken` (from an earlier run) asks to start without a dialog; the result carries the
// token to keep for the next run. On anything but kOk the returned object is null.
std::unique_ptr<ScreenCastPortal> startScreenCast(const std::string& restoreToken,
                                                  ScreenCastStart& result);

}  // namespace marrowdale
