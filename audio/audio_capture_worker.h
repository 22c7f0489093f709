// The audio worker: records the default endpoint chosen by audioStreamFlags into test.wma in
// the current directory until screenFinished or stopAudioRequested is raised, 90000 wake-ups
// have passed or a step fails. Failures are shown through the UI bridge; every exit finishes
// test.wma (when writing had begun) and releases what the worker holds.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "platform/audio_capture.h"
#include "platform/clock.h"
#include "platform/media_writer.h"
#include "platform/ui_bridge.h"
#include "recorder/state.h"

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

// How a run ended.
struct AudioWorkerOutcome {
    // The error number (-1 .. -11, -20), the result carried into the common exit, or the
    // failing result when a profile, writer or sample was missing.
    std::int32_t exitCode = 0;
    bool normalEnd = false;           // the loop ended by a stop or the wake-up limit
    bool errorShown = false;          // a message box reported a failure
    std::uint64_t framesWritten = 0;  // frames handed to the writer
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
};

// The worker's body, on the calling thread. Returns the exit code (also in outcome).
std::int32_t runAudioCaptureWorker(CaptureSettings& settings, RecorderState& state,
                                   const AudioWorkerServices& services,
                                   AudioWorkerOutcome* outcome = nullptr);

// Starts runAudioCaptureWorker on a new thread (the caller joins it). `outcome` (may be null)
// is written before the thread ends; `finished` (may be null) becomes true as it ends.
std::thread startAudioCaptureWorker(CaptureSettings& settings, RecorderState& state,
                                    const AudioWorkerServices& services,
                                    AudioWorkerOutcome* outcome = nullptr,
                                    std::atomic<bool>* finished = nullptr);

}  // namespace marrowdale
