#include "options/text_conversions.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace marrowdale {

namespace {

bool isWideSpace(char16_t c) {
    // The white space of the C runtime's wide classification for the Latin range, plus the
    // Unicode spaces an edit box may receive by pasting.
    switch (c) {
        case u' ':
        case u'\t':
        case u'\n':
        case u'\v':
        case u'\f':
        case u'\r':
        case u'\u0085':
        case u'\u00a0':
        case u'\u1680':
        case u'\u2028':
        case u'\u2029':
        case u'\u202f':
        case u'\u205f':
        case u'\u3000':
            return true;
        default:
            return c >= u'\u2000' && c <= u'\u200a';
    }
}

bool isNarrowSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

template <typename Char>
bool isDigit(Char c) {
    return c >= Char('0') && c <= Char('9');
}

}  // namespace

std::u16string_view firstChars(std::u16string_view text, std::size_t limit) {
    return text.substr(0, limit);
}

std::string_view firstChars(std::string_view text, std::size_t limit) {
    return text.substr(0, limit);
}

std::int32_t wtoi(std::u16string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isWideSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    // Accumulate the magnitude with a ceiling just above the 32-bit range, so any length of
    // digits is safe.
    constexpr std::int64_t kCeiling = std::int64_t{1} << 32;
    std::int64_t magnitude = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        magnitude = magnitude * 10 + (text[i] - u'0');
        if (magnitude > kCeiling)
            magnitude = kCeiling;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (value < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

float atoflt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isNarrowSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // The longest prefix of the form digits [ '.' digits ] [ ('e'|'E') [sign] digits ], with at
    // least one digit in the mantissa; an exponent without digits is not part of the number.
    const std::size_t start = i;
    std::size_t mantissaDigits = 0;
    while (i < text.size() && isDigit(text[i])) {
        ++i;
        ++mantissaDigits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i])) {
            ++i;
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0)
        return 0.0f;
    std::size_t end = i;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            ++j;
        if (j < text.size() && isDigit(text[j])) {
            while (j < text.size() && isDigit(text[j]))
                ++j;
            end = j;
        }
    }
    const std::string_view number = text.substr(start, end - start);
    float value = 0.0f;
    const auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value,
                                           std::chars_format::general);
    (void)ptr;
    if (ec == std::errc::result_out_of_range) {
        // Too large or too small for a float. Past the double range as well only a huge
        // exponent can be the cause, and its sign tells which.
        double wide = 0.0;
        const auto r = std::from_chars(number.data(), number.data() + number.size(), wide,
                                       std::chars_format::general);
        bool huge = false;
        if (r.ec == std::errc()) {
            huge = std::fabs(wide) > 1.0;
        } else {
            const std::size_t e = number.find_first_of("eE");
            huge = e == std::string_view::npos || e + 1 >= number.size() || number[e + 1] != '-';
        }
        value = huge ? std::numeric_limits<float>::infinity() : 0.0f;
    } else if (ec != std::errc()) {
        value = 0.0f;
    }
    return negative ? -value : value;
}

std::uint32_t floatToU32(float value) {
    if (std::isnan(value))
        return 0xFFFFFFFFu;
    if (value >= 4294967296.0f || value <= -1.0f)
        return 0xFFFFFFFFu;
    if (value < 0.0f)
        return 0;
    return static_cast<std::uint32_t>(value);  // truncates toward zero
}

std::u16string decimalText(std::uint64_t value) {
    char digits[24];
    const auto [ptr, ec] = std::to_chars(digits, digits + sizeof digits, value);
    (void)ec;  // 24 characters hold every 64-bit number
    return std::u16string(digits, ptr);
}

}  // namespace marrowdale
