// Work that runs beside the GUI thread while the GUI thread keeps serving its windows (painting,
// a progress box and its Cancel button) in a nested event loop: the owner of the thread such
// work runs on. The recordings' workers have their own owner, the recording session.
#pragma once

#include <functional>

namespace marrowdale {

// Tells the GUI thread that there is news (progress). Any thread, as often as the work likes:
// calls made while one is still waiting to be served are merged into it.
using NotifyGui = std::function<void()>;

struct BackgroundWork {
    // Runs on a thread of its own; `notify` makes `onNotify` run on the GUI thread.
    std::function<void(const NotifyGui& notify)> work;
    // GUI thread: after each merged notification, while the work runs.
    std::function<void()> onNotify;
    // GUI thread: the event loop was ended from outside (the application is quitting) while the
    // work still runs; it should end soon (it is waited for all the same).
    std::function<void()> onAbandoned;
};

// GUI thread. Runs the work and serves the event loop until the work has ended; returns then.
void runWhileServing(const BackgroundWork& background);

}  // namespace marrowdale
