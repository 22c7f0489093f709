#include "options/option_settings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace marrowdale {
namespace {

// ---- Frame period -------------------------------------------------------------------------

struct PeriodCase {
    std::u16string text;
    std::uint32_t expected;
};

TEST(FramePeriod, TypedMillisecondsToHundredNanoseconds) {
    const PeriodCase cases[] = {
        {u"40", 400000},
        {u"80", 800000},
        {u"160", 1600000},
        {u"4", 400000},  // below 5 ms: 40 ms
        {u"0", 400000},
        {u"5", 50000},     // 5 ms is kept
        {u"", 400000},     // empty
        {u"abc", 400000},  // letters only
        {u" 7x", 70000},
        {u"-10", 4294867296u},  // unsigned comparison: not replaced, the product wraps
        {u"-1", 4294957296u},
        {u"429496", 4294960000u},
        {u"429497", 2704},  // wraps modulo 2^32
        {u"2147483647", 4294957296u},
        // A multiple of 2^28 ms would give a period of 0: treated like an entry below 5 ms.
        {u"268435456", 400000},
        {u"536870912", 400000},
        {u"805306368", 400000},
        {u"1073741824", 400000},
        {u"-268435456", 400000},
        {u"-536870912", 400000},
        {u"-2147483648", 400000},
        {u"268435457", 10000},              // one more than a multiple: 10000, not 0
        {u"00000000000000000012", 400000},  // only 19 characters are read: "0...01" is 1 ms
    };
    for (const auto& c : cases) {
        EXPECT_EQ(framePeriodFromText(c.text), c.expected)
            << "entry of " << c.text.size() << " units, expected " << c.expected;
    }
}

struct OptionCase {
    std::u16string text;
    std::uint8_t expected;
};

TEST(FrameOption, LowByteWithZeroBecomingOne) {
    const OptionCase cases[] = {
        {u"1", 1},
        {u"2", 2},
        {u"4", 4},
        {u"11", 11},
        {u"12", 12},
        {u"13", 13},
        {u"14", 14},
        {u"3", 3},
        {u"256", 1},
        {u"257", 1},
        {u"300", 44},
        {u"-1", 255},
        {u"0", 1},
        {u"", 1},
        {u"abc", 1},
        {u"255", 255},
        {u"512", 1},
        {u"-256", 1},
        {u"-255", 1},
        {u"65537", 1},
        {u"2147483647", 255},
        {u"99999999999", 255},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(frameOptionFromText(c.text), c.expected) << "expected " << int(c.expected);
    }
}

TEST(FrameRateDialog, OkStoresBothSettings) {
    CaptureSettings settings;
    settings.framePeriod = 800000;
    settings.frameOption = 2;
    // The opening texts give the start-up values whatever was set before.
    applyFrameRateTexts(settings, kFrameRateOpeningPeriodText, kFrameRateOpeningOptionText);
    EXPECT_EQ(settings.framePeriod, 400000u);
    EXPECT_EQ(settings.frameOption, 1);
    // "6.25 FPS  1/4" then "4 frames copy".
    applyFrameRateTexts(settings, u"160", u"4");
    EXPECT_EQ(settings.framePeriod, 1600000u);
    EXPECT_EQ(settings.frameOption, 4);
    // Nothing else is touched.
    EXPECT_EQ(settings.captureMode, CaptureMode::kSkipByThrees);
    EXPECT_EQ(settings.maxFrames, 90000u);
}

// ---- Maximum frames -----------------------------------------------------------------------

TEST(MaxFramesDialog, OpeningTextsFollowTheSettings) {
    CaptureSettings settings;
    MaxFramesOpening opening = maxFramesOpening(settings);
    EXPECT_EQ(opening.framesText, u"90000");
    EXPECT_EQ(opening.minutesText, u"60");
    EXPECT_EQ(opening.rateText, u"25");
    EXPECT_FALSE(opening.closeOthersTicked);
    EXPECT_FALSE(opening.showCloseOthersTicked);

    settings.maxFrames = 1499;
    settings.showCloseOthersOnStop = 1;
    opening = maxFramesOpening(settings);
    EXPECT_EQ(opening.framesText, u"1499");
    EXPECT_EQ(opening.minutesText, u"0");  // rounds down
    EXPECT_FALSE(opening.closeOthersTicked);
    EXPECT_TRUE(opening.showCloseOthersTicked);

    settings.maxFrames = 4294967295u;
    settings.closeOthersOnStop = 1;
    opening = maxFramesOpening(settings);
    EXPECT_EQ(opening.framesText, u"4294967295");
    EXPECT_EQ(opening.minutesText, u"2863311");
    EXPECT_TRUE(opening.closeOthersTicked);
}

struct FramesCase {
    std::string rate;
    std::string minutes;
    std::u16string expected;
};

TEST(MaxFramesDialog, CalculateNumberOfFrames) {
    const FramesCase cases[] = {
        {"25", "90", u"135000"},
        {"12.5", "10", u"7500"},  // the fraction of the rate is kept
        {"25", "60", u"90000"},
        {"25", "-1", u"4294967295"},  // a product of -1500
        {"", "", u"0"},               // empty fields give 0
        {"abc", "10", u"0"},
        {"25", "0.01", u"14"},    // 0.01f x 60 x 25 is 14.999999 in float
        {"29.97", "1", u"1798"},  // 1798.2 truncated
        {"25", "-0.0001", u"0"},  // between -1 and 0
        {"1e30", "1e30", u"4294967295"},
        {"1e39", "0", u"4294967295"},  // infinity times 0 is not a number
        {"0.1", "1", u"6"},
        {" 25", " 90", u"135000"},
        {"25", "0000000000000000000090", u"0"},  // only 19 bytes are read
    };
    for (const auto& c : cases) {
        EXPECT_EQ(framesFromRateAndMinutes(c.rate, c.minutes), c.expected)
            << "rate \"" << c.rate << "\", minutes \"" << c.minutes << "\"";
    }
}

TEST(MaxFramesDialog, CalculateFramesUsesSinglePrecision) {
    // (m x 60) x r in float: 16777217 is not a float, the product rounds to 16777216.
    EXPECT_EQ(framesFromRateAndMinutes("16777217", "0.0166666675"), u"16777216");
    // 60 x 0.7f is 41.9999993, which rounds to 42 in float (a wider type would give 41).
    EXPECT_EQ(framesFromRateAndMinutes("0.7", "1"), u"42");
}

struct MinutesCase {
    std::u16string rate;
    std::u16string frames;
    bool refused;
    std::u16string expected;
};

TEST(MaxFramesDialog, CalculateNumberOfMinutes) {
    const MinutesCase cases[] = {
        {u"25", u"90000", false, u"60"},
        {u"12.5", u"7200", false, u"10"},  // the rate is read as 12
        {u"25", u"100", false, u"0"},      // rounds down
        {u"25", u"135000", false, u"90"},
        {u"0.5", u"7200", true, u""},  // read as 0
        {u"0", u"100", true, u""},
        {u"", u"100", true, u""},
        {u"abc", u"100", true, u""},
        {u"-25", u"100", true, u""},  // not above 0
        {u"25", u"", false, u"0"},
        {u"25", u"-1500", false, u"4294967295"},  // -1 minute
        {u"25", u"-1", false, u"0"},              // -1/1500 lies between -1 and 0
        {u"1", u"2147483647", false, u"35791396"},
    };
    for (const auto& c : cases) {
        const auto minutes = minutesFromRateAndFrames(c.rate, c.frames);
        ASSERT_EQ(!minutes.has_value(), c.refused)
            << "expected " << std::string(c.expected.begin(), c.expected.end());
        if (minutes) {
            EXPECT_EQ(*minutes, c.expected);
        }
    }
}

struct OkCase {
    std::u16string frames;
    std::uint32_t expected;
    bool reset;
};

TEST(MaxFramesDialog, OkStoresTheTotalAndFlags) {
    const OkCase cases[] = {
        {u"90000", 90000, false},
        {u"135000", 135000, false},
        {u"1", 1, false},
        {u"0", 90000, true},
        {u"", 90000, true},
        {u"letters", 90000, true},
        {u"-1", 4294967295u, false},  // stored without a message
        {u"-2147483648", 2147483648u, false},
        {u"99999999999", 2147483647u, false},
        {u"  42 frames", 42, false},
    };
    for (const auto& c : cases) {
        CaptureSettings settings;
        settings.maxFrames = 12345;
        EXPECT_EQ(applyMaxFramesOk(settings, c.frames, false, false), c.reset)
            << "expected " << c.expected;
        EXPECT_EQ(settings.maxFrames, c.expected);
    }
}

TEST(MaxFramesDialog, OkStoresEachCheckBoxOnItsOwn) {
    CaptureSettings settings;
    applyMaxFramesOk(settings, u"90000", false, true);
    EXPECT_EQ(settings.closeOthersOnStop, 0);
    EXPECT_EQ(settings.showCloseOthersOnStop, 1);
    applyMaxFramesOk(settings, u"90000", true, false);
    EXPECT_EQ(settings.closeOthersOnStop, 1);
    EXPECT_EQ(settings.showCloseOthersOnStop, 0);
    applyMaxFramesOk(settings, u"90000", true, true);
    EXPECT_EQ(settings.closeOthersOnStop, 1);
    EXPECT_EQ(settings.showCloseOthersOnStop, 1);
    applyMaxFramesOk(settings, u"90000", false, false);
    EXPECT_EQ(settings.closeOthersOnStop, 0);
    EXPECT_EQ(settings.showCloseOthersOnStop, 0);
    EXPECT_EQ(settings.framePeriod, 400000u);  // the rate field never reaches the period
}

// ---- Screen record mode -------------------------------------------------------------------

struct ModeCase {
    std::uint8_t current;
    bool mode0, mode2, mode3;
    std::uint8_t expected;
};

TEST(RecordModeDialog, EachCheckOverridesTheOneBefore) {
    const ModeCase cases[] = {
        {3, false, false, false, 3},  // nothing checked keeps the mode
        {2, false, false, false, 2}, {0, false, false, false, 0}, {7, false, false, false, 7},
        {3, true, false, false, 0},  {3, false, true, false, 2},  {0, false, false, true, 3},
        {3, true, true, false, 2},   {3, true, false, true, 3},   {0, false, true, true, 3},
        {0, true, true, true, 3},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(
            captureModeFromChecks(static_cast<CaptureMode>(c.current), c.mode0, c.mode2, c.mode3),
            static_cast<CaptureMode>(c.expected))
            << "current " << int(c.current) << " checks " << c.mode0 << c.mode2 << c.mode3;
    }
}

}  // namespace
}  // namespace marrowdale
