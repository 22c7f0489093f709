#include "tools/close_others_arming.h"

namespace marrowdale {

void armCloseOthersTimer(CaptureSettings& settings, RecorderState& state, UiBridge& ui) {
    if (settings.closeOthersOnStop.load() == 0) {
        return;
    }
    const WindowHandle frame = state.frameWindow.load();
    // Whoever takes the recorded id (this arming or the timer callback) kills that timer, so a
    // timer is never killed twice.
    const TimerId running = state.closeOthersTimerId.exchange(0);
    if (running != 0) {
        if (!ui.killTimer(frame, running)) {
            ui.messageBox(nullptr, "KillTimer(TimerHandle) failed.", "OnCommandStartBoth()");
        }
    }
    // Marked pending before the timer exists: its first tick always finds the mark, and the
    // callback, which takes the mark as it starts, cannot clear this arming's mark afterwards.
    state.closeOthersPending = 1;
    state.closeOthersTimerId = ui.setTimer(frame, kCloseOthersTimerId, kCloseOthersTimerIntervalMs);
}

}  // namespace marrowdale
