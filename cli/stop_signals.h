// SIGINT and SIGTERM as a request to stop: blocked in every thread (the threads started later
// inherit the mask) and taken by the main thread, so a signal only ever turns into the stop
// command, the cancel of an export or of a fill.
#pragma once

#include <signal.h>
#include <time.h>

namespace marrowdale {

class StopSignals {
  public:
    StopSignals() {
        sigemptyset(&set_);
        sigaddset(&set_, SIGINT);
        sigaddset(&set_, SIGTERM);
        blocked_ = pthread_sigmask(SIG_BLOCK, &set_, &previous_) == 0;
    }
    ~StopSignals() {
        if (blocked_)
            pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool blocked() const { return blocked_; }
    // Waits up to `timeoutMs` for a stop signal; true when one came.
    bool wait(long timeoutMs) {
        timespec timeout{};
        timeout.tv_sec = timeoutMs / 1000;
        timeout.tv_nsec = (timeoutMs % 1000) * 1'000'000L;
        return sigtimedwait(&set_, nullptr, &timeout) > 0;
    }

    // Whether a stop signal has come (taken, without waiting).
    bool arrived() {
        sigset_t pending;
        if (sigpending(&pending) != 0)
            return false;
        if (!sigismember(&pending, SIGINT) && !sigismember(&pending, SIGTERM))
            return false;
        return wait(0);
    }

  private:
    sigset_t set_{};
    sigset_t previous_{};
    bool blocked_ = false;
};

}  // namespace marrowdale
