// The lock keys' states from XKB: the keyboard's named indicators "Caps Lock", "Num Lock" and
// "Scroll Lock", read at once and again whenever XKB reports an indicator change.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include "platform/x11/x11_services.h"

namespace marrowdale {

namespace {

class X11KeyboardLocks final : public KeyboardLocks {
  public:
    X11KeyboardLocks(Display* display, int xkbEvent) : display_(display), xkbEvent_(xkbEvent) {
        XkbSelectEventDetails(display_, XkbUseCoreKbd, XkbIndicatorStateNotify,
                              XkbAllIndicatorsMask, XkbAllIndicatorsMask);
        // Locked modifiers too: a keyboard map without a lamp for a lock still locks it.
        XkbSelectEventDetails(display_, XkbUseCoreKbd, XkbStateNotify, XkbModifierLockMask,
                              XkbModifierLockMask);
        XFlush(display_);
        last_ = read();
    }
    ~X11KeyboardLocks() override { XCloseDisplay(display_); }
    X11KeyboardLocks(const X11KeyboardLocks&) = delete;
    X11KeyboardLocks& operator=(const X11KeyboardLocks&) = delete;

    LockStates states() override {
        last_ = read();
        return last_;
    }

    int fileDescriptor() const override { return ConnectionNumber(display_); }

    bool dispatchPending(const std::function<void(const LockStates&)>& changed) override {
        bool seen = false;
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            seen = seen || event.type == xkbEvent_;
        }
        if (seen) {
            const LockStates now = read();
            if (!(now == last_)) {
                last_ = now;
                if (changed)
                    changed(now);
            }
        }
        return true;
    }

  private:
    // An indicator by name: its state when the keyboard has it, else the locked modifier the
    // matching key sets.
    bool indicator(const char* name, KeySym lockKey, unsigned lockedMods) {
        const Atom atom = XInternAtom(display_, name, True);
        Bool on = False;
        if (atom != None &&
            XkbGetNamedIndicator(display_, atom, nullptr, &on, nullptr, nullptr) == True)
            return on == True;
        const unsigned mask = XkbKeysymToModifiers(display_, lockKey);
        return mask != 0 && (lockedMods & mask) != 0;
    }

    LockStates read() {
        XkbStateRec state{};
        const unsigned locked =
            XkbGetState(display_, XkbUseCoreKbd, &state) == Success ? state.locked_mods : 0;
        LockStates s;
        s.caps = indicator("Caps Lock", XK_Caps_Lock, locked);
        s.num = indicator("Num Lock", XK_Num_Lock, locked);
        s.scroll = indicator("Scroll Lock", XK_Scroll_Lock, locked);
        return s;
    }

    Display* display_;
    int xkbEvent_;
    LockStates last_;
};

}  // namespace

std::unique_ptr<KeyboardLocks> openX11KeyboardLocks(std::string* error) {
    int xkbEvent = 0;
    int xkbError = 0;
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    int reason = 0;
    Display* display = XkbOpenDisplay(nullptr, &xkbEvent, &xkbError, &major, &minor, &reason);
    if (display == nullptr) {
        if (error != nullptr)
            *error = reason == XkbOD_NonXkbServer ? "the X display has no keyboard extension"
                                                  : "cannot open the X display";
        return nullptr;
    }
    return std::make_unique<X11KeyboardLocks>(display, xkbEvent);
}

}  // namespace marrowdale
