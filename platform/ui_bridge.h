// The channel from the workers (and the core logic) to whatever shows things to the user.
// In the desktop program every call runs on the GUI thread and the calling thread waits until
// it is done (a message box waits for its OK). In the command-line recorder messages go to
// stderr and window operations do nothing. Tests record the calls.
#pragma once

#include <string_view>

#include "platform/handles.h"

namespace marrowdale {

// The captions the program uses for its message boxes.
inline constexpr std::string_view kCaptionApp = "Marrowdale";  // general messages
inline constexpr std::string_view kCaptionPlumet = "Plumet";   // output folder and BMP writer

class UiBridge {
  public:
    virtual ~UiBridge() = default;

    // Any thread; blocks until the user has dismissed the box. Texts are UTF-8 and use "\n" for
    // line breaks.
    //
    // The program's general message, captioned kCaptionApp: owned by `owner` while that window
    // lives, otherwise the application's own box (owned by the active window). `owner` may be
    // null.
    virtual void generalMessage(WindowHandle owner, std::string_view text) = 0;
    // A box with a caption of its own (kCaptionPlumet, or the name of a routine), owned by
    // `owner`, which may be null.
    virtual void messageBox(WindowHandle owner, std::string_view text,
                            std::string_view caption) = 0;

    // Any thread. A one-line notice that needs no answer: the status bar of `window` (the main
    // frame) in the desktop program, a line on stderr in the command-line recorder.
    virtual void showNotice(WindowHandle window, std::string_view text) = 0;

    // Any thread; returns when the title is set.
    virtual void setWindowTitle(WindowHandle window, std::string_view title) = 0;

    // Any thread; brings the window to the foreground.
    virtual void setForegroundWindow(WindowHandle window) = 0;

    // Any thread. Arms timer `id` on `window` to fire every `intervalMs`; arming an armed timer
    // again restarts it with the new interval. What a firing timer does is the program's
    // business (its callback runs on the GUI thread). Returns the timer's identifier, 0 on
    // failure.
    virtual TimerId setTimer(WindowHandle window, TimerId id, unsigned intervalMs) = 0;

    // Any thread. Kills a timer armed by setTimer; false when that fails.
    virtual bool killTimer(WindowHandle window, TimerId id) = 0;
};

}  // namespace marrowdale
