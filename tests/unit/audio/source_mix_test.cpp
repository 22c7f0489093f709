// Both sound sources at once, through the audio worker: two fake endpoints whose packets arrive
// with different latencies (and one that falls silent for a while, delivering nothing) are
// mixed into one file in which each sound sits where its stamp says it was heard.
#include "audio/source_mix.h"

#include <cmath>
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

constexpr std::uint64_t kMs = 10'000;
constexpr std::uint32_t kRate = 48000;
constexpr std::uint32_t kPacketFrames = 480;  // 10 ms

CodecCatalogue wmaCatalogue() {
    CodecEntry wma{"WMA", "", {}};
    wma.formats.push_back(fakeWaveFormat(kWaveFormatWmaV2, kRate, 2, 128000));
    CodecCatalogue c;
    c.audio.push_back(wma);
    return c;
}

struct Click {
    std::uint64_t heardMs;  // after the start
    float value;
};

// One endpoint: 10 ms packets heard one after the other from `firstMs` after the start (a device
// that takes a while to open), except in [silentFromMs, silentToMs), when it delivers nothing;
// each packet becomes available `latencyMs` after its last frame was heard. Its sound is 0 but
// for 1 ms clicks.
struct SourcePlan {
    std::uint64_t firstMs = 0;
    std::uint64_t latencyMs = 30;
    std::uint64_t silentFromMs = 0;
    std::uint64_t silentToMs = 0;
    bool delivers = true;
    std::vector<Click> clicks;
};

class FakeSource {
  public:
    FakeSource(FakeAudioScript& script, FakeClock& clock, std::uint64_t start,
               const SourcePlan& plan)
        : plan_(plan) {
        for (std::uint64_t ms = plan.firstMs; plan.delivers && ms < 10'000; ms += 10)
            if (ms < plan.silentFromMs || ms >= plan.silentToMs)
                heard_.push_back(start + ms * kMs);
        script.rate = kRate;
        script.bufferFrames = kRate;
        script.packetsPerWake = [this, &clock](int) {
            std::vector<std::uint32_t> out;
            while (available_ < heard_.size() &&
                   heard_[available_] + (10 + plan_.latencyMs) * kMs <= clock.peek()) {
                out.push_back(kPacketFrames);
                ++available_;
            }
            return out;
        };
        script.packetTime = [this](int k) { return heard_.at(static_cast<std::size_t>(k)); };
        script.signal = [this, start](std::uint64_t frame, unsigned) {
            const std::uint64_t heard =
                heard_.at(frame / kPacketFrames) + (frame % kPacketFrames) * 10'000'000 / kRate;
            for (const Click& c : plan_.clicks) {
                const std::uint64_t at = start + c.heardMs * kMs;
                if (heard >= at && heard < at + kMs)
                    return c.value;
            }
            return 0.0f;
        };
    }

  private:
    SourcePlan plan_;
    std::vector<std::uint64_t> heard_;
    std::size_t available_ = 0;
};

struct MixCase {
    const char* name;
    SourcePlan output;
    SourcePlan recording;
    std::vector<Click> expected;  // the sums in the file
};

class SourceMixRun : public ::testing::Test {
  protected:
    SourceMixRun() : media(wmaCatalogue()) {
        resetToProcessStart(settings, state);
        settings.audioStreamFlags = kAudioStreamFlagsBoth;
        audio.recording = &recording;
    }

    // Runs the worker until `stopMs` after the start.
    void runUntil(std::uint64_t stopMs) {
        const std::uint64_t stopAt = start + stopMs * kMs;
        clock.setOnSleepSlice([this, stopAt](FakeClock& c) {
            if (c.peek() >= stopAt)
                state.screenFinished = 1;
        });
        const AudioWorkerServices services{clock, audio, media, ui};
        runAudioCaptureWorker(settings, state, services, target, &outcome);
    }

    // The left channel of the whole file.
    std::vector<std::int16_t> left() const {
        std::vector<std::int16_t> out;
        for (const auto& sample : media.log->samples)
            for (std::size_t i = 0; i < sample.length / 2u; i += 2)
                out.push_back(sample.pcm[i]);
        return out;
    }

    CaptureSettings settings;
    RecorderState state;
    FakeClock clock;
    const std::uint64_t start = clock.peek();
    FakeAudioSystem audio;
    FakeAudioScript recording;
    FakeMediaFormatService media;
    FakeUiBridge ui;
    AudioWorkerOutcome outcome;
    AudioRunTarget target;
};

class SourceMix : public SourceMixRun, public ::testing::WithParamInterface<MixCase> {};

TEST_P(SourceMix, EachSoundSitsWhereItWasHeard) {
    const MixCase& c = GetParam();
    FakeSource output(audio.script, clock, start, c.output);
    FakeSource microphone(recording, clock, start, c.recording);
    runUntil(3200);

    ASSERT_EQ(outcome.exitCode, 0);
    ASSERT_TRUE(outcome.normalEnd);
    EXPECT_TRUE(ui.calls().empty());
    // Each endpoint got its own direction and flags; our own bit reached neither.
    EXPECT_EQ(audio.script.flow, AudioDataFlow::kRender);
    EXPECT_EQ(audio.script.streamFlags, kAudioStreamFlagsLoopback);
    EXPECT_EQ(recording.flow, AudioDataFlow::kCapture);
    EXPECT_EQ(recording.streamFlags, 0u);
    EXPECT_EQ(audio.script.objectsAlive, 0);
    EXPECT_EQ(recording.objectsAlive, 0);

    // One continuous file from the zero to the stop.
    const std::vector<std::int16_t> file = left();
    const auto expectedFrames = static_cast<std::uint64_t>(
        static_cast<double>(outcome.end100ns - outcome.zero100ns) * kRate / 1e7);
    EXPECT_EQ(file.size(), expectedFrames);

    // The clicks: found at their heard time (within two frames), with the sum of both
    // sources' values; nothing else is sound.
    std::vector<bool> explained(file.size(), false);
    for (const Click& click : c.expected) {
        const std::uint64_t heard = start + click.heardMs * kMs;
        const auto at =
            static_cast<std::size_t>(static_cast<double>(heard - outcome.zero100ns) * kRate / 1e7);
        ASSERT_LT(at + 50, file.size()) << click.heardMs;
        const auto expected = static_cast<std::int16_t>(std::lround(click.value * 32767.0));
        int found = 0;
        std::size_t first = 0;
        for (std::size_t i = at - 2; i < at + 50; ++i) {
            if (file[i] != 0) {
                EXPECT_EQ(file[i], expected) << "click at " << click.heardMs << " ms, frame " << i;
                if (found++ == 0)
                    first = i;
            }
            explained[i] = true;
        }
        EXPECT_LE(first, at + 2) << "click at " << click.heardMs << " ms starts late";
        EXPECT_EQ(found, 48) << "click at " << click.heardMs << " ms";
    }
    for (std::size_t i = 0; i < file.size(); ++i) {
        if (!explained[i]) {
            ASSERT_EQ(file[i], 0) << "stray sound at frame " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SourceMix,
    ::testing::Values(
        // The monitor's packets come 30 ms after they were heard, the microphone's 150 ms.
        // The microphone's first packet is heard 70 ms after the monitor's.
        MixCase{"MicrophoneLater",
                {0, 30, 0, 0, true, {{1000, 0.5f}}},
                {70, 150, 0, 0, true, {{1000, 0.25f}, {1500, 0.25f}}},
                {{1000, 0.75f}, {1500, 0.25f}}},
        MixCase{"OutputLater",
                {120, 150, 0, 0, true, {{1000, 0.5f}, {2000, 0.125f}}},
                {0, 20, 0, 0, true, {{1000, 0.25f}}},
                {{1000, 0.75f}, {2000, 0.125f}}},
        // The output plays nothing from 1.2 s to 2.4 s and its monitor delivers nothing then:
        // the microphone's sound goes on in its place, and the output's next click is in its.
        MixCase{"OutputFallsSilent",
                {0, 30, 1200, 2400, true, {{1000, 0.5f}, {2600, 0.5f}}},
                {0, 60, 0, 0, true, {{1000, 0.25f}, {1500, 0.25f}, {2800, 0.25f}}},
                {{1000, 0.75f}, {1500, 0.25f}, {2600, 0.5f}, {2800, 0.25f}}},
        // A microphone that delivers nothing at all holds nothing back.
        MixCase{"MicrophoneDeliversNothing",
                {0, 40, 0, 0, true, {{500, 0.5f}, {3000, 0.25f}}},
                {0, 40, 0, 0, false, {}},
                {{500, 0.5f}, {3000, 0.25f}}}),
    [](const auto& test) { return std::string(test.param.name); });

// The level meter: each source's peak and RMS, from its own packets.
TEST_F(SourceMixRun, EachSourceHasItsOwnLevel) {
    FakeSource output(audio.script, clock, start, {0, 30, 0, 0, true, {}});
    FakeSource input(recording, clock, start, {0, 60, 0, 0, true, {}});
    audio.script.signal = [](std::uint64_t frame, unsigned) {
        return frame % 2 == 0 ? 0.5f : -0.5f;
    };
    recording.signal = [](std::uint64_t frame, unsigned) { return frame % 4 == 0 ? 0.2f : 0.0f; };
    runUntil(1200);
    const SoundLevel& mixer = soundLevel(state, SoundSource::kMixer);
    const SoundLevel& microphone = soundLevel(state, SoundSource::kMicrophone);
    EXPECT_FLOAT_EQ(mixer.peak.load(), 0.5f);
    EXPECT_NEAR(mixer.rms.load(), 0.5f, 1e-5);
    EXPECT_FLOAT_EQ(microphone.peak.load(), 0.2f);
    EXPECT_NEAR(microphone.rms.load(), 0.1f, 1e-5);
    EXPECT_GT(mixer.time100ns.load(), start);
    EXPECT_GT(microphone.time100ns.load(), start);
}

// A recording device that cannot be had fails the start like a missing endpoint (error -1),
// and nothing is held afterwards.
TEST_F(SourceMixRun, AMissingRecordingDeviceFailsTheStart) {
    recording.result = [](const std::string& call, int) {
        return call == "getDefaultAudioEndpoint" ? E_NOTFOUND : S_OK;
    };
    runUntil(500);
    EXPECT_EQ(outcome.exitCode, -1);
    EXPECT_EQ(audio.script.objectsAlive, 0);
    EXPECT_EQ(recording.objectsAlive, 0);
}

// A recording device that goes away during the recording ends it like a failing endpoint.
TEST_F(SourceMixRun, ARecordingDeviceLostWhileLoopingEndsTheRecording) {
    FakeSource output(audio.script, clock, start, {0, 30, 0, 0, true, {}});
    FakeSource input(recording, clock, start, {0, 30, 0, 0, true, {}});
    recording.result = [](const std::string& call, int index) {
        return call == "getNextPacketSize" && index >= 20 ? AUDCLNT_E_DEVICE_INVALIDATED : S_OK;
    };
    runUntil(3000);
    EXPECT_LT(outcome.exitCode, 0);
    EXPECT_FALSE(outcome.normalEnd);
    EXPECT_EQ(audio.script.objectsAlive, 0);
    EXPECT_EQ(recording.objectsAlive, 0);
    EXPECT_EQ(media.log->writersAlive, 0);
}

}  // namespace
}  // namespace marrowdale
