// The workers of the desktop program's recordings, over the platform services its start-up code
// built. The screen's grabber comes from the program's screen loader (X11, or the screen-cast
// portal on a Wayland desktop), prepared on the GUI thread before the recording starts; a screen
// that goes away during the recording stops it like the stop command, with the reason shown. A
// recording that lost frames (not written, or repeating the picture before them) says so when it
// ends, with the space its frames take.
#pragma once

#include "platform/platform_services.h"
#include "platform/screen_grabber_loader.h"
#include "shell/marrowdale_app.h"

namespace marrowdale {

// `platform` and `screens` belong to the GUI thread and outlive every worker; the bodies run on
// the recording session's worker threads.
AppWorkers desktopWorkers(const PlatformServices& platform, ScreenGrabberLoader& screens);

}  // namespace marrowdale
