// The screen worker of the desktop program: the grabber comes from the program's screen loader
// (X11, or the screen-cast portal on a Wayland desktop), prepared on the GUI thread before the
// recording starts, and a screen that goes away during the recording stops it like the stop
// command, with the reason shown.
#pragma once

#include <string>

#include "platform/screen_grabber_loader.h"
#include "platform/ui_bridge.h"
#include "recorder/capture_stats.h"

namespace marrowdale {

// A worker thread. `loader` belongs to the GUI thread and outlives every worker.
// `stats` (may be null) receives the worker's figures; its start time is the recording's zero.
void runScreenRecording(ScreenGrabberLoader& loader, UiBridge& ui,
                        const std::string& currentDirectory, CaptureRunStats* stats = nullptr);

}  // namespace marrowdale
