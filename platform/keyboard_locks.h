// The lock keys' states (Caps Lock, Num Lock, Scroll Lock) as the display keeps them for the
// whole keyboard, whichever window has the focus, with word of every change. The owner polls
// fileDescriptor() (a socket notifier in the desktop program) and calls dispatchPending() on its
// own thread. All operations: owner thread only.
#pragma once

#include <functional>

namespace marrowdale {

struct LockStates {
    bool caps = false;
    bool num = false;
    bool scroll = false;
    bool operator==(const LockStates&) const = default;
};

class KeyboardLocks {
  public:
    virtual ~KeyboardLocks() = default;
    // The states now.
    virtual LockStates states() = 0;
    // Readable whenever a change may be waiting.
    virtual int fileDescriptor() const = 0;
    // Reads what arrived; hands the new states to `changed` when they changed. False once the
    // connection to the display has ended.
    virtual bool dispatchPending(const std::function<void(const LockStates&)>& changed) = 0;
};

}  // namespace marrowdale
