// The screen-cast portal's loader; served by portal_loader.cpp, or by portal_loader_missing.cpp
// in a build without Qt D-Bus or libpipewire.
#pragma once

#include <memory>

#include "platform/screen_grabber_loader.h"

namespace marrowdale {

std::unique_ptr<ScreenGrabberLoader> createPortalLoader();

}  // namespace marrowdale
