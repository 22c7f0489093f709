#include "audio/audio_capture_worker.h"

#include <atomic>

#include "audio/audio_profile.h"

#include <gtest/gtest.h>

#include "platform/fakes/fake_audio_capture.h"
#include "platform/fakes/fake_clock.h"
#include "platform/fakes/fake_media_format.h"
#include "platform/fakes/fake_ui_bridge.h"
#include "recorder/recording_session.h"
#include "tools/close_others_arming.h"

namespace marrowdale {
namespace {

using Strings = std::vector<std::string>;

CodecCatalogue wmaCatalogue() {
    CodecEntry wma{"WMA", "", {}};
    for (std::uint32_t rate : {48000u, 44100u, 22050u})
        for (std::uint16_t ch : {std::uint16_t{2}, std::uint16_t{1}})
            wma.formats.push_back(fakeWaveFormat(kWaveFormatWmaV2, rate, ch, 128000));
    CodecCatalogue c;
    c.audio.push_back(wma);
    return c;
}

class AudioWorker : public ::testing::Test {
  protected:
    AudioWorker() : media(wmaCatalogue()) {
        resetToProcessStart(settings, state);
        state.frameWindow = &frameWindowObject;
        // The wake-up algorithm alone; the drains within a wait have tests of their own.
        target.drainIntervalMs = 0;
    }

    std::int32_t run() {
        AudioWorkerServices services{clock, audio, media, ui};
        services.endHook = &closeOthers;
        return runAudioCaptureWorker(settings, state, services, target, &outcome);
    }

    // Fails `call` (its `index`-th time, or every time when index < 0) with `hr`.
    void failCall(const std::string& call, HResult hr, int index = -1) {
        audio.script.result = [call, hr, index](const std::string& c, int i) {
            return c == call && (index < 0 || i == index) ? hr : S_OK;
        };
    }
    // Stops through screenFinished after `wakes` wake-ups.
    void stopAfterWakes(int wakes) {
        audio.script.onCall = [this, wakes](const std::string& c, int) {
            if (c == "getNextPacketSize" && clock.sleeps() >= static_cast<unsigned>(wakes))
                state.screenFinished = 1;
        };
    }
    bool armed() const {
        for (const auto& c : ui.calls())
            if (c.kind == "setTimer")
                return true;
        return false;
    }
    // The samples that hold sound (the fake endpoint plays a sine; silence is all zeros).
    std::vector<const FakeWriterLog::Sample*> soundSamples() const {
        std::vector<const FakeWriterLog::Sample*> out;
        for (const auto& sample : media.log->samples)
            for (const std::int16_t v : sample.pcm)
                if (v != 0) {
                    out.push_back(&sample);
                    break;
                }
        return out;
    }
    // Frames of all samples written, 16-bit stereo.
    std::uint64_t fileFrames() const {
        std::uint64_t frames = 0;
        for (const auto& sample : media.log->samples)
            frames += sample.length / 4u;
        return frames;
    }
    int writerCalls(const std::string& call) const {
        int n = 0;
        for (const auto& c : media.log->calls)
            n += c == call;
        return n;
    }

    CaptureSettings settings;
    RecorderState state;
    FakeClock clock;
    FakeAudioSystem audio;
    FakeMediaFormatService media;
    FakeUiBridge ui;
    // The end step both programs install.
    CloseOthersArming closeOthers{settings, state, ui};
    AudioWorkerOutcome outcome;
    AudioRunTarget target;
    int frameWindowObject = 0;
};

struct SleepCase {
    std::uint32_t frames;
    std::uint32_t rate;
    std::int64_t duration;
    std::uint32_t sleepMs;
};

class SleepPeriod : public AudioWorker, public ::testing::WithParamInterface<SleepCase> {};

TEST_P(SleepPeriod, IsHalfTheBuffer) {
    const auto& c = GetParam();
    EXPECT_EQ(audioBufferDuration100ns(c.frames, c.rate), c.duration);
    EXPECT_EQ(audioSleepPeriodMs(c.frames, c.rate), c.sleepMs);
    // And the worker waits that long.
    audio.script.rate = c.rate;
    audio.script.bufferFrames = c.frames;
    stopAfterWakes(1);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(clock.sleeps(), 1u);
    EXPECT_EQ(clock.lastSleepMs(), c.sleepMs);
}

INSTANTIATE_TEST_SUITE_P(Table, SleepPeriod,
                         ::testing::Values(SleepCase{48000, 48000, 10000000, 500},
                                           SleepCase{44100, 44100, 10000000, 500},
                                           SleepCase{22050, 44100, 5000000, 250},
                                           SleepCase{96000, 48000, 20000000, 1000},
                                           SleepCase{1, 48000, 208, 0}));

TEST_F(AudioWorker, SetsUpInOrderAndEndsNormally) {
    stopAfterWakes(2);
    state.statusCode = StatusCode::kBothStarted;
    EXPECT_EQ(run(), 0);
    const Strings expected{"createDeviceEnumerator",
                           "getDefaultAudioEndpoint",
                           "activate",
                           "getMixFormat",
                           "initialize",
                           "getBufferSize",
                           "getService",
                           "start",
                           "getNextPacketSize",
                           "getNextPacketSize",
                           "stop",
                           "releaseBuffer"};
    EXPECT_EQ(audio.script.calls, expected);
    EXPECT_EQ(audio.script.flow, AudioDataFlow::kRender);
    EXPECT_EQ(audio.script.streamFlags, 0x20000u);
    EXPECT_EQ(audio.script.bufferDuration, 10000000);
    EXPECT_EQ(audio.script.released, (std::vector<std::uint32_t>{0}));
    EXPECT_EQ(state.statusCode.load(), StatusCode::kAudioStopped);
    EXPECT_EQ(state.screenFinished.load(), 0);
    EXPECT_TRUE(outcome.normalEnd);
    EXPECT_FALSE(outcome.errorShown);
    EXPECT_EQ(audio.script.objectsAlive, 0);
    const Strings writer{"setOutputFilename test.wma",
                         "setProfile",
                         "setLiveSource 1",
                         "getInputFormat 0 0",
                         "setInputProps 0",
                         "beginWriting",
                         "endWriting",
                         "release"};
    EXPECT_EQ(media.log->calls, writer);
    EXPECT_TRUE(ui.calls().empty());
}

TEST_F(AudioWorker, MicrophoneUsesTheRecordingDirectionAndNoFlags) {
    settings.audioStreamFlags = 0;
    stopAfterWakes(1);
    run();
    EXPECT_EQ(audio.script.flow, AudioDataFlow::kCapture);
    EXPECT_EQ(audio.script.streamFlags, 0u);
}

struct TimeCase {
    std::uint32_t rate;
    std::vector<std::uint32_t> packets;
    std::vector<std::uint64_t> times;
};

class TimeStamps : public AudioWorker, public ::testing::WithParamInterface<TimeCase> {};

// Packets the endpoint does not stamp follow each other: a wake-up without packets adds
// nothing between them. The file still ends at the stop instant, with silence after them.
TEST_P(TimeStamps, UnstampedPacketsFollowEachOther) {
    const auto& c = GetParam();
    audio.script.rate = c.rate;
    audio.script.bufferFrames = c.rate;
    const auto packets = c.packets;
    // All packets at the first wake-up except the last, which comes two wake-ups later.
    audio.script.packetsPerWake = [packets](int wake) {
        if (wake == 0)
            return std::vector<std::uint32_t>(packets.begin(), packets.end() - 1);
        if (wake == 3)
            return std::vector<std::uint32_t>{packets.back()};
        return std::vector<std::uint32_t>{};
    };
    stopAfterWakes(5);
    EXPECT_EQ(run(), 0);
    ASSERT_GT(media.log->samples.size(), c.times.size());
    for (std::size_t i = 0; i < c.times.size(); ++i) {
        EXPECT_EQ(media.log->samples[i].time100ns, c.times[i]) << i;
        EXPECT_EQ(media.log->samples[i].allocated, c.packets[i] * 4u * 2u);
        EXPECT_EQ(media.log->samples[i].length, c.packets[i] * 2u * 2u);
    }
    std::uint64_t total = 0;
    for (auto p : c.packets)
        total += p;
    for (std::size_t i = c.times.size(); i < media.log->samples.size(); ++i)
        for (const std::int16_t v : media.log->samples[i].pcm)
            ASSERT_EQ(v, 0) << "after the packets comes silence";
    EXPECT_EQ(outcome.framesWritten - outcome.silenceFrames, total);
    // Five half-second waits: the file lasts 2.5 s.
    const std::uint64_t expected = static_cast<std::uint64_t>(
        static_cast<double>(outcome.end100ns - outcome.zero100ns) * c.rate / 1e7);
    EXPECT_EQ(fileFrames(), expected);
    EXPECT_NEAR(static_cast<double>(expected) / c.rate, 2.5, 0.01);
    EXPECT_EQ(audio.script.released.back(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Table, TimeStamps,
                         ::testing::Values(TimeCase{48000, {4800, 480, 480}, {0, 1000000, 1100000}},
                                           TimeCase{44100, {441, 441, 100}, {0, 100000, 200000}},
                                           TimeCase{48000, {1, 1, 1}, {0, 208, 416}}));

TEST_F(AudioWorker, PacketsAreConvertedToSixteenBits) {
    audio.script.packetsPerWake = [](int wake) {
        return wake == 0 ? std::vector<std::uint32_t>{480} : std::vector<std::uint32_t>{};
    };
    stopAfterWakes(2);
    run();
    ASSERT_EQ(soundSamples().size(), 1u);
    const auto& pcm = soundSamples()[0]->pcm;
    ASSERT_EQ(pcm.size(), 960u);
    // The fake plays 0.5 * sin(2 pi 1000 t): sample 12 of 48 kHz is a quarter period.
    EXPECT_EQ(pcm[24], 16384);  // frame 12, left
    EXPECT_EQ(pcm[25], 16384);  // frame 12, right
    EXPECT_EQ(pcm[0], 0);
}

TEST_F(AudioWorker, StopRaisedDuringSetUpEndsBeforeAnyWait) {
    audio.script.onCall = [this](const std::string& c, int) {
        if (c == "initialize")
            state.screenFinished = 1;
    };
    audio.script.packetsPerWake = [](int) { return std::vector<std::uint32_t>{480}; };
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(clock.sleeps(), 0u);
    EXPECT_TRUE(media.log->samples.empty());
    EXPECT_EQ(writerCalls("beginWriting"), 1);
    EXPECT_EQ(writerCalls("endWriting"), 1);
    EXPECT_EQ(state.statusCode.load(), StatusCode::kAudioStopped);
    EXPECT_EQ(state.screenFinished.load(), 0);
}

TEST_F(AudioWorker, StopSignalledBeforeTheStartIsForgotten) {
    state.screenFinished = 1;
    audio.script.onCall = [this](const std::string& c, int) {
        if (c == "getNextPacketSize" && clock.sleeps() >= 3)
            state.stopAudioRequested = 1;
    };
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(clock.sleeps(), 3u);
}

TEST_F(AudioWorker, StopThroughScreenFinishedLeavesTheRequestAlone) {
    audio.script.onCall = [this](const std::string& c, int) {
        if (c == "getNextPacketSize") {
            state.screenFinished = 1;
            state.stopAudioRequested = 1;
        }
    };
    run();
    EXPECT_EQ(clock.sleeps(), 1u);
    EXPECT_EQ(state.screenFinished.load(), 0);
    EXPECT_EQ(state.stopAudioRequested.load(), 1);
    EXPECT_EQ(state.statusCode.load(), StatusCode::kAudioStopped);
}

TEST_F(AudioWorker, StopThroughTheRequestClearsBothFlags) {
    audio.script.onCall = [this](const std::string& c, int) {
        if (c == "getNextPacketSize")
            state.stopAudioRequested = 1;
    };
    run();
    EXPECT_EQ(clock.sleeps(), 1u);
    EXPECT_EQ(state.screenFinished.load(), 0);
    EXPECT_EQ(state.stopAudioRequested.load(), 0);
    EXPECT_EQ(state.statusCode.load(), StatusCode::kAudioStopped);
    EXPECT_TRUE(outcome.normalEnd);
}

// A stop raised 120 ms into a 500 ms wait cuts the wait short (to the next 5 ms look at the
// flags); the packets waiting then are still written before the loop ends.
TEST_F(AudioWorker, StopDuringAWaitEndsTheWaitEarlyAndDrainsFirst) {
    audio.script.packetsPerWake = [](int) { return std::vector<std::uint32_t>{480}; };
    std::uint64_t secondWaitStart = 0;
    std::uint64_t stopAt = 0;
    clock.setOnSleepSlice([&](FakeClock& c) {
        if (c.sleeps() != 2 || stopAt != 0)
            return;
        if (secondWaitStart == 0)
            secondWaitStart = c.peek();
        if (c.peek() >= secondWaitStart + 1'200'000) {
            stopAt = c.peek();
            state.screenFinished = 1;
        }
    });
    std::uint64_t secondDrainAt = 0;
    audio.script.onCall = [&](const std::string& call, int) {
        if (call == "getNextPacketSize" && clock.sleeps() == 2 && secondDrainAt == 0)
            secondDrainAt = clock.peek();
    };
    EXPECT_EQ(run(), 0);
    ASSERT_NE(stopAt, 0u);
    EXPECT_EQ(stopAt - secondWaitStart, 1'200'000u);
    EXPECT_EQ(secondDrainAt, stopAt) << "the drain follows the stop, not the end of the period";
    EXPECT_EQ(clock.sleeps(), 2u);
    EXPECT_EQ(clock.lastSleepMs(), 500u);
    EXPECT_EQ(soundSamples().size(), 2u) << "the second wake-up's packet is written";
    EXPECT_EQ(state.statusCode.load(), StatusCode::kAudioStopped);
    EXPECT_EQ(state.screenFinished.load(), 0);
}

// Stamped packets on the recording's clock: the endpoint delivers 10 ms packets as they are
// heard, with a stretch of nothing between two runs of them; the screen worker publishes the
// zero only at the second wake-up. Nothing before the zero is written, the stretch becomes
// silence of its length, and the file ends at the stop instant.
TEST_F(AudioWorker, StampedPacketsArePlacedOnTheRecordingsClock) {
    constexpr std::uint64_t kMs = 10'000;
    std::atomic<std::uint64_t> zero{0};
    target.zero100ns = &zero;
    target.zeroFromScreen = true;
    const std::uint64_t start = clock.peek();
    // Packet k is heard at start + 10 ms * k for k < 100 and k >= 150 (k 100..149: nothing).
    std::vector<std::uint64_t> heard;
    for (int k = 0; k < 200; ++k)
        if (k < 100 || k >= 150)
            heard.push_back(start + static_cast<std::uint64_t>(k) * 10 * kMs);
    audio.script.packetTime = [heard](int packet) { return heard.at(packet); };
    // Each wake-up (500 ms apart) finds the packets heard during the wait before it.
    audio.script.packetsPerWake = [heard, start](int wake) {
        std::vector<std::uint32_t> out;
        for (const std::uint64_t t : heard)
            if (t >= start + static_cast<std::uint64_t>(wake) * 500 * kMs &&
                t < start + static_cast<std::uint64_t>(wake + 1) * 500 * kMs)
                out.push_back(480);
        return out;
    };
    // The zero comes 300 ms in (the screen worker's warm-up); the stop after the fifth wait.
    audio.script.onCall = [&](const std::string& call, int) {
        if (call == "getNextPacketSize" && clock.sleeps() >= 1)
            zero = start + 300 * kMs;
        if (call == "getNextPacketSize" && clock.sleeps() >= 5)
            state.screenFinished = 1;
    };
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(outcome.zero100ns, start + 300 * kMs);
    // 300 ms of sound before the zero are dropped, the other 1.2 s written, with 500 ms of
    // silence between, and the file ends at the stop.
    const double seconds = static_cast<double>(outcome.end100ns - outcome.zero100ns) / 1e7;
    EXPECT_EQ(fileFrames(), static_cast<std::uint64_t>(seconds * 48000 + 0.5));
    EXPECT_EQ(outcome.droppedFrames, 300u * 48);
    // The samples, in order: sound from 0 to 700 ms, silence to 1200 ms, sound after it.
    std::uint64_t at = 0;
    for (const auto& sample : media.log->samples) {
        const std::uint64_t frames = sample.length / 4u;
        bool silent = true;
        for (const std::int16_t v : sample.pcm)
            silent = silent && v == 0;
        EXPECT_EQ(sample.time100ns, audioSampleTime(at, ticksPerAudioFrame(48000)));
        const double ms = static_cast<double>(at) / 48.0;
        if (ms < 700 - 1 || (ms >= 1200 && ms < 1700 - 1)) {
            EXPECT_FALSE(silent) << "at " << ms << " ms";
        }
        if (ms >= 700 && ms < 1200 - 1) {
            EXPECT_TRUE(silent) << "at " << ms << " ms";
        }
        at += frames;
    }
    EXPECT_NEAR(static_cast<double>(outcome.silenceFrames) / 48.0,
                500.0 + (seconds * 1000.0 - 1700.0), 1.0);
}

// The clocks' own sliced wait: the whole period when nothing wakes it, slices of at most 5 ms,
// and an early return at the first look after `wake` turns true.
class CountingClock final : public Clock {
  public:
    std::uint64_t now100ns() override { return now; }
    void sleepUntil100ns(std::uint64_t t) override {
        longestSlice = std::max(longestSlice, t - now);
        now = std::max(now, t);
        ++slices;
    }
    void sleepMs(std::uint32_t ms) override { now += std::uint64_t{ms} * 10'000; }
    std::uint64_t now = 5'000'000;
    std::uint64_t longestSlice = 0;
    int slices = 0;
};

TEST(ClockWait, SlicedWaitRunsItsPeriodOrEndsAtTheFirstLookAfterAWake) {
    CountingClock full;
    full.sleepMsUnless(500, [] { return false; });
    EXPECT_EQ(full.now, 5'000'000u + 5'000'000u);
    EXPECT_EQ(full.slices, 100);
    EXPECT_EQ(full.longestSlice, 50'000u);

    CountingClock odd;
    odd.sleepMsUnless(12, [] { return false; });
    EXPECT_EQ(odd.now, 5'000'000u + 120'000u) << "the last slice stops at the end";

    CountingClock early;
    early.sleepMsUnless(500, [&early] { return early.now >= 5'000'000u + 730'000u; });
    EXPECT_EQ(early.now, 5'000'000u + 750'000u);

    CountingClock raised;
    raised.sleepMsUnless(500, [] { return true; });
    EXPECT_EQ(raised.slices, 0) << "a stop already raised does not wait at all";
}

TEST_F(AudioWorker, EndsByItselfAfterNinetyThousandWakeUps) {
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(clock.sleeps(), 90000u);
    EXPECT_EQ(outcome.wakeCount, 90000u);
    EXPECT_EQ(audio.script.count("getNextPacketSize"), 90000);
    EXPECT_EQ(state.statusCode.load(), StatusCode::kAudioStopped);
    EXPECT_EQ(writerCalls("endWriting"), 1);
}

struct ErrorCase {
    const char* name;
    std::string call;
    int index;  // which call fails, -1: every
    std::int32_t exitCode;
    Strings messages;
    bool writingBegun;
    std::vector<std::uint32_t> released;
};

class NumberedErrors : public AudioWorker, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(NumberedErrors, ShowTheTextAndEndTheWorker) {
    const auto& c = GetParam();
    failCall(c.call, AUDCLNT_E_DEVICE_INVALIDATED, c.index);
    settings.closeOthersOnStop = 1;
    state.statusCode = StatusCode::kBothStarted;
    audio.script.packetsPerWake = [](int) { return std::vector<std::uint32_t>{480}; };
    stopAfterWakes(3);
    EXPECT_EQ(run(), c.exitCode);
    EXPECT_EQ(ui.messages(), c.messages);
    for (const auto& call : ui.calls()) {
        if (call.kind == "messageBox") {
            EXPECT_EQ(call.caption, "Marrowdale");
        }
    }
    EXPECT_FALSE(armed()) << "numbered errors do not arm the close-others timer";
    EXPECT_EQ(state.statusCode.load(), StatusCode::kBothStarted);
    EXPECT_FALSE(outcome.normalEnd);
    EXPECT_TRUE(outcome.errorShown);
    // Whatever was begun is finished, and everything is released.
    EXPECT_EQ(writerCalls("beginWriting"), c.writingBegun ? 1 : 0);
    EXPECT_EQ(writerCalls("endWriting"), c.writingBegun ? 1 : 0);
    EXPECT_EQ(media.log->writersAlive, 0);
    EXPECT_EQ(media.log->samplesAlive, 0);
    EXPECT_EQ(audio.script.objectsAlive, 0);
    EXPECT_EQ(audio.script.released, c.released);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NumberedErrors,
    ::testing::Values(
        ErrorCase{"endpoint",
                  "getDefaultAudioEndpoint",
                  -1,
                  -1,
                  {"Error-1: Audio recorder  not started\n\nGetDefaultAudioEndpoint error"},
                  false,
                  {}},
        ErrorCase{"activate",
                  "activate",
                  -1,
                  -2,
                  {"Error-2: Audio recorder  not started\n\nActivate error"},
                  false,
                  {}},
        ErrorCase{"mix_format",
                  "getMixFormat",
                  -1,
                  -3,
                  {"Error -3: Audio recorder  not started\n\nGetMixFormat error"},
                  false,
                  {}},
        ErrorCase{"initialize",
                  "initialize",
                  -1,
                  -4,
                  {"Error -4: Audio recorder  not started\n\nInitialize error"},
                  false,
                  {}},
        ErrorCase{"buffer_size",
                  "getBufferSize",
                  -1,
                  -5,
                  {"Error -5: Audio recorder  not started\n\nGetBufferSize error"},
                  false,
                  {}},
        ErrorCase{"service",
                  "getService",
                  -1,
                  -6,
                  {"Error -6: Audio recorder  not started\n\nGetService error",
                   " The audio endpoint device has been unplugged, or the audio hardware or "
                   "associated hardware resources have been reconfigured, disabled, removed, or "
                   "otherwise made unavailable for use."},
                  false,
                  {}},
        ErrorCase{"start",
                  "start",
                  -1,
                  -8,
                  {"Error -8: Audio recorder  not started\n\nStart error"},
                  false,
                  {}},
        ErrorCase{"packet_size",
                  "getNextPacketSize",
                  0,
                  -9,
                  {"Error -9: Audio recorder  while looping\n\nGetNextPacketSize error"},
                  true,
                  {}},
        ErrorCase{"packet_size_second_wake",
                  "getNextPacketSize",
                  2,
                  -9,
                  {"Error -9: Audio recorder  while looping\n\nGetNextPacketSize error"},
                  true,
                  {480}},
        ErrorCase{"get_buffer",
                  "getBuffer",
                  0,
                  -10,
                  {"Error -10: Audio recorder  while looping\n\nGetBuffer error"},
                  true,
                  {0}}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(AudioWorker, SampleDataFailureIsErrorMinusTwenty) {
    media.writerResults.sampleBuffer = E_FAIL;
    audio.script.packetsPerWake = [](int) { return std::vector<std::uint32_t>{480}; };
    settings.closeOthersOnStop = 1;
    EXPECT_EQ(run(), -20);
    EXPECT_EQ(ui.messages(), Strings{"Error -20: GetBuffer error"});
    EXPECT_FALSE(armed());
    EXPECT_EQ(writerCalls("endWriting"), 1);
    EXPECT_EQ(media.log->samplesAlive, 0);
}

TEST_F(AudioWorker, WriteFailureIsErrorMinusElevenAndReleasesThePacket) {
    media.writerResults.writeSample = NS_E_FILE_WRITE;
    media.writerResults.failWriteSampleAt = 1;
    audio.script.packetsPerWake = [](int) { return std::vector<std::uint32_t>{480, 240}; };
    EXPECT_EQ(run(), -11);
    EXPECT_EQ(ui.messages(),
              Strings{"Error -11: Audio recorder  while looping\n\nWriteSample error"});
    // The first packet went through; the second is given back with its frame count after the
    // message, and the sample was already given up.
    EXPECT_EQ(audio.script.released, (std::vector<std::uint32_t>{480, 240}));
    EXPECT_EQ(media.log->samples.size(), 1u);
    EXPECT_EQ(writerCalls("endWriting"), 1);
    EXPECT_EQ(media.log->samplesAlive, 0);
}

TEST_F(AudioWorker, HostileEndpointDeliveringMoreThanAnnouncedIsNotWrittenPastTheSample) {
    audio.script.extraFramesInBuffer = 1000;
    audio.script.packetsPerWake = [](int) { return std::vector<std::uint32_t>{10}; };
    EXPECT_EQ(run(), -20);
    EXPECT_TRUE(media.log->samples.empty());
}

struct ServiceCase {
    HResult result;
    std::string second;
};

class CaptureServiceMessages : public AudioWorker,
                               public ::testing::WithParamInterface<ServiceCase> {};

TEST_P(CaptureServiceMessages, SecondMessageExplainsTheResult) {
    failCall("getService", GetParam().result);
    EXPECT_EQ(run(), -6);
    EXPECT_EQ(ui.messages(), (Strings{"Error -6: Audio recorder  not started\n\nGetService error",
                                      GetParam().second}));
}

INSTANTIATE_TEST_SUITE_P(
    Table, CaptureServiceMessages,
    ::testing::Values(
        ServiceCase{AUDCLNT_E_WRONG_ENDPOINT_TYPE,
                    "The caller tried to access an IAudioCaptureClient interface on a rendering "
                    "endpoint, or an IAudioRenderClient interface on a capture endpoint."},
        ServiceCase{E_NOINTERFACE, "The requested interface is not available."},
        ServiceCase{E_POINTER, "Parameter ppv is NULL."},
        ServiceCase{AUDCLNT_E_NOT_INITIALIZED, "The audio stream has not been initialized."},
        ServiceCase{AUDCLNT_E_SERVICE_NOT_RUNNING, "  The Windows audio service is not running."},
        ServiceCase{E_FAIL, "unknown error"},
        ServiceCase{makeResult(0x80001234u), "unknown error"}));

TEST_F(AudioWorker, EnumeratorFailureGoesSilentlyToTheCommonExit) {
    failCall("createDeviceEnumerator", E_OUTOFMEMORY);
    settings.closeOthersOnStop = 1;
    state.statusCode = StatusCode::kBothStarted;
    EXPECT_EQ(run(), E_OUTOFMEMORY);
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_TRUE(armed());
    EXPECT_EQ(state.closeOthersPending.load(), 1);
    EXPECT_EQ(state.statusCode.load(), StatusCode::kBothStarted);
    EXPECT_TRUE(media.log->calls.empty()) << "nothing is written";
}

TEST_F(AudioWorker, PacketReleaseFailureGoesToTheCommonExit) {
    failCall("releaseBuffer", AUDCLNT_E_INVALID_SIZE);
    audio.script.packetsPerWake = [](int) { return std::vector<std::uint32_t>{480}; };
    settings.closeOthersOnStop = 1;
    state.statusCode = StatusCode::kBothStarted;
    // The exit code is the result of the final release with 0 frames.
    EXPECT_EQ(run(), AUDCLNT_E_INVALID_SIZE);
    EXPECT_EQ(audio.script.released, (std::vector<std::uint32_t>{480, 0}));
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_TRUE(armed());
    EXPECT_EQ(state.statusCode.load(), StatusCode::kBothStarted);
    EXPECT_EQ(writerCalls("endWriting"), 1) << "the file is finished";
    EXPECT_EQ(media.log->samples.size(), 1u);
    EXPECT_EQ(audio.script.objectsAlive, 0);
}

TEST_F(AudioWorker, PacketSizeFailureInsideThePacketLoopGoesToTheCommonExit) {
    failCall("getNextPacketSize", AUDCLNT_E_DEVICE_INVALIDATED, 1);
    audio.script.packetsPerWake = [](int) { return std::vector<std::uint32_t>{480, 480}; };
    EXPECT_EQ(run(), S_OK);  // the final release with 0 frames succeeds
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_FALSE(outcome.normalEnd);
    EXPECT_EQ(writerCalls("endWriting"), 1);
    EXPECT_EQ(state.statusCode.load(), StatusCode::kShowArea);
}

TEST_F(AudioWorker, NormalEndArmsTheCloseOthersTimer) {
    settings.closeOthersOnStop = 1;
    state.closeOthersTimerId = 55;
    stopAfterWakes(1);
    run();
    const auto calls = ui.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].kind, "killTimer");
    EXPECT_EQ(calls[0].timer, 55u);
    EXPECT_EQ(calls[0].window, &frameWindowObject);
    EXPECT_EQ(calls[1].kind, "setTimer");
    EXPECT_EQ(calls[1].timer, 100u);
    EXPECT_EQ(calls[1].intervalMs, 200u);
    EXPECT_EQ(state.closeOthersTimerId.load(), ui.timerResult);
    EXPECT_EQ(state.closeOthersPending.load(), 1);
}

TEST_F(AudioWorker, FailedTimerKillIsReported) {
    settings.closeOthersOnStop = 1;
    state.closeOthersTimerId = 55;
    ui.killResult = false;
    stopAfterWakes(1);
    run();
    const auto calls = ui.calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[1].kind, "messageBox");
    EXPECT_EQ(calls[1].text, "KillTimer(TimerHandle) failed.");
    EXPECT_EQ(calls[1].caption, "OnCommandStartBoth()");
}

TEST_F(AudioWorker, WithoutTheOptionNothingIsArmed) {
    state.closeOthersTimerId = 55;
    stopAfterWakes(1);
    run();
    EXPECT_TRUE(ui.calls().empty());
    EXPECT_EQ(state.closeOthersTimerId.load(), 55u);
}

TEST_F(AudioWorker, MissingProfileIsReportedAndNothingIsWritten) {
    audio.script.rate = 96000;  // no format of the catalogue
    audio.script.bufferFrames = 96000;
    state.statusCode = StatusCode::kBothStarted;
    EXPECT_EQ(run(), E_INVALIDARG);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].rfind("Audio recorder  not started\n\nCreateAudioProfile error", 0),
              0u);
    EXPECT_NE(ui.messages()[0].find("96000 Hz with 2 channels"), std::string::npos);
    EXPECT_EQ(audio.script.count("start"), 0);
    EXPECT_TRUE(media.log->calls.empty());
    EXPECT_EQ(state.statusCode.load(), StatusCode::kBothStarted);
    EXPECT_EQ(audio.script.objectsAlive, 0);
}

TEST_F(AudioWorker, MissingWriterIsReported) {
    media.createWriterResult = E_OUTOFMEMORY;
    EXPECT_TRUE(failed(run()));
    EXPECT_EQ(ui.messages(), Strings{"Audio recorder  not started\n\nCreateAudioWriter error"});
    EXPECT_EQ(audio.script.count("start"), 0);
}

TEST_F(AudioWorker, AFileThatCannotBeBegunIsAnError) {
    media.writerResults.beginWriting = NS_E_FILE_OPEN_FAILED;
    state.statusCode = StatusCode::kBothStarted;
    EXPECT_EQ(run(), NS_E_FILE_OPEN_FAILED);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].rfind("Audio recorder  not started\n\nBeginWriting error", 0), 0u);
    EXPECT_FALSE(outcome.normalEnd);
    EXPECT_TRUE(outcome.errorShown);
    EXPECT_EQ(audio.script.count("getNextPacketSize"), 0);
    EXPECT_EQ(writerCalls("endWriting"), 0);
    EXPECT_EQ(state.statusCode.load(), StatusCode::kBothStarted);
    EXPECT_EQ(audio.script.objectsAlive, 0);
    EXPECT_EQ(media.log->writersAlive, 0);
}

// Within each wait of half the buffer, what has arrived goes to the file every drain interval:
// a recording killed in the middle of a wait has its sound in the file up to the last interval.
TEST_F(AudioWorker, WithinAWaitTheSoundGoesToTheFileEveryDrainInterval) {
    target.drainIntervalMs = kAudioDrainIntervalMs;
    std::vector<std::uint64_t> drainTimes;
    audio.script.onCall = [&](const std::string& c, int) {
        if (c == "getNextPacketSize")
            drainTimes.push_back(clock.peek());
    };
    // The stop comes 450 ms into the first wait.
    clock.setOnSleepSlice([this](FakeClock& c) {
        if (outcome.startTime100ns != 0 && c.peek() - outcome.startTime100ns >= 4'500'000)
            state.screenFinished = 1;
    });
    audio.script.packetsPerWake = [](int) { return std::vector<std::uint32_t>{960}; };
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(outcome.wakeCount, 1u);  // one wake-up of 500 ms, as before
    ASSERT_GE(drainTimes.size(), 4u);
    // Drains at about 200 and 400 ms into the first wait, then at its end.
    const std::uint64_t start = outcome.startTime100ns;
    EXPECT_NEAR(static_cast<double>(drainTimes[0] - start), 2'000'000.0, 60'000.0);
    bool sawSecond = false;
    for (const std::uint64_t t : drainTimes)
        sawSecond = sawSecond || (t - start > 3'900'000 && t - start < 4'100'000);
    EXPECT_TRUE(sawSecond);
    // Every packet offered was written, each once.
    EXPECT_EQ(outcome.framesWritten - outcome.silenceFrames,
              static_cast<std::uint64_t>(audio.script.framesDelivered));
}

TEST_F(AudioWorker, MissingSampleIsReportedAndTheFileFinished) {
    media.writerResults.allocateSample = E_OUTOFMEMORY;
    audio.script.packetsPerWake = [](int) { return std::vector<std::uint32_t>{480}; };
    EXPECT_EQ(run(), E_OUTOFMEMORY);
    EXPECT_EQ(ui.messages(), Strings{"Audio recorder  while looping\n\nAllocateSample error"});
    EXPECT_EQ(audio.script.count("getBuffer"), 0);
    EXPECT_EQ(writerCalls("endWriting"), 1);
}

TEST_F(AudioWorker, RunsOnTheThreadOfTheRecordingSession) {
    audio.script.packetsPerWake = [](int) { return std::vector<std::uint32_t>{100}; };
    stopAfterWakes(4);
    const AudioWorkerServices services{clock, audio, media, ui};
    RecordingSession session(state, {}, [&](const WorkerStart& start) {
        AudioRunTarget t{start.folder, start.zero100ns, start.zeroFromScreen};
        t.drainIntervalMs = target.drainIntervalMs;  // the fixture's: wake-ups only
        const std::int32_t code = runAudioCaptureWorker(settings, state, services, t, &outcome);
        return WorkerEnd{code < 0, code};
    });
    session.startRecording(RecordingKind::kAudio, target.folder);
    ASSERT_TRUE(session.waitForAll(std::chrono::seconds(30)));
    EXPECT_EQ(session.audioEnd().code, outcome.exitCode);
    EXPECT_TRUE(outcome.normalEnd);
    EXPECT_EQ(outcome.framesWritten - outcome.silenceFrames, 400u);
    EXPECT_EQ(outcome.sampleRate, 48000u);
}

}  // namespace
}  // namespace marrowdale
