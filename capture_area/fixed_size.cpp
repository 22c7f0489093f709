#include "capture_area/fixed_size.h"

#include <limits>

namespace marrowdale {

namespace {

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

std::int32_t wrappingAdd(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

}  // namespace

std::int32_t dlgItemIntSigned(std::u16string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < text.size() && text[i] == u'-') {
        negative = true;
        ++i;
    }
    if (i >= text.size() || !isDigit(text[i]))
        return 0;
    constexpr std::int64_t kCeiling = std::int64_t{1} << 32;
    std::int64_t magnitude = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        magnitude = magnitude * 10 + (text[i] - u'0');
        if (magnitude > kCeiling)
            magnitude = kCeiling;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<std::int32_t>::max() ||
        value < std::numeric_limits<std::int32_t>::min())
        return 0;
    return static_cast<std::int32_t>(value);
}

const FixedSizePreset* fixedSizePreset(int radioId) {
    for (const auto& preset : kFixedSizePresets)
        if (preset.radioId == radioId)
            return &preset;
    return nullptr;
}

RightBottom fixedSizeEdges(std::int32_t left, std::int32_t top, std::u16string_view widthText,
                           std::u16string_view heightText) {
    const std::int32_t width = dlgItemIntSigned(widthText);
    const std::int32_t height = dlgItemIntSigned(heightText);
    return {wrappingAdd(left, width), wrappingAdd(top, height)};
}

void applyFixedSize(CaptureSettings& settings, std::u16string_view widthText,
                    std::u16string_view heightText) {
    const RightBottom edges =
        fixedSizeEdges(settings.captureLeft, settings.captureTop, widthText, heightText);
    settings.captureRight = edges.right;
    settings.captureBottom = edges.bottom;
}

}  // namespace marrowdale
