// The commands that start and stop recordings, and the 80 ms command. They run on the GUI
// thread, prepare the shared records, make sure the output folder exists, start the workers and
// return at once; stopping is done by flags that the workers poll.
//
// Besides the plain sequence, a start is refused with a message box (caption "Marrowdale") and
// changes nothing when
// - a worker of a kind it would start is still running ("A recording is already running."), or
// - the capture rectangle has no positive width and height ("The capture area has no width or
//   height."), or is larger than any grab can serve (kMessageAreaTooLarge: its rows would
//   overflow, or the pictures a recording holds would not fit in the machine's memory);
// and the output folder is refused, like a path that is too long, when a frame name in it would
// not fit its 249 characters. A start whose first minute would not fit in the free space of the
// working folder is refused with a message too (recorder/disk_space.h), after the folder was
// made, with the error title.
//
// A start while no worker runs begins a new recording: an earlier one in the folder (frames in
// vid1/, test.wma) is moved aside under dated names first, with a notice saying where, and the
// new recording's description (recording.ini) is written beside vid1/. When the earlier one
// cannot be moved, the start is refused with a message and nothing is recorded.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ui_bridge.h"
#include "recorder/disk_space.h"
#include "recorder/state.h"

namespace marrowdale {

inline constexpr std::string_view kTitleRecordingScreenOnly = "Marrowdale recording screen only";
inline constexpr std::string_view kTitleRecordingBoth = "Marrowdale recording screen and audio";
inline constexpr std::string_view kTitleRecording = "Marrowdale Recording";
inline constexpr std::string_view kTitleErrorRecording = "Marrowdale Error Recording";
inline constexpr std::string_view kTitleRecordingStopped = "Marrowdale stopped";

inline constexpr std::string_view kMessageAlreadyRunning = "A recording is already running.";
inline constexpr std::string_view kMessageNoCaptureArea =
    "The capture area has no width or height.";
// Followed by the size, " (W x H pixels).".
inline constexpr std::string_view kMessageAreaTooLarge = "The capture area is too large to record";
// Followed by what could not be moved and why.
inline constexpr std::string_view kMessageMoveAsideFailed =
    "The earlier recording in this folder could not be moved aside, so nothing was recorded.\n";

// 80 ms between frames.
inline constexpr std::uint32_t kFramePeriod80ms = 800000;

// What a recording records.
enum class RecordingKind : std::uint8_t { kScreen, kAudio, kScreenAndAudio };

// The program's workers, as the commands see them (the recording session). GUI thread.
class WorkerLauncher {
  public:
    virtual ~WorkerLauncher() = default;
    // Whether a worker of that kind has been started and has not ended yet.
    virtual bool screenWorkerRunning() const = 0;
    virtual bool audioWorkerRunning() const = 0;
    // Starts a recording's workers at once. `folder` is where vid1/ and test.wma go.
    virtual void startRecording(RecordingKind kind, const std::string& folder) = 0;
};

// How a start command ended.
enum class StartResult : std::uint8_t {
    kStarted,
    kRefusedRunning,    // a worker of a kind it would start still runs
    kRefusedNoArea,     // the capture rectangle has no width or height
    kRefusedTooLarge,   // the capture rectangle is larger than a grab can serve
    kFolderFailed,      // the output folder could not be made or is too long
    kRefusedDiskSpace,  // the first minute would not fit in the free space
};

// What the commands need from the view that issues them. GUI thread.
class CommandHost {
  public:
    virtual ~CommandHost() = default;
    // The view the command came from (recorded in commandView); may be null.
    virtual CaptureView* view() = 0;
    virtual WindowHandle viewWindow() = 0;
    // The window that directly contains the view (its child frame); may be null.
    virtual WindowHandle parentWindow() = 0;
    // The view's top-level frame, whose title shows the recording state.
    virtual WindowHandle mainFrame() = 0;
    virtual void minimizeMainFrame() = 0;
    // The process's current directory; empty when it cannot be read.
    virtual std::string currentDirectory() = 0;
};

// The free space of a folder, nothing when it cannot be read (freeDiskBytes; tests their own).
using FreeSpaceFn = std::function<std::optional<std::uint64_t>(const std::string& folder)>;

struct RecordingCommandContext {
    CaptureSettings& settings;
    RecorderState& state;
    UiBridge& ui;
    WorkerLauncher& workers;
    CommandHost& host;
    FreeSpaceFn freeSpace = freeDiskBytes;
};

// Builds and creates "<current directory>/vid1/". On failure sets the main frame's title to
// "Marrowdale Error Recording", shows the matching message (caption "Plumet") and returns false.
bool buildOutputFolder(RecordingCommandContext& ctx, std::string* prefix = nullptr);

// The start commands' work, with how it ended (the command handlers drop the result; the
// command-line recorder turns it into its exit status).
StartResult startScreenRecording(RecordingCommandContext& ctx);
StartResult startScreenAndAudioRecording(RecordingCommandContext& ctx);
// What "Record audio only" does once its dialog was confirmed.
StartResult startAudioRecording(RecordingCommandContext& ctx);

// Screen only (32771).
void OnCommandRecord(RecordingCommandContext& ctx);
// Screen and audio (32783).
void OnCommandStartBoth(RecordingCommandContext& ctx);
// Minimize, then screen and audio (32793, 32796).
void OnCommandMinimizeStartBoth(RecordingCommandContext& ctx);
// Minimize, then screen only (32794, 32795).
void OnCommandMinimizeStartScreen(RecordingCommandContext& ctx);
// Stop (32774, 32775, 32778): raises screenStopped and screenFinished, title "Marrowdale stopped".
void OnCommandStopRecording(RecordingCommandContext& ctx);
// 80 ms between frames (32782).
void OnCommandFrameRate80(CaptureSettings& settings);

// Whether pictures of `width` x `height` pixels can be grabbed and held: 4-byte pixels whose
// rows fit a 32-bit length, and `picturesHeld` of them within `memoryBytes`.
bool captureAreaFits(std::int64_t width, std::int64_t height, std::uint64_t memoryBytes,
                     std::uint64_t picturesHeld);

// The refusals every start makes first: kStarted when a start of the given kinds may go on,
// else the refusal (after showing its message). Also for an audio-only start (needsScreen
// false).
StartResult checkStart(RecordingCommandContext& ctx, bool needsScreen, bool needsAudio);
inline bool refuseStart(RecordingCommandContext& ctx, bool needsScreen, bool needsAudio) {
    return checkStart(ctx, needsScreen, needsAudio) != StartResult::kStarted;
}

}  // namespace marrowdale
