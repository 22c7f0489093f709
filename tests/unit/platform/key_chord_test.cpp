// Key chords in the portable text of the program's shortcuts, as the global keys take them.
#include "platform/global_keys.h"

#include <gtest/gtest.h>

namespace marrowdale {
namespace {

struct ChordCase {
    const char* text;
    std::optional<KeyChord> chord;
};

class ChordText : public ::testing::TestWithParam<ChordCase> {};

TEST_P(ChordText, ParsesOrRefuses) {
    EXPECT_EQ(parseKeyChord(GetParam().text), GetParam().chord) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ChordText,
    ::testing::Values(ChordCase{"Ctrl+Alt+Shift+F9",
                                KeyChord{kChordCtrl | kChordAlt | kChordShift, "F9"}},
                      ChordCase{"shift+ctrl+R", KeyChord{kChordShift | kChordCtrl, "R"}},
                      ChordCase{"Meta+Print", KeyChord{kChordMeta, "Print"}},
                      ChordCase{"Super+Print", KeyChord{kChordMeta, "Print"}},
                      ChordCase{"F12", KeyChord{0, "F12"}},
                      // "+" and "," are keys too.
                      ChordCase{"Ctrl++", KeyChord{kChordCtrl, "+"}},
                      ChordCase{"Ctrl+,", KeyChord{kChordCtrl, ","}},
                      ChordCase{"+", KeyChord{0, "+"}},
                      // Not one chord with one key.
                      ChordCase{"", std::nullopt}, ChordCase{"Ctrl+", std::nullopt},
                      ChordCase{"Ctrl", std::nullopt}, ChordCase{"Ctrl+Shift", std::nullopt},
                      ChordCase{"Ctrl+Ctrl+A", std::nullopt}, ChordCase{"Hyper+A", std::nullopt},
                      ChordCase{"Ctrl+A, Ctrl+B", std::nullopt}, ChordCase{"F9+", std::nullopt}),
    [](const auto& test) { return "Case" + std::to_string(test.index); });

}  // namespace
}  // namespace marrowdale
