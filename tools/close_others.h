// Closing the other programs' windows when a recording stops: the timer callback that the end
// of a recording arms, and the initialisation of the dialog that lists what was closed.
//
// Both run on the GUI thread. They reach the dialog and the windows through small interfaces,
// so they run the same against the Qt dialog and against fakes in tests.
#pragma once

#include <string_view>

#include "platform/clock.h"
#include "platform/ui_bridge.h"
#include "platform/window_list.h"
#include "recorder/state.h"

namespace marrowdale {

inline constexpr int kCloseOthersDialogTemplate = 326;
inline constexpr int kCloseOthersListBoxId = 1022;
inline constexpr std::string_view kCloseOthersDialogTitle = "Marrowdale - Close other windows";
inline constexpr std::string_view kCloseOthersListHeader = "Closed windows title bar texts";
inline constexpr std::string_view kCloseOthersListFooter = "End of the list";
// The GUI thread pauses this long after showing the dialog.
inline constexpr std::uint32_t kCloseOthersPauseMs = 300;

// The close-others dialog as its initialisation sees it. GUI thread only.
class CloseOthersDialogView {
  public:
    virtual ~CloseOthersDialogView() = default;
    virtual void setTitle(std::string_view title) = 0;
    // Appends a line at the end of list box 1022.
    virtual void appendLine(std::string_view line) = 0;
    virtual int lineCount() const = 0;
    virtual void selectLine(int index) = 0;
    // The list box, as recorded in RecorderState::closeOthersList.
    virtual WindowHandle listBox() = 0;
};

// Creates and shows close-others dialogs. GUI thread only.
class CloseOthersDialogHost {
  public:
    virtual ~CloseOthersDialogHost() = default;
    // Creates a new modeless dialog on template 326 with no parent. Its initialisation
    // (initCloseOthersDialog) has run, and every close request is sent, when this returns.
    // Returns the dialog's handle, null when it could not be created.
    virtual WindowHandle createDialog() = 0;
    virtual void showDialog(WindowHandle dialog) = 0;
};

// The dialog's own initialisation, after the base one: title, header line, one line per window
// sent a close request (in the order of `windows`), footer line, last line selected.
void initCloseOthersDialog(RecorderState& state, CloseOthersDialogView& dialog,
                           WindowList& windows);

// Timer 100's callback on frameWindow. Opens one dialog per arming: the pending mark is taken
// atomically when the callback starts, so an arming that lands while the dialog is being
// opened or during the pause stays pending and gets its own dialog at the next tick.
void OnTimerCloseOtherWindows(RecorderState& state, UiBridge& ui, CloseOthersDialogHost& host,
                              Clock& clock);

}  // namespace marrowdale
