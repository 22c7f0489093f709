#include "recorder/frame_names.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "recorder/path_text.h"

namespace marrowdale {

namespace {
std::size_t decimalDigits(std::uint64_t n) {
    std::size_t digits = 1;
    while (n >= 10) {
        n /= 10;
        ++digits;
    }
    return digits;
}
}  // namespace

std::string_view frameExtension(std::uint8_t imageFormat) {
    return imageFormat == 0 ? std::string_view(".bmp") : std::string_view(".jpg");
}

bool composeFrameName(std::string_view prefix, std::size_t prefixUnits, std::uint64_t number,
                      std::uint8_t imageFormat, FrameName& out) {
    out.length = 0;
    out.text[0] = '\0';
    const std::size_t digits = decimalDigits(number) < 6 ? 6 : decimalDigits(number);
    const std::string_view ext = frameExtension(imageFormat);
    if (prefixUnits + digits + ext.size() > kFrameNameMaxChars)
        return false;
    if (prefix.size() + digits + ext.size() + 1 > out.text.size())
        return false;
    std::memcpy(out.text.data(), prefix.data(), prefix.size());
    const int written =
        std::snprintf(out.text.data() + prefix.size(), out.text.size() - prefix.size(),
                      "%06" PRIu64 "%.*s", number, static_cast<int>(ext.size()), ext.data());
    if (written < 0) {
        out.text[0] = '\0';
        return false;
    }
    out.length = prefix.size() + static_cast<std::size_t>(written);
    return true;
}

bool composeFrameName(std::string_view prefix, std::uint64_t number, std::uint8_t imageFormat,
                      FrameName& out) {
    return composeFrameName(prefix, utf16Length(prefix), number, imageFormat, out);
}

bool prefixFitsFrameNames(std::string_view prefix) {
    return utf16Length(prefix) + kFrameNameTailChars <= kFrameNameMaxChars;
}

}  // namespace marrowdale
