#include "audio/pcm_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace marrowdale {
namespace {

constexpr std::int16_t kUntouched = 0x5A5A;

struct ConversionCase {
    const char* name;
    std::uint32_t channels;
    std::vector<float> input;
    std::vector<std::int16_t> expected;
};

class ConversionVectors : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(ConversionVectors, SimdAndScalarGiveTheRuleResult) {
    const auto& c = GetParam();
    const std::uint32_t frames = static_cast<std::uint32_t>(c.input.size()) / c.channels;
    std::vector<float> input = c.input;
    input.reserve(input.size() + 1);  // a real buffer also when there are no samples
    for (bool simd : {true, false}) {
        SCOPED_TRACE(simd ? "simd" : "scalar");
        std::vector<std::int16_t> out(c.input.size() + 4, kUntouched);
        const auto bytes =
            simd ? convertFloatToPcm16(c.channels, out.data(), input.data(), frames)
                 : convertFloatToPcm16Scalar(c.channels, out.data(), input.data(), frames);
        ASSERT_TRUE(bytes.has_value());
        EXPECT_EQ(*bytes, c.expected.size() * 2);
        for (std::size_t i = 0; i < c.expected.size(); ++i)
            EXPECT_EQ(out[i], c.expected[i]) << i;
        for (std::size_t i = c.expected.size(); i < out.size(); ++i)
            EXPECT_EQ(out[i], kUntouched) << "written past the end at " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, ConversionVectors,
    ::testing::Values(
        ConversionCase{
            "group_ties_to_even", 4, {0.5f, -0.5f, 1.0f, -1.0f}, {16384, -16384, 32767, -32767}},
        ConversionCase{"tail_truncates", 1, {0.5f, -0.5f, 1.0f}, {16383, -16383, 32767}},
        ConversionCase{"group_saturates", 2, {1.5f, 0.0f, -1.5f, 0.25f}, {32767, 0, -32768, 8192}},
        ConversionCase{"tail_saturates", 1, {1.5f}, {32767}}, ConversionCase{"empty", 2, {}, {}},
        ConversionCase{"five_samples",
                       1,
                       {0.5f, -0.5f, 1.0f, -1.0f, 0.5f},
                       {16384, -16384, 32767, -32767, 16383}},
        ConversionCase{"group_of_eight_then_tail",
                       1,
                       {0.5f, -0.5f, 1.0f, -1.0f, 0.5f, -0.5f, 1.0f, -1.0f, -0.5f},
                       {16384, -16384, 32767, -32767, 16384, -16384, 32767, -32767, -16383}},
        ConversionCase{
            "nan_and_inf_in_group",
            4,
            {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
             -std::numeric_limits<float>::infinity(), 1e30f},
            {0, 32767, -32768, 32767}},
        ConversionCase{"nan_and_huge_in_tail",
                       1,
                       {std::numeric_limits<float>::quiet_NaN(), 1e30f, -1e30f},
                       {0, 32767, -32768}},
        ConversionCase{"tail_saturates_below", 1, {-1.5f}, {-32768}},
        // 441 stereo frames (a PulseAudio packet at 44.1 kHz) end in a tail of two samples.
        ConversionCase{"stereo_tail_over_full_scale",
                       2,
                       {0.1f, 0.1f, 0.1f, 0.1f, 1.25f, -1.25f},
                       {3277, 3277, 3277, 3277, 32767, -32768}}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(ConversionMissingBuffers, WritesNothingAndReportsNothing) {
    std::vector<float> in{0.5f, 0.5f, 0.5f, 0.5f};
    std::vector<std::int16_t> out(4, kUntouched);
    EXPECT_FALSE(convertFloatToPcm16(1, out.data(), nullptr, 4).has_value());
    EXPECT_FALSE(convertFloatToPcm16(1, nullptr, in.data(), 4).has_value());
    EXPECT_FALSE(convertFloatToPcm16Scalar(1, out.data(), nullptr, 4).has_value());
    EXPECT_FALSE(convertFloatToPcm16Scalar(1, nullptr, in.data(), 4).has_value());
    for (auto v : out)
        EXPECT_EQ(v, kUntouched);
    // The caller's count stays as it was.
    std::uint32_t bytes = 1234;
    bytes = convertFloatToPcm16(1, out.data(), nullptr, 4).value_or(bytes);
    EXPECT_EQ(bytes, 1234u);
}

TEST(ConversionRules, GroupRoundsHalfwayCasesToEven) {
    // x * 32767 lands exactly on .5 for x = (2k+1) / 65534.
    for (int k : {0, 1, 2, 3, 100, 101, 16382}) {
        const float x = static_cast<float>(2 * k + 1) / 65534.0f;
        const float scaled = x * 32767.0f;
        if (scaled != std::floor(scaled) + 0.5f)
            continue;  // not representable exactly
        const auto expected = static_cast<std::int16_t>(std::nearbyint(scaled));
        EXPECT_EQ(pcm16FromGroupSample(x), expected) << k;
        EXPECT_EQ(static_cast<int>(pcm16FromGroupSample(x)) % 2, 0) << k;
    }
}

TEST(ConversionRules, ChannelCountMultipliesTheSampleCount) {
    std::vector<float> in(6, 0.25f);  // 3 frames of stereo = 6 samples: one group + tail 2
    std::vector<std::int16_t> out(6, kUntouched);
    const auto bytes = convertFloatToPcm16(2, out.data(), in.data(), 3);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(*bytes, 12u);
    EXPECT_EQ(out[0], 8192);  // 8191.75 rounded
    EXPECT_EQ(out[5], 8191);  // truncated
}

TEST(ConversionSimdAgainstScalar, RandomDataWithHostileValues) {
    std::mt19937 random(20261207);
    std::uniform_real_distribution<float> normal(-1.2f, 1.2f);
    std::uniform_real_distribution<float> wide(-1e6f, 1e6f);
    const float specials[] = {std::numeric_limits<float>::quiet_NaN(),
                              std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::max(),
                              -std::numeric_limits<float>::max(),
                              std::numeric_limits<float>::denorm_min(),
                              -0.0f,
                              65537.0f,
                              -65537.0f,
                              1.0000001f,
                              -1.0000305f};
    for (int round = 0; round < 200; ++round) {
        const std::uint32_t n = 1 + random() % 203;
        // Offset by one float to exercise unaligned source and destination.
        std::vector<float> storage(n + 1);
        float* in = storage.data() + (round % 2);
        for (std::uint32_t i = 0; i < n; ++i) {
            const auto pick = random() % 10;
            in[i] = pick < 6 ? normal(random) : pick < 8 ? wide(random) : specials[random() % 11];
        }
        std::vector<std::int16_t> a(n + 2, kUntouched);
        std::vector<std::int16_t> b(n + 2, kUntouched);
        const auto sa = convertFloatToPcm16(1, a.data() + (round % 2), in, n);
        const auto sb = convertFloatToPcm16Scalar(1, b.data() + (round % 2), in, n);
        ASSERT_EQ(sa, sb);
        ASSERT_EQ(a, b) << "round " << round << " n " << n;
    }
}

TEST(ConversionSimdAgainstScalar, ReportsTheSimdPathOnX86) {
#if defined(__x86_64__)
    EXPECT_TRUE(pcm16ConversionUsesSimd());
#else
    GTEST_SKIP() << "scalar build";
#endif
}

}  // namespace
}  // namespace marrowdale
