// One installed mouse watch of the area selection and the delivery of its presses, without any
// toolkit: the owner polls fileDescriptor() (a socket notifier in the desktop program) and calls
// dispatch() when it is readable.
//
// remove() stops the delivery at once, even in the middle of a batch of presses read together
// (a double click), since the selection ends at the second press and must not see the rest.
// The object may be removed from inside its own delivery callback; the owner destroys it only
// after dispatch() has returned (the desktop program defers that to its event loop).
// GUI thread only.
#pragma once

#include <functional>
#include <memory>

#include "platform/mouse_watch.h"

namespace marrowdale {

class WatchDelivery {
  public:
    using Deliver = std::function<void(const MouseWatchEvent&)>;

    WatchDelivery(std::unique_ptr<MouseWatch> watch, Deliver deliver);
    WatchDelivery(const WatchDelivery&) = delete;
    WatchDelivery& operator=(const WatchDelivery&) = delete;

    int fileDescriptor() const { return watch_->fileDescriptor(); }

    // Delivers what the watch has read. False once removed, or when the watch has broken.
    bool dispatch();
    // Delivers each press the server processed before this call. A window's own press handler
    // calls it first, so the watch always takes a press before the window does.
    bool syncAndDispatch();

    void remove() { installed_ = false; }
    bool installed() const { return installed_; }

  private:
    bool deliverFrom(bool sync);

    std::unique_ptr<MouseWatch> watch_;
    Deliver deliver_;
    bool installed_ = true;
};

}  // namespace marrowdale
