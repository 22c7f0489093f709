// Xlib's protocol errors, caught for the requests of one display. Every X11 service of this
// program that expects an error from a request (a key another program holds, an image of a window
// that went away) traps it with this one class, so that no two traps interleave their
// replacement of the process-wide handler.
#pragma once

#include <X11/Xlib.h>

#include <atomic>
#include <mutex>

namespace marrowdale {

// Xlib reports protocol errors through one process-wide handler, whose default ends the
// program. An ErrorTrap replaces it for the requests of one display while it lives: errors on
// that display are recorded, errors on any other display go on to the handler it replaced. The
// lock keeps two traps from interleaving their replacement.
class ErrorTrap {
  public:
    explicit ErrorTrap(Display* display) : lock_(mutex()) {
        trapped().store(display);
        hit().store(false);
        code().store(0);
        previous() = XSetErrorHandler(handle);
    }
    ~ErrorTrap() {
        XSetErrorHandler(previous());
        trapped().store(nullptr);
    }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    // Waits for the server to answer everything sent so far, so that late errors are counted.
    bool hitAfterSync(Display* display) const {
        XSync(display, False);
        return hit().load();
    }
    bool wasHit() const { return hit().load(); }
    // The error code of the first error trapped (0: none).
    int firstError() const { return code().load(); }

  private:
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static std::atomic<Display*>& trapped() {
        static std::atomic<Display*> d{nullptr};
        return d;
    }
    static std::atomic<bool>& hit() {
        static std::atomic<bool> h{false};
        return h;
    }
    static std::atomic<int>& code() {
        static std::atomic<int> c{0};
        return c;
    }
    static XErrorHandler& previous() {
        static XErrorHandler h = nullptr;
        return h;
    }
    static int handle(Display* display, XErrorEvent* event) {
        if (display == trapped().load()) {
            if (!hit().exchange(true))
                code().store(event->error_code);
            return 0;
        }
        XErrorHandler next = previous();
        return next != nullptr ? next(display, event) : 0;
    }

    std::lock_guard<std::mutex> lock_;
};

}  // namespace marrowdale
