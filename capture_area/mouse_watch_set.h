// The mouse watches of the area selection and the delivery of their presses, without any
// toolkit: the owner polls each watch's file descriptor (a socket notifier in the desktop
// program) and calls dispatch() when it is readable.
//
// Removing a watch stops its delivery at once, even in the middle of a batch of presses read
// together (a double click), as the selection ends at the second press. The watch object
// itself is released only when no delivery is running, so a removal from inside the delivery
// callback is safe. GUI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/mouse_watch.h"
#include "recorder/state.h"

namespace marrowdale {

class MouseWatchSet {
  public:
    using Factory = std::function<std::unique_ptr<MouseWatch>(std::string* error)>;
    using Deliver = std::function<void(const MouseWatchEvent&)>;

    MouseWatchSet(Factory factory, Deliver deliver);
    ~MouseWatchSet();
    MouseWatchSet(const MouseWatchSet&) = delete;
    MouseWatchSet& operator=(const MouseWatchSet&) = delete;

    // Opens a new watch. Returns its handle and its file descriptor in `fd`, or null (and the
    // reason in lastError()) when it cannot be opened.
    HookHandle install(int* fd);

    // Ends delivery from the watch; unknown or already removed handles are ignored.
    void remove(HookHandle handle);

    // Delivers what the watch has read. False when the watch is unknown, removed or broken.
    bool dispatch(HookHandle handle);

    // Delivers, from every installed watch, each press the server processed before this call.
    // A window's own press handler calls it first, so the watch's view of a press always comes
    // before the window's.
    void syncAndDispatch();

    // Number of installed (not removed) watches.
    std::size_t installedCount() const;
    const std::string& lastError() const { return lastError_; }

  private:
    struct Entry {
        std::uintptr_t id = 0;
        std::unique_ptr<MouseWatch> watch;
        bool installed = true;
    };

    Entry* find(HookHandle handle);
    bool deliverFrom(Entry& entry, bool sync);
    void releaseRemoved();

    Factory factory_;
    Deliver deliver_;
    std::vector<std::unique_ptr<Entry>> entries_;
    std::uintptr_t nextId_ = 1;
    int delivering_ = 0;
    std::string lastError_;
};

}  // namespace marrowdale
