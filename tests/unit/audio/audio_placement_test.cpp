#include "audio/audio_placement.h"

#include "platform/arrival_stamps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace marrowdale {
namespace {

constexpr std::uint32_t kRate = 48000;
constexpr std::uint64_t kZero = 50'000'000;  // 5 s on the clock
constexpr std::uint64_t kMs = 10'000;

// A packet of `frames` whose first frame is stamped `atMs` after zero (negative: before it).
struct Delivery {
    double atMs;
    std::uint32_t frames;
};

std::uint64_t stamp(double msFromZero) {
    return static_cast<std::uint64_t>(static_cast<double>(kZero) + msFromZero * kMs);
}

// Deliveries of `count` 10 ms packets from `fromMs`, `everyMs` apart.
std::vector<Delivery> steady(double fromMs, int count, double everyMs = 10.0) {
    std::vector<Delivery> out;
    for (int i = 0; i < count; ++i)
        out.push_back({fromMs + i * everyMs, 480});
    return out;
}
std::vector<Delivery> operator+(std::vector<Delivery> a, const std::vector<Delivery>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct PlacementCase {
    std::string name;
    std::vector<Delivery> deliveries;
    double endMs;  // < 0: no end
    // Expected: where the packet with this index starts in the file (ms), the silence, the
    // frames dropped and the file's length, all in frames.
    std::size_t probePacket;
    double probeStartsAtMs;
    std::uint64_t silenceFrames;
    std::uint64_t droppedFrames;
    std::uint64_t fileFrames;
};

class Placement : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(Placement, PutsEachPacketWhereItsStampSays) {
    const PlacementCase& c = GetParam();
    AudioPlacement placement(kRate, kZero);
    if (c.endMs >= 0)
        placement.setEnd(stamp(c.endMs));
    std::int64_t probeStart = -1;
    for (std::size_t i = 0; i < c.deliveries.size(); ++i) {
        const Delivery& d = c.deliveries[i];
        const std::uint64_t before = placement.writtenFrames();
        const PacketPlacement p = placement.place(stamp(d.atMs), d.frames);
        EXPECT_LE(std::uint64_t{p.skipFront} + p.keep, d.frames) << i;
        EXPECT_EQ(placement.writtenFrames(), before + p.silenceBefore + p.keep + p.repeatLast);
        if (i == c.probePacket)
            probeStart = static_cast<std::int64_t>(before + p.silenceBefore);
    }
    if (placement.hasEnd())
        placement.addTrailingSilence(placement.framesToEnd());
    if (!c.deliveries.empty()) {
        ASSERT_GE(probeStart, 0);
        EXPECT_NEAR(static_cast<double>(probeStart) / 48.0, c.probeStartsAtMs, 0.05);
    }
    EXPECT_EQ(placement.silenceFrames(), c.silenceFrames);
    EXPECT_EQ(placement.droppedFrames(), c.droppedFrames);
    EXPECT_EQ(placement.writtenFrames(), c.fileFrames);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Placement,
    ::testing::Values(
        // Delivery starts 2 s late (an idle monitor delivers nothing): silence up to it.
        PlacementCase{"LateStartIsSilence", steady(2000, 10), -1, 0, 2000, 96000, 0, 96000 + 4800},
        // 100 ms of sound, nothing for 500 ms, then sound again: the stretch is silence.
        PlacementCase{"SilentStretchIsFilled", steady(0, 10) + steady(600, 10), -1, 10, 600,
                      500 * 48, 0, 700 * 48},
        // A burst: 2 s delivered at once, every fragment stamped alike; laid end to end from the
        // first, nothing dropped, and the steady packets after it follow.
        PlacementCase{"BurstIsLaidEndToEnd", steady(1000, 200, 0.0) + steady(3000, 5), -1, 200,
                      3000, 1000 * 48, 0, 3050 * 48},
        // Stamps that put the sound earlier than it arrived (a negative latency): what falls
        // before zero is dropped, the rest follows on.
        PlacementCase{"EarlyStampsBeforeZeroAreDropped", steady(-15, 10), -1, 1, 0, 0, 15 * 48,
                      85 * 48},
        // Sound entirely before zero leaves no trace; the first packet after zero starts at it.
        PlacementCase{"SoundBeforeZeroIsDropped", steady(-100, 12), -1, 10, 0, 0, 10 * 480,
                      2 * 480},
        // The file ends at the stop instant: later sound is cut, a short delivery padded.
        PlacementCase{"CutAtTheEnd", steady(0, 120), 1000, 0, 0, 0, 20 * 480, 48000},
        PlacementCase{"PaddedToTheEnd", steady(0, 50), 1000, 0, 0, 24000, 0, 48000},
        // Nothing delivered at all: the whole recording is silence.
        PlacementCase{"NothingDeliveredIsAllSilence", {}, 2000, 0, 0, 96000, 0, 96000}),
    [](const auto& test) { return test.param.name; });

// Stamps jitter by a few milliseconds around a steady delivery: no silence is inserted and the
// file stays within a few milliseconds of the stamps.
TEST(PlacementJitter, IsAbsorbedWithoutGapsOrJumps) {
    AudioPlacement placement(kRate, kZero);
    std::srand(7);
    double worstMs = 0;
    for (int i = 0; i < 6000; ++i) {                          // a minute
        const double jitterMs = (std::rand() % 600) / 100.0;  // 0 to 6 ms late
        const std::uint64_t before = placement.writtenFrames();
        const PacketPlacement p = placement.place(stamp(i * 10.0 + jitterMs), 480);
        if (i > 0) {
            EXPECT_EQ(p.silenceBefore, 0u) << i;
        }
        EXPECT_LE(p.repeatLast + (480 - p.keep), 1u) << "one frame at a time, at " << i;
        worstMs = std::max(worstMs, std::abs(static_cast<double>(before) / 48.0 - i * 10.0));
    }
    EXPECT_LT(worstMs, 8.0);
}

// A sound card 0.1 % fast or slow against the system clock, for an hour of 10 ms packets: the
// file follows the stamps within a few milliseconds, closing the gap one frame at a time.
class PlacementDrift : public ::testing::TestWithParam<double> {};

TEST_P(PlacementDrift, IsClosedAFrameAtATime) {
    const double ratio = GetParam();  // sound card frames per system-clock frame
    AudioPlacement placement(kRate, kZero);
    double worstMs = 0;
    std::uint64_t corrections = 0;
    const int packets = 360'000;  // an hour
    for (int i = 0; i < packets; ++i) {
        // The card delivered i * 480 of its frames: on the system clock that took longer when it
        // runs slow, less when it runs fast.
        const double atMs = i * 10.0 / ratio;
        const std::uint64_t before = placement.writtenFrames();
        const PacketPlacement p = placement.place(stamp(atMs), 480);
        ASSERT_EQ(p.silenceBefore, 0u) << i;
        ASSERT_LE(p.repeatLast + (480 - p.keep), 1u) << i;
        corrections += p.repeatLast + (480 - p.keep);
        worstMs = std::max(worstMs, std::abs(static_cast<double>(before) / 48.0 - atMs));
    }
    EXPECT_LT(worstMs, 5.0);
    // 0.1 % of an hour's frames had to be repeated or dropped.
    EXPECT_NEAR(static_cast<double>(corrections), 48000.0 * 3600.0 * 0.001, 48000.0 * 3.6 * 0.05);
    if (ratio > 1)
        EXPECT_EQ(placement.repeatedFrames(), 0u) << "a fast card only ever loses frames";
    else
        EXPECT_EQ(placement.droppedFrames(), 0u) << "a slow card only ever gains frames";
}

INSTANTIATE_TEST_SUITE_P(FastAndSlow, PlacementDrift, ::testing::Values(1.001, 0.999));

TEST(PlacementClock, FramesOnBothSidesOfZero) {
    const AudioPlacement placement(44100, kZero);
    EXPECT_EQ(placement.frameAt(kZero), 0);
    EXPECT_EQ(placement.frameAt(kZero + 100'000), 441);
    EXPECT_EQ(placement.frameAt(kZero - 100'000), -441);
    EXPECT_EQ(placement.frameAt(kZero - 1), -1) << "a partial frame before zero counts";
    EXPECT_EQ(placement.frameAt(kZero + 36'000'000'000ULL), 44100LL * 3600);
}

}  // namespace
}  // namespace marrowdale

namespace marrowdale {
namespace {

struct Arrival {
    std::uint64_t time100ns;
    std::uint32_t frames;
};

// Stamps in 100-ns units of 10 ms packets (480 frames); each case gives the stamps as they were
// taken and as the later arrivals correct them.
struct BoundCase {
    std::string name;
    std::vector<std::uint64_t> stamped;
    std::vector<std::uint64_t> corrected;
};

class ArrivalBound : public ::testing::TestWithParam<BoundCase> {};

TEST_P(ArrivalBound, LaterArrivalsCorrectPacketsThatWaited) {
    std::vector<Arrival> packets;
    for (const std::uint64_t t : GetParam().stamped)
        packets.push_back({t, 480});
    // The stamps come in one at a time, as the endpoint queues them.
    std::vector<Arrival> queued;
    for (const Arrival& p : packets) {
        queued.push_back(p);
        boundStampsByLaterArrivals(queued.begin(), queued.end(),
                                   [](std::uint32_t frames) { return frames * 10'000ull / 48; });
    }
    std::vector<std::uint64_t> times;
    for (const Arrival& p : queued)
        times.push_back(p.time100ns);
    EXPECT_EQ(times, GetParam().corrected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ArrivalBound,
    ::testing::Values(
        // On time: nothing moves.
        BoundCase{"Steady", {1'000'000, 1'100'000, 1'200'000}, {1'000'000, 1'100'000, 1'200'000}},
        // The reader was held up 60 ms: three packets stamped late, all at once; the one after
        // them shows when they began.
        BoundCase{"WaitedAndCaughtUp",
                  {1'000'000, 1'700'000, 1'700'000, 1'700'000, 1'500'000},
                  {1'000'000, 1'200'000, 1'300'000, 1'400'000, 1'500'000}},
        // A real stretch without sound: the packets after it do not pull the ones before it.
        BoundCase{"RealGapStays",
                  {1'000'000, 1'100'000, 9'000'000, 9'100'000},
                  {1'000'000, 1'100'000, 9'000'000, 9'100'000}},
        // Unstamped packets are left as they are.
        BoundCase{"UnstampedLeftAlone", {0, 0, 1'000'000}, {0, 0, 1'000'000}}),
    [](const auto& test) { return test.param.name; });

}  // namespace
}  // namespace marrowdale
