// The audio worker: records the default endpoint chosen by audioStreamFlags into test.wma in
// its output folder until screenFinished or stopAudioRequested is raised, 90000 wake-ups have
// passed or a step fails. Failures are shown through the UI bridge; every exit finishes
// test.wma (when writing had begun) and releases what the worker holds. A file that cannot be
// begun is an error like a missing writer.
//
// It wakes every half endpoint buffer, and within that wait it hands what has arrived to the
// writer every kAudioDrainIntervalMs: with the writer putting each packet into the file as it
// is made, a killed recording keeps its sound up to a fraction of a second before the kill.
//
// The sound is placed on the recording's clock (audio/audio_placement.h): the file's frame 0 is
// the recording's zero, each packet goes where its stamp says, a stretch in which nothing was
// delivered is silence, and the file ends at the stop instant.
//
// With kAudioStreamFlagMicrophoneToo in audioStreamFlags it records both sources at once, as one
// endpoint that mixes them (audio/source_mix.h). The level of what each source delivers goes to
// its SoundLevel in RecorderState for the level meter.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/audio_capture.h"
#include "platform/clock.h"
#include "platform/media_writer.h"
#include "platform/ui_bridge.h"
#include "recorder/state.h"
#include "recorder/worker_end_hook.h"

namespace marrowdale {

// Requested endpoint buffer: 1 s in 100-ns units.
inline constexpr std::int64_t kAudioBufferDuration100ns = 10'000'000;
// From the buffer duration in 100-ns units to the wait in ms (half the buffer).
inline constexpr std::int64_t kAudioSleepDivisor = 20'000;
inline constexpr std::uint32_t kAudioMaxWakeUps = 90'000;

// The wait between drains, in ms, for a buffer of `bufferFrames` at `samplesPerSec`.
std::uint32_t audioSleepPeriodMs(std::uint32_t bufferFrames, std::uint32_t samplesPerSec);
// The buffer's duration in 100-ns units.
std::int64_t audioBufferDuration100ns(std::uint32_t bufferFrames, std::uint32_t samplesPerSec);

// Within a wait, the sound that has arrived goes to the file at least this often, so that a
// killed recording loses little of it.
inline constexpr std::uint32_t kAudioDrainIntervalMs = 200;
// After a stop, the wait for the sound that was played before it and is still on its way.
inline constexpr std::uint32_t kAudioStopGraceMs = 60;
// A drain leaves the newest sound this long for the next one, so that the packets arriving
// later can correct the stamp of one that waited (100 ms).
inline constexpr std::uint64_t kAudioLookahead100ns = 1'000'000;
// Silence is written in samples of at most this length.
inline constexpr std::uint32_t kSilenceChunkMs = 100;

// Where a run writes and the clock it counts from.
struct AudioRunTarget {
    // The folder of test.wma (empty: the current directory).
    std::string folder;
    // The recording's zero on the clock. With `zeroFromScreen`, the screen worker publishes it
    // there (0 until then) and the sound waits for it; otherwise the worker takes the moment it
    // starts capturing and publishes that (the pointer may then be null).
    std::atomic<std::uint64_t>* zero100ns = nullptr;
    bool zeroFromScreen = false;
    // Within each wait of half the endpoint buffer, what has arrived is handed to the file
    // every this many ms (0: only at the wake-ups).
    std::uint32_t drainIntervalMs = kAudioDrainIntervalMs;
};

// How a run ended.
struct AudioWorkerOutcome {
    // The error number (-1 .. -11, -20), the result carried into the common exit, or the
    // failing result when a profile, writer or sample was missing.
    std::int32_t exitCode = 0;
    bool normalEnd = false;           // the loop ended by a stop or the wake-up limit
    bool errorShown = false;          // a message box reported a failure
    std::uint64_t framesWritten = 0;  // frames of the file, silence included
    std::uint64_t silenceFrames = 0;  // frames of silence written where nothing was delivered
    std::uint64_t droppedFrames = 0;  // delivered frames not written (before zero, past the end)
    std::uint64_t zero100ns = 0;      // the recording's zero the file counts from
    std::uint64_t end100ns = 0;       // the stop instant the file ends at (0: ended early)
    std::uint32_t wakeCount = 0;
    std::uint32_t sampleRate = 0;  // of the mix format, 0 before it was known
    std::uint32_t channels = 0;
    // Clock times (100-ns units) when the endpoint was started and when the last drain ended;
    // the sound's length against their difference shows how far the endpoint's clock drifts.
    std::uint64_t startTime100ns = 0;
    std::uint64_t lastDrainTime100ns = 0;
};

// The services a run uses; they must outlive it.
struct AudioWorkerServices {
    Clock& clock;
    AudioSystem& audio;
    MediaFormatService& media;
    UiBridge& ui;
    // Runs as the last step of the common exit, after the endpoint was released; null: nothing
    // runs.
    WorkerEndHook* endHook = nullptr;
};

// The worker's body, on the calling thread. Returns the exit code (also in outcome).
std::int32_t runAudioCaptureWorker(CaptureSettings& settings, RecorderState& state,
                                   const AudioWorkerServices& services,
                                   const AudioRunTarget& target = {},
                                   AudioWorkerOutcome* outcome = nullptr);

}  // namespace marrowdale
