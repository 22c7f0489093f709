#include "tools/close_others.h"

#include "tools/close_others_filter.h"

namespace marrowdale {

void initCloseOthersDialog(RecorderState& state, CloseOthersDialogView& dialog,
                           WindowList& windows) {
    dialog.setTitle(kCloseOthersDialogTitle);
    dialog.appendLine(kCloseOthersListHeader);
    state.closeOthersList = dialog.listBox();

    const WindowSnapshot snapshot(windows.topLevelWindows());
    for (const WindowRecord& window : snapshot.records()) {
        if (auto title = CloseOtherWindowsEnumProc(window, snapshot)) {
            dialog.appendLine(*title);
            // Like a posted close message, the request's fate is not followed up.
            (void)windows.requestClose(window.id);
        }
    }

    dialog.appendLine(kCloseOthersListFooter);
    const int lines = dialog.lineCount();
    if (lines >= 1) {
        dialog.selectLine(lines - 1);
    }
}

void OnTimerCloseOtherWindows(RecorderState& state, UiBridge& ui, CloseOthersDialogHost& host,
                              Clock& clock) {
    // Taking the mark here rather than clearing it after the pause keeps an arming that comes
    // in meanwhile: it sets the mark again and its timer opens the next dialog.
    if (state.closeOthersPending.exchange(0) == 0) {
        return;  // the timer keeps running until an arming marks it pending
    }
    const TimerId timer = state.closeOthersTimerId.exchange(0);
    if (timer != 0) {
        if (!ui.killTimer(state.frameWindow.load(), timer)) {
            ui.messageBox(nullptr, "KillTimer(TimerHandle) failed.", "OnTimerCloseOtherWindows()");
        }
    }

    const WindowHandle dialog = host.createDialog();
    state.closeOthersDialog = dialog;
    if (dialog != nullptr) {
        host.showDialog(dialog);
    }
    clock.sleepMs(kCloseOthersPauseMs);
}

}  // namespace marrowdale
