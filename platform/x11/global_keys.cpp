// Global keys through Xlib: a passive key grab on the root window for every chord, in each
// combination with the lock modifiers. The grab's events come to this connection alone.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <cctype>
#include <map>
#include <set>
#include <vector>

#include "platform/x11/x11_error_trap.h"
#include "platform/x11/x11_services.h"

namespace marrowdale {

namespace {

// Qt's portable key names that Xlib spells differently.
const std::map<std::string, std::string, std::less<>>& xNames() {
    static const std::map<std::string, std::string, std::less<>> names = {
        {"Esc", "Escape"},
        {"Del", "Delete"},
        {"Ins", "Insert"},
        {"PgUp", "Prior"},
        {"PgDown", "Next"},
        {"Backspace", "BackSpace"},
        {"ScrollLock", "Scroll_Lock"},
        {"NumLock", "Num_Lock"},
        {"CapsLock", "Caps_Lock"},
        {"Enter", "KP_Enter"},
        {"Space", "space"},
        {"Backtab", "ISO_Left_Tab"},
        {"SysReq", "Sys_Req"},
    };
    return names;
}

KeySym keysymFor(const std::string& key) {
    // One character: the Latin-1 keysyms are the characters' codes (letters in lower case, the
    // key's first level).
    if (key.size() == 1) {
        const auto c = static_cast<unsigned char>(key[0]);
        if (c < 0x20 || c > 0x7e)
            return NoSymbol;
        return static_cast<KeySym>(std::tolower(c));
    }
    const auto it = xNames().find(key);
    return XStringToKeysym(it != xNames().end() ? it->second.c_str() : key.c_str());
}

// The modifier bit (Mod1Mask ... Mod5Mask) that a key with `sym` sets, 0 when none does.
unsigned modifierOf(Display* display, const XModifierKeymap* map, KeySym sym) {
    const KeyCode code = XKeysymToKeycode(display, sym);
    if (code == 0 || map == nullptr)
        return 0;
    for (int mod = Mod1MapIndex; mod <= Mod5MapIndex; ++mod)
        for (int k = 0; k < map->max_keypermod; ++k)
            if (map->modifiermap[mod * map->max_keypermod + k] == code)
                return 1u << mod;
    return 0;
}

class X11GlobalKeys final : public GlobalKeys {
  public:
    explicit X11GlobalKeys(Display* display)
        : display_(display), root_(DefaultRootWindow(display)) {
        readModifiers();
        // A key held down repeats as presses alone, so a held chord acts once.
        XkbSetDetectableAutoRepeat(display_, True, nullptr);
    }
    ~X11GlobalKeys() override {
        std::vector<int> ids;
        for (const auto& [id, grab] : grabs_)
            ids.push_back(id);
        for (const int id : ids)
            release(id);
        XCloseDisplay(display_);
    }
    X11GlobalKeys(const X11GlobalKeys&) = delete;
    X11GlobalKeys& operator=(const X11GlobalKeys&) = delete;

    KeyGrabResult grab(int id, const KeyChord& chord) override {
        release(id);
        const KeySym sym = keysymFor(chord.key);
        const KeyCode code = sym == NoSymbol ? 0 : XKeysymToKeycode(display_, sym);
        if (code == 0)
            return KeyGrabResult::kUnknownKey;
        unsigned mods = 0;
        if ((chord.modifiers & kChordShift) != 0)
            mods |= ShiftMask;
        if ((chord.modifiers & kChordCtrl) != 0)
            mods |= ControlMask;
        if ((chord.modifiers & kChordAlt) != 0) {
            if (altMask_ == 0)
                return KeyGrabResult::kUnknownKey;
            mods |= altMask_;
        }
        if ((chord.modifiers & kChordMeta) != 0) {
            if (metaMask_ == 0)
                return KeyGrabResult::kUnknownKey;
            mods |= metaMask_;
        }
        ErrorTrap trap(display_);
        for (const unsigned locks : lockVariants_)
            XGrabKey(display_, code, mods | locks, root_, False, GrabModeAsync, GrabModeAsync);
        if (trap.hitAfterSync(display_)) {
            // Another program holds the chord (BadAccess) in at least one variant: the
            // variants that were had go back, so that the chord is all or nothing.
            for (const unsigned locks : lockVariants_)
                XUngrabKey(display_, code, mods | locks, root_);
            XSync(display_, False);
            return KeyGrabResult::kTaken;
        }
        grabs_[id] = Grab{code, mods};
        return KeyGrabResult::kGrabbed;
    }

    void release(int id) override {
        const auto it = grabs_.find(id);
        if (it == grabs_.end())
            return;
        ErrorTrap trap(display_);
        for (const unsigned locks : lockVariants_)
            XUngrabKey(display_, it->second.code, it->second.mods | locks, root_);
        XSync(display_, False);
        down_.erase(it->second.code);
        grabs_.erase(it);
    }

    int fileDescriptor() const override { return ConnectionNumber(display_); }

    bool dispatchPending(const std::function<void(int id)>& pressed) override {
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == MappingNotify) {
                XRefreshKeyboardMapping(&event.xmapping);
                continue;
            }
            if (event.type == KeyRelease) {
                down_.erase(static_cast<KeyCode>(event.xkey.keycode));
                continue;
            }
            if (event.type != KeyPress)
                continue;
            const auto code = static_cast<KeyCode>(event.xkey.keycode);
            if (!down_.insert(code).second)
                continue;  // held down: a repeat
            const unsigned mods = event.xkey.state & chordMask_;
            for (const auto& [id, grab] : grabs_) {
                if (grab.code == code && grab.mods == mods && pressed)
                    pressed(id);
            }
        }
        return true;
    }

  private:
    struct Grab {
        KeyCode code;
        unsigned mods;
    };

    void readModifiers() {
        XModifierKeymap* map = XGetModifierMapping(display_);
        altMask_ = modifierOf(display_, map, XK_Alt_L);
        if (altMask_ == 0)
            altMask_ = modifierOf(display_, map, XK_Meta_L);
        metaMask_ = modifierOf(display_, map, XK_Super_L);
        const unsigned numLock = modifierOf(display_, map, XK_Num_Lock);
        const unsigned scrollLock = modifierOf(display_, map, XK_Scroll_Lock);
        if (map != nullptr)
            XFreeModifiermap(map);
        // Every combination of the lock modifiers that this keyboard has.
        std::set<unsigned> variants;
        for (const unsigned caps : {0u, static_cast<unsigned>(LockMask)})
            for (const unsigned num : {0u, numLock})
                for (const unsigned scroll : {0u, scrollLock})
                    variants.insert(caps | num | scroll);
        lockVariants_.assign(variants.begin(), variants.end());
        chordMask_ = ShiftMask | ControlMask | altMask_ | metaMask_;
    }

    Display* display_;
    Window root_;
    unsigned altMask_ = 0;
    unsigned metaMask_ = 0;
    unsigned chordMask_ = 0;
    std::vector<unsigned> lockVariants_;
    std::map<int, Grab> grabs_;
    std::set<KeyCode> down_;
};

}  // namespace

std::unique_ptr<GlobalKeys> openX11GlobalKeys(std::string* error) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        if (error != nullptr)
            *error = "cannot open the X display";
        return nullptr;
    }
    return std::make_unique<X11GlobalKeys>(display);
}

}  // namespace marrowdale
