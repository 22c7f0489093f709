// The fixed-size capture area: four preset sizes that only fill the width and height boxes,
// and the OK step that moves the right and bottom edges to the top-left corner plus the typed
// width and height. Nothing is validated: a negative or zero size, or one beyond the screen,
// is stored as it comes.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "recorder/state.h"

namespace marrowdale {

struct FixedSizePreset {
    int radioId;                 // the radio button that fills the boxes
    std::u16string_view label;   // its text
    std::u16string_view width;   // text put into the width box
    std::u16string_view height;  // text put into the height box
};

inline constexpr std::array<FixedSizePreset, 4> kFixedSizePresets{{
    {1014, u"1920 by 1080", u"1920", u"1080"},
    {1015, u"1280 by 720", u"1280", u"720"},
    {1016, u"852 by 480", u"852", u"480"},
    {1017, u"1024 by 768", u"1024", u"768"},
}};

// The preset of a radio button, or null for any other id.
const FixedSizePreset* fixedSizePreset(int radioId);

struct RightBottom {
    std::int32_t right;
    std::int32_t bottom;
};

// A dialog's integer read with signed conversion: leading blanks are skipped, an optional
// minus sign, decimal digits up to the first other character. Text without digits, or a value
// outside the signed 32-bit range, gives 0.
std::int32_t dlgItemIntSigned(std::u16string_view text);

// right = left + width and bottom = top + height, with the width and height read from their
// texts as signed dialog integers (text that cannot be converted gives 0). The sums wrap at
// 32 bits instead of overflowing.
RightBottom fixedSizeEdges(std::int32_t left, std::int32_t top, std::u16string_view widthText,
                           std::u16string_view heightText);

// OK of the fixed-size dialog: captureRight and captureBottom from captureLeft and captureTop.
void applyFixedSize(CaptureSettings& settings, std::u16string_view widthText,
                    std::u16string_view heightText);

}  // namespace marrowdale
