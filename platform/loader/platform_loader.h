// The one place that picks the implementations of the platform services on this machine: the
// X server or the screen-cast portal for the screen, libjpeg-turbo, PulseAudio (or PipeWire's
// pulse server), FFmpeg, and the X display's mouse watch and window list. The programs' start-up
// code (their composition roots) calls it and hands the result down; nothing else includes this
// header.
#pragma once

#include <memory>
#include <optional>

#include "platform/platform_services.h"
#include "platform/screen_grabber_loader.h"

namespace marrowdale {

// Every service of this machine.
PlatformServices loadPlatformServices();

// The screen's loader for `requested`, or for the session's own kind when nothing was requested
// (chooseScreenBackend with $WAYLAND_DISPLAY).
std::unique_ptr<ScreenGrabberLoader> loadScreenGrabbers(std::optional<ScreenBackend> requested);

}  // namespace marrowdale
