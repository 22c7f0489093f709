// How a screen cast through the portal turned out; shared by the cast and the reading of the
// portal's answers.
#pragma once

namespace marrowdale {

enum class ScreenCastStatus {
    kOk,
    kNoPortal,  // no session bus, or the desktop offers no screen-cast portal
    kRefused,   // the user (or the desktop's policy) did not allow the cast
    kFailed,    // the portal answered with an error, or did not answer in time
};

}  // namespace marrowdale
