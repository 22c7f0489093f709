// The arming of the close-other-windows timer at the end of a recording: when "Close other
// windows when stopping." is ticked, each worker that ends (re)arms the timer on frameWindow
// and marks it pending; the timer's callback (tools/close_others.h) opens the dialog.
#pragma once

#include "platform/handles.h"
#include "platform/ui_bridge.h"
#include "recorder/state.h"
#include "recorder/worker_end_hook.h"

namespace marrowdale {

// The close-other-windows timer: id 100, every 200 ms.
inline constexpr TimerId kCloseOthersTimerId = 100;
inline constexpr unsigned kCloseOthersTimerIntervalMs = 200;

// Any thread (the bridge carries the timer calls to the GUI thread).
void armCloseOthersTimer(CaptureSettings& settings, RecorderState& state, UiBridge& ui);

// The arming as the end step of the workers' runs. The records and the bridge must outlive
// every run it is given to.
class CloseOthersArming final : public WorkerEndHook {
  public:
    CloseOthersArming(CaptureSettings& settings, RecorderState& state, UiBridge& ui)
        : settings_(settings), state_(state), ui_(ui) {}

    void workerEnded() override { armCloseOthersTimer(settings_, state_, ui_); }

  private:
    CaptureSettings& settings_;
    RecorderState& state_;
    UiBridge& ui_;
};

}  // namespace marrowdale
