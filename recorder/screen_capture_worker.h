// ScreenCaptureWorker: grabs the capture rectangle on a fixed time grid and writes every grab
// as a numbered image file into "<current directory>/vid1/". A file's number is its time slot:
// a slot served too late leaves its number free or is caught up, as captureMode says.
//
// The loop keeps to its grid; the frames it grabs go through an EncoderPool, whose threads
// encode and write them while the loop waits for the next slot. The end waits for every frame
// handed over to be on disk before it raises the end flags.
//
// The worker takes everything from CaptureSettings and RecorderState and reports back only
// through them and the UI bridge. It ends by itself at maxFrames, when screenStopped is raised
// (the stop command), when stopScreenRequested is raised (a view goes away) or when the grabber
// has lost its screen (every further frame would repeat the last picture).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/screen_grabber.h"
#include "platform/ui_bridge.h"
#include "recorder/capture_stats.h"
#include "recorder/frame_writers.h"
#include "recorder/state.h"
#include "recorder/worker_end_hook.h"

namespace marrowdale {

// The first slot is 40 ms after the start, whatever the period.
inline constexpr std::uint64_t kFirstSlotDelay100ns = 400000;
// The wait sleeps until this long before a slot and reads the clock for the rest.
inline constexpr std::uint64_t kSpinWindow100ns = 10000;  // 1 ms
inline constexpr std::string_view kTitleStopped = "Marrowdale stopped";
// Said, with the grabber's reason after it, when the screen cannot be grabbed at all (the
// worker then ends at once, its end steps run).
inline constexpr std::string_view kMessageScreenCannotBeRecorded =
    "The screen cannot be recorded: ";

// Used in place of a period of 0, which has no slots.
inline constexpr std::uint32_t kFallbackFramePeriod = 400000;

// The platform services one run uses. All of them must outlive the run.
struct ScreenCaptureServices {
    Clock& clock;
    ScreenGrabber& grabber;
    // Frames are encoded and written by encoder threads beside the loop, one per lane of the
    // writers; writers without lanes are used on the worker's thread alone.
    FrameWriters& writers;
    UiBridge& ui;
    // How many encoder threads at most; 0 means one per core, at most four.
    std::size_t encoderThreads = 0;
    // Runs as the last end step, after the title window was told; null: nothing runs.
    WorkerEndHook* endHook = nullptr;
};

// How a run ended.
enum class ScreenRunEnd {
    kEnded,         // maxFrames, the stop command or a view going away
    kFolderFailed,  // the output folder could not be prepared: nothing was recorded
    kScreenLost,    // the grabber lost its screen; the end steps ran as for the stop command
    kNotGrabbable,  // the screen could not be grabbed at all (said); nothing was recorded
};

// The whole life of one worker, on the calling thread: output folder, set-up, the loop and the
// end steps. `currentDirectory` is the folder in which "vid1" is made. `stats` may be null.
// Threads: the recording session starts the worker's thread (recorder/recording_session.h).
ScreenRunEnd runScreenCaptureWorker(CaptureSettings& settings, RecorderState& state,
                                    const ScreenCaptureServices& services,
                                    std::string_view currentDirectory,
                                    CaptureRunStats* stats = nullptr);

}  // namespace marrowdale
