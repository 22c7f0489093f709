#include "capture_area/fixed_size.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace marrowdale {
namespace {

struct IntCase {
    std::u16string text;
    std::int32_t expected;
};

TEST(DialogInteger, SignedConversion) {
    const IntCase cases[] = {
        {u"", 0},
        {u"abc", 0},
        {u"-", 0},
        {u"1920", 1920},
        {u"-200", -200},
        {u"   480", 480},
        {u"720px", 720},  // stops at the first other character
        {u"0", 0},
        {u"- 5", 0},
        {u"2147483647", 2147483647},
        {u"-2147483648", std::numeric_limits<std::int32_t>::min()},
        {u"2147483648", 0},  // out of range: cannot be converted
        {u"-2147483649", 0},
        {u"999999999999999999999", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dlgItemIntSigned(c.text), c.expected) << "expected " << c.expected;
    }
}

TEST(FixedSizePresets, TableOfTheFourSizes) {
    ASSERT_NE(fixedSizePreset(1014), nullptr);
    EXPECT_EQ(fixedSizePreset(1014)->width, u"1920");
    EXPECT_EQ(fixedSizePreset(1014)->height, u"1080");
    EXPECT_EQ(fixedSizePreset(1015)->width, u"1280");
    EXPECT_EQ(fixedSizePreset(1015)->height, u"720");
    EXPECT_EQ(fixedSizePreset(1016)->width, u"852");
    EXPECT_EQ(fixedSizePreset(1016)->height, u"480");
    EXPECT_EQ(fixedSizePreset(1017)->width, u"1024");
    EXPECT_EQ(fixedSizePreset(1017)->height, u"768");
    EXPECT_EQ(fixedSizePreset(1013), nullptr);
    EXPECT_EQ(fixedSizePreset(1018), nullptr);
}

struct EdgesCase {
    std::int32_t left, top;
    std::u16string width, height;
    std::int32_t right, bottom;
};

TEST(FixedSizeOk, RightAndBottomFromTheTopLeftCorner) {
    const EdgesCase cases[] = {
        {100, 100, u"1920", u"1080", 2020, 1180},
        {50, 40, u"852", u"480", 902, 520},
        {100, 100, u"", u"", 100, 100},        // empty boxes: width and height 0
        {100, 100, u"abc", u"xyz", 100, 100},  // letters likewise
        {300, 100, u"-200", u"50", 100, 150},  // stored as is
        {-500, -20, u"1024", u"768", 524, 748},
        {2147483000, 0, u"1000", u"0", std::numeric_limits<std::int32_t>::min() + 352, 0},
    };
    for (const auto& c : cases) {
        const RightBottom edges = fixedSizeEdges(c.left, c.top, c.width, c.height);
        EXPECT_EQ(edges.right, c.right) << "left " << c.left;
        EXPECT_EQ(edges.bottom, c.bottom) << "top " << c.top;
    }
}

TEST(FixedSizeOk, WritesOnlyRightAndBottom) {
    CaptureSettings settings;
    settings.captureLeft = 50;
    settings.captureTop = 40;
    settings.captureRight = 700;
    settings.captureBottom = 600;
    applyFixedSize(settings, u"852", u"480");
    EXPECT_EQ(settings.captureLeft, 50);
    EXPECT_EQ(settings.captureTop, 40);
    EXPECT_EQ(settings.captureRight, 902);
    EXPECT_EQ(settings.captureBottom, 520);
    applyFixedSize(settings, u"", u"");
    EXPECT_EQ(settings.captureRight, 50);
    EXPECT_EQ(settings.captureBottom, 40);
}

}  // namespace
}  // namespace marrowdale
