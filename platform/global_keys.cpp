#include "platform/global_keys.h"

#include <algorithm>
#include <cctype>

namespace marrowdale {

namespace {

bool sameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::uint32_t modifierNamed(std::string_view name) {
    if (sameLetters(name, "Shift"))
        return kChordShift;
    if (sameLetters(name, "Ctrl") || sameLetters(name, "Control"))
        return kChordCtrl;
    if (sameLetters(name, "Alt"))
        return kChordAlt;
    if (sameLetters(name, "Meta") || sameLetters(name, "Super"))
        return kChordMeta;
    return 0;
}

}  // namespace

std::optional<KeyChord> parseKeyChord(std::string_view text) {
    KeyChord chord;
    // Every part but the last is a modifier. The key itself may be "+" ("Ctrl++").
    while (!text.empty()) {
        const std::size_t plus = text.find('+', 1);
        if (plus == std::string_view::npos)
            break;
        if (plus + 1 == text.size())
            return std::nullopt;  // a modifier with no key after it
        const std::uint32_t modifier = modifierNamed(text.substr(0, plus));
        if (modifier == 0 || (chord.modifiers & modifier) != 0)
            return std::nullopt;
        chord.modifiers |= modifier;
        text.remove_prefix(plus + 1);
    }
    // A space only ever separates chords ("Ctrl+A, Ctrl+B"): the keys' own names have none.
    if (text.empty() || text.find(' ') != std::string_view::npos || modifierNamed(text) != 0)
        return std::nullopt;
    chord.key = std::string(text);
    return chord;
}

}  // namespace marrowdale
