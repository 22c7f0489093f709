// The level meter: peak and RMS of the packets a source delivered, measured by the audio worker
// for the source it records.
#include "audio/level_meter.h"

#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "audio/audio_capture_worker.h"
#include "audio/audio_profile.h"
#include "platform/fakes/fake_audio_capture.h"
#include "platform/fakes/fake_clock.h"
#include "platform/fakes/fake_media_format.h"
#include "platform/fakes/fake_ui_bridge.h"

namespace marrowdale {
namespace {

struct MeterCase {
    const char* name;
    std::vector<std::vector<float>> packets;  // added one after the other, then published
    float peak;
    float rms;
};

class Meter : public ::testing::TestWithParam<MeterCase> {};

TEST_P(Meter, PeakAndRmsOfWhatWasAdded) {
    const MeterCase& c = GetParam();
    LevelMeter meter;
    SoundLevel level;
    for (const auto& packet : c.packets)
        meter.add(packet.data(), packet.size());
    meter.publish(level, 1234);
    EXPECT_FLOAT_EQ(level.peak.load(), c.peak);
    EXPECT_NEAR(level.rms.load(), c.rms, 1e-6);
    EXPECT_EQ(level.time100ns.load(), 1234u);
    // The next publish measures only what came after.
    const float quiet[2] = {0.01f, -0.01f};
    meter.add(quiet, 2);
    meter.publish(level, 2000);
    EXPECT_FLOAT_EQ(level.peak.load(), 0.01f);
    EXPECT_NEAR(level.rms.load(), 0.01f, 1e-7);
}

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Table, Meter,
    ::testing::Values(MeterCase{"Square", {{0.5f, -0.5f, 0.5f, -0.5f}}, 0.5f, 0.5f},
                      // Two packets count as one stretch: RMS over all samples.
                      MeterCase{"TwoPackets",
                                {{1.0f, 1.0f}, {0.0f, 0.0f}},
                                1.0f,
                                static_cast<float>(std::sqrt(0.5))},
                      MeterCase{"NegativePeak",
                                {{0.1f, -0.8f, 0.2f}},
                                0.8f,
                                static_cast<float>(std::sqrt((0.01 + 0.64 + 0.04) / 3))},
                      // Past full scale is shown as it is (the file saturates it).
                      MeterCase{"PastFullScale", {{1.5f, -1.5f}}, 1.5f, 1.5f},
                      // A broken sample raises nothing; its packet's RMS is left out.
                      MeterCase{"NotANumber",
                                {{kNaN, 0.5f}, {0.25f, 0.25f}},
                                0.5f,
                                static_cast<float>(std::sqrt(0.125 / 4))}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(MeterPublish, NothingAddedPublishesNothing) {
    LevelMeter meter;
    SoundLevel level;
    level.peak = 0.3f;
    level.time100ns = 77;
    meter.publish(level, 1000);
    EXPECT_FLOAT_EQ(level.peak.load(), 0.3f);
    EXPECT_EQ(level.time100ns.load(), 77u);
    meter.add(nullptr, 10);
    meter.publish(level, 1000);
    EXPECT_EQ(level.time100ns.load(), 77u);
}

CodecCatalogue wmaCatalogue() {
    CodecEntry wma{"WMA", "", {}};
    wma.formats.push_back(fakeWaveFormat(kWaveFormatWmaV2, 48000, 2, 128000));
    CodecCatalogue c;
    c.audio.push_back(wma);
    return c;
}

// The worker measures the one source it records, at each drain, into that source's meter.
TEST(WorkerMeter, TheRecordedSourceGetsTheLevelOfItsPackets) {
    for (const std::uint32_t flags : {kAudioStreamFlagsLoopback, 0u}) {
        CaptureSettings settings;
        RecorderState state;
        settings.audioStreamFlags = flags;
        FakeClock clock;
        FakeAudioSystem audio;
        FakeMediaFormatService media(wmaCatalogue());
        FakeUiBridge ui;
        // 100 ms of the fake's 1 kHz sine of amplitude 0.5 at each wake-up.
        audio.script.packetsPerWake = [](int) { return std::vector<std::uint32_t>{4800}; };
        audio.script.onCall = [&](const std::string& call, int) {
            if (call == "getNextPacketSize" && clock.sleeps() >= 2)
                state.screenFinished = 1;
        };
        const AudioWorkerServices services{clock, audio, media, ui};
        AudioWorkerOutcome outcome;
        runAudioCaptureWorker(settings, state, services, {}, &outcome);
        ASSERT_TRUE(outcome.normalEnd);

        const SoundSource recorded = flags != 0 ? SoundSource::kMixer : SoundSource::kMicrophone;
        const SoundSource other = flags != 0 ? SoundSource::kMicrophone : SoundSource::kMixer;
        const SoundLevel& level = soundLevel(state, recorded);
        EXPECT_FLOAT_EQ(level.peak.load(), 0.5f);
        EXPECT_NEAR(level.rms.load(), 0.5 / std::sqrt(2.0), 1e-4);
        EXPECT_EQ(level.time100ns.load(), outcome.lastDrainTime100ns);
        EXPECT_EQ(soundLevel(state, other).time100ns.load(), 0u) << "the other source was idle";
    }
}

}  // namespace
}  // namespace marrowdale
