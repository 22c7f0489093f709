#include "recorder/close_others_arming.h"

namespace marrowdale {

void armCloseOthersTimer(CaptureSettings& settings, RecorderState& state, UiBridge& ui) {
    if (settings.closeOthersOnStop.load() == 0) {
        return;
    }
    const WindowHandle frame = state.frameWindow.load();
    const TimerId running = state.closeOthersTimerId.load();
    if (running != 0) {
        if (!ui.killTimer(frame, running)) {
            ui.messageBox(nullptr, "KillTimer(TimerHandle) failed.", "OnCommandStartBoth()");
        }
        state.closeOthersTimerId = 0;
    }
    state.closeOthersTimerId = ui.setCloseOthersTimer(frame, kCloseOthersTimerId,
                                                      kCloseOthersTimerIntervalMs);
    state.closeOthersPending = 1;
}

}  // namespace marrowdale
