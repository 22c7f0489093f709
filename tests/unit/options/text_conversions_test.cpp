#include "options/text_conversions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace marrowdale {
namespace {

struct WideIntCase {
    std::u16string text;
    std::int32_t expected;
};

TEST(WideToInt, FollowsTheRuntimeRules) {
    const WideIntCase cases[] = {
        {u"", 0},
        {u"abc", 0},
        {u"-", 0},
        {u"+", 0},
        {u"  ", 0},
        {u"0", 0},
        {u"40", 40},
        {u"+40", 40},
        {u"-10", -10},
        {u"   \t 12", 12},
        {u"\u00a0 7", 7},  // a pasted non-breaking space counts as white space
        {u"12abc", 12},    // digits up to the first other character
        {u"12 34", 12},
        {u"1.9", 1},  // no fraction
        {u"12.5", 12},
        {u"- 5", 0},  // the sign must touch the digits
        {u"--5", 0},
        {u"+-5", 0},
        {u"x5", 0},
        {u"007", 7},
        {u"2147483647", 2147483647},
        {u"-2147483648", std::numeric_limits<std::int32_t>::min()},
        {u"2147483648", 2147483647},               // saturates
        {u"99999999999999999999999", 2147483647},  // any length
        {u"-99999999999999999999", std::numeric_limits<std::int32_t>::min()},
        {u"\uff11", 0},  // full-width digits are not decimal digits here
    };
    for (const auto& c : cases) {
        EXPECT_EQ(wtoi(c.text), c.expected)
            << "text of " << c.text.size() << " units, expected " << c.expected;
    }
}

TEST(WideToInt, ReadsOnlyTheFirstNineteenCharactersThroughFirstChars) {
    // 19 characters: the 20th digit is never seen.
    const std::u16string twenty = u"00000000000000000012";
    EXPECT_EQ(wtoi(firstChars(twenty)), 1);
    const std::u16string spaces = std::u16string(19, u' ') + u"5";
    EXPECT_EQ(wtoi(firstChars(spaces)), 0);
    EXPECT_EQ(firstChars(std::u16string_view(u"abc")), u"abc");
    EXPECT_EQ(firstChars(std::string_view("0123456789012345678901")).size(), 19u);
}

struct FloatCase {
    std::string text;
    float expected;
};

TEST(NarrowToFloat, FollowsTheRuntimeRules) {
    const FloatCase cases[] = {
        {"", 0.0f},
        {"abc", 0.0f},
        {".", 0.0f},
        {"-", 0.0f},
        {"e5", 0.0f},
        {"25", 25.0f},
        {"12.5", 12.5f},
        {"  12.5", 12.5f},
        {"\t-1", -1.0f},
        {"+0.5", 0.5f},
        {".5", 0.5f},
        {"5.", 5.0f},
        {"1e3", 1000.0f},
        {"1E+2", 100.0f},
        {"2.5e-1", 0.25f},
        {"1e", 1.0f},  // an exponent without digits is not part of the number
        {"1e+", 1.0f},
        {"3x", 3.0f},
        {"1,5", 1.0f},  // the decimal point is '.', whatever the
                        // locale
        {"0.1", 0.1f},
        {"inf", 0.0f},  // only decimal numbers
        {"nan", 0.0f},
        {"0x10", 0.0f},
        {"-0", -0.0f},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(atoflt(c.text), c.expected) << "text \"" << c.text << "\"";
    }
}

TEST(NarrowToFloat, OutOfRangeMagnitudes) {
    EXPECT_EQ(atoflt("1e39"), std::numeric_limits<float>::infinity());
    EXPECT_EQ(atoflt("-1e39"), -std::numeric_limits<float>::infinity());
    EXPECT_EQ(atoflt("1e999999"), std::numeric_limits<float>::infinity());
    EXPECT_EQ(atoflt("1e-50"), 0.0f);
    EXPECT_EQ(atoflt("1e-999999"), 0.0f);
    EXPECT_EQ(atoflt("0e999999"), 0.0f);
}

struct FloatToUnsignedCase {
    float value;
    std::uint32_t expected;
};

TEST(FloatToUnsigned, TruncatesAndSaturates) {
    const FloatToUnsignedCase cases[] = {
        {0.0f, 0},
        {-0.0f, 0},
        {0.99f, 0},
        {9.6f, 9},
        {135000.0f, 135000},
        {-0.5f, 0},  // between -1 and 0
        {-0.999f, 0},
        {-1.0f, 4294967295u},  // -1 or less
        {-1500.0f, 4294967295u},
        {4294967040.0f, 4294967040u},  // the largest float below 2^32
        {4294967296.0f, 4294967295u},
        {1e20f, 4294967295u},
        {std::numeric_limits<float>::infinity(), 4294967295u},
        {-std::numeric_limits<float>::infinity(), 4294967295u},
        {std::numeric_limits<float>::quiet_NaN(), 4294967295u},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(floatToU32(c.value), c.expected) << "value " << c.value;
    }
}

TEST(DecimalText, UnsignedNumbers) {
    EXPECT_EQ(decimalText(0), u"0");
    EXPECT_EQ(decimalText(90000), u"90000");
    EXPECT_EQ(decimalText(4294967295u), u"4294967295");
    EXPECT_EQ(decimalText(18446744073709551615ull), u"18446744073709551615");
}

}  // namespace
}  // namespace marrowdale
