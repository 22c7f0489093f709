// The end step shared by both workers: when "Close other windows when stopping." is ticked,
// (re)arm the close-other-windows timer on frameWindow and mark it pending.
#pragma once

#include "platform/ui_bridge.h"
#include "recorder/state.h"

namespace marrowdale {

// Any thread (the bridge carries the timer calls to the GUI thread).
void armCloseOthersTimer(CaptureSettings& settings, RecorderState& state, UiBridge& ui);

}  // namespace marrowdale
