// Keys that act whatever window has the focus: key chords taken from the whole desktop for as
// long as they are grabbed (on X11 a passive grab on the root window, in every combination with
// the lock keys, so that Caps Lock or Num Lock being on does not make the chord dead). A chord
// that another program holds already cannot be had: grab() says so instead of leaving a key that
// silently does nothing.
//
// The owner polls fileDescriptor() (a socket notifier in the desktop program) and calls
// dispatchPending() on its own thread, like the mouse watch. All operations: owner thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace marrowdale {

// Modifiers of a chord.
inline constexpr std::uint32_t kChordShift = 0x1;
inline constexpr std::uint32_t kChordCtrl = 0x2;
inline constexpr std::uint32_t kChordAlt = 0x4;
inline constexpr std::uint32_t kChordMeta = 0x8;  // the logo key ("Super")

// One chord: modifiers and a key named as in the portable text of Qt's key sequences ("F9",
// "R", "5", "Print", "Pause", "Space", "Esc", "PgUp", ...).
struct KeyChord {
    std::uint32_t modifiers = 0;
    std::string key;
    bool operator==(const KeyChord&) const = default;
};

// "Ctrl+Alt+Shift+F9" (modifiers in any order, case of the modifier names ignored) as a chord;
// none for text that is not exactly one chord with one key.
std::optional<KeyChord> parseKeyChord(std::string_view text);

enum class KeyGrabResult : std::uint8_t {
    kGrabbed,
    kTaken,       // another program holds the chord
    kUnknownKey,  // no key of this keyboard gives it
};

class GlobalKeys {
  public:
    virtual ~GlobalKeys() = default;

    // Grabs `chord` under `id`, after releasing what `id` held. On any result but kGrabbed,
    // `id` holds nothing.
    virtual KeyGrabResult grab(int id, const KeyChord& chord) = 0;
    // Releases what `id` holds (nothing when it holds nothing).
    virtual void release(int id) = 0;

    // Readable whenever presses may be waiting.
    virtual int fileDescriptor() const = 0;
    // Hands the id of every grabbed chord pressed since the last call to `pressed`, in order.
    // False once the connection to the display has ended.
    virtual bool dispatchPending(const std::function<void(int id)>& pressed) = 0;
};

}  // namespace marrowdale
