#include "recorder/commands.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <ctime>

#include "recorder/encoder_pool.h"
#include "recorder/frame_names.h"
#include "recorder/output_folder.h"
#include "recorder/recording_folder.h"

namespace marrowdale {

namespace {

bool areaHasSize(const CaptureSettings& s) {
    // 64-bit: corners far apart must not overflow into a positive size.
    const long long width = static_cast<long long>(s.captureRight.load()) -
                            static_cast<long long>(s.captureLeft.load());
    const long long height = static_cast<long long>(s.captureBottom.load()) -
                             static_cast<long long>(s.captureTop.load());
    return width > 0 && height > 0;
}

std::int64_t areaWidth(const CaptureSettings& s) {
    return std::int64_t{s.captureRight.load()} - std::int64_t{s.captureLeft.load()};
}
std::int64_t areaHeight(const CaptureSettings& s) {
    return std::int64_t{s.captureBottom.load()} - std::int64_t{s.captureTop.load()};
}

std::uint64_t physicalMemoryBytes() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return UINT64_MAX;  // unknown: only the row length limits
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

void setMainTitle(RecordingCommandContext& ctx, std::string_view title) {
    ctx.ui.setWindowTitle(ctx.host.mainFrame(), title);
}

}  // namespace

StartResult checkStart(RecordingCommandContext& ctx, bool needsScreen, bool needsAudio) {
    const bool busy = (needsScreen && ctx.workers.screenWorkerRunning()) ||
                      (needsAudio && ctx.workers.audioWorkerRunning());
    if (busy) {
        ctx.ui.generalMessage(nullptr, kMessageAlreadyRunning);
        return StartResult::kRefusedRunning;
    }
    if (needsScreen && !areaHasSize(ctx.settings)) {
        ctx.ui.generalMessage(nullptr, kMessageNoCaptureArea);
        return StartResult::kRefusedNoArea;
    }
    // The grabber's image, the ring of the encoder threads and one more for a conversion.
    const std::uint64_t picturesHeld = encoderThreadsForThisMachine() + 4;
    if (needsScreen && !captureAreaFits(areaWidth(ctx.settings), areaHeight(ctx.settings),
                                        physicalMemoryBytes(), picturesHeld)) {
        char text[160];
        std::snprintf(text, sizeof text, "%.*s (%lld x %lld pixels).",
                      static_cast<int>(kMessageAreaTooLarge.size()), kMessageAreaTooLarge.data(),
                      static_cast<long long>(areaWidth(ctx.settings)),
                      static_cast<long long>(areaHeight(ctx.settings)));
        ctx.ui.generalMessage(nullptr, text);
        return StartResult::kRefusedTooLarge;
    }
    return StartResult::kStarted;
}

bool captureAreaFits(std::int64_t width, std::int64_t height, std::uint64_t memoryBytes,
                     std::uint64_t picturesHeld) {
    if (width <= 0 || height <= 0 || width > INT32_MAX / 4 || height > INT32_MAX)
        return false;
    const auto picture = static_cast<std::uint64_t>(width) * 4 * static_cast<std::uint64_t>(height);
    return picturesHeld == 0 || picture <= memoryBytes / picturesHeld;
}

namespace {

bool buildOutputFolderIn(RecordingCommandContext& ctx, const std::string& cwd,
                         std::string* prefix) {
    const OutputFolder folder = prepareOutputFolder(cwd);
    OutputFolderResult result = folder.result;
    // A folder whose frame names would not fit their buffer is refused like a path that does
    // not fit, never written under cut names.
    if (result == OutputFolderResult::kOk && !prefixFitsFrameNames(folder.prefix))
        result = OutputFolderResult::kAppendVid1Failed;
    if (result != OutputFolderResult::kOk) {
        setMainTitle(ctx, kTitleErrorRecording);
        ctx.ui.messageBox(nullptr, outputFolderMessage(result), kCaptionPlumet);
        return false;
    }
    if (prefix)
        *prefix = folder.prefix;
    return true;
}

// A recording that starts while no worker runs is a new one: an earlier recording in the folder
// is moved aside (the user is told where it went), vid1/ is made again and the new recording's
// description is written. A start beside a running worker of the other kind joins that
// recording and leaves its files alone. False, with the reason shown, when the earlier
// recording could not be moved: nothing of it may be overwritten.
bool prepareNewRecording(RecordingCommandContext& ctx, const std::string& cwd, bool screen,
                         bool sound) {
    if (ctx.workers.screenWorkerRunning() || ctx.workers.audioWorkerRunning())
        return true;
    const std::time_t now = std::time(nullptr);
    const MoveAside moved = moveEarlierRecordingAside(cwd, now);
    if (moved.failed) {
        setMainTitle(ctx, kTitleErrorRecording);
        ctx.ui.generalMessage(nullptr, std::string(kMessageMoveAsideFailed) + moved.error);
        return false;
    }
    if (!moved.moves.empty()) {
        if (screen)
            (void)prepareOutputFolder(cwd);
        ctx.ui.showNotice(ctx.host.mainFrame(), moveAsideNotice(moved));
    }
    RecordingDescription description;
    description.screen = screen;
    description.sound = sound;
    description.period100ns = ctx.settings.framePeriod.load();
    description.frameOption = ctx.settings.frameOption.load();
    description.captureMode = ctx.settings.captureMode.load();
    description.imageFormat = ctx.settings.imageFormat.load();
    description.left = ctx.settings.captureLeft.load();
    description.top = ctx.settings.captureTop.load();
    description.right = ctx.settings.captureRight.load();
    description.bottom = ctx.settings.captureBottom.load();
    description.started = utcTimestamp(now);
    if (sound)
        description.soundFile = std::string(kSoundFileName);
    // Without it the recording is still whole; an export then asks for the period.
    (void)writeRecordingDescription(cwd, description);
    return true;
}

}  // namespace

bool buildOutputFolder(RecordingCommandContext& ctx, std::string* prefix) {
    return buildOutputFolderIn(ctx, ctx.host.currentDirectory(), prefix);
}

namespace {

// The first minute of the recording against the free space of its working folder.
bool enoughSpaceToStart(RecordingCommandContext& ctx, const std::string& cwd, bool screen,
                        bool audio) {
    const std::optional<std::uint64_t> free = ctx.freeSpace ? ctx.freeSpace(cwd) : std::nullopt;
    if (!free)
        return true;  // unknown: the writers say what fails
    const std::uint64_t needed = estimatedMinuteBytes(recordingPlan(ctx.settings, screen, audio));
    if (*free >= needed)
        return true;
    setMainTitle(ctx, kTitleErrorRecording);
    ctx.ui.generalMessage(nullptr, notEnoughSpaceToStartMessage(cwd, *free, needed));
    return false;
}

StartResult record(RecordingCommandContext& ctx) {
    ctx.state.stopScreenRequested.store(0);
    ctx.state.stopAudioRequested.store(0);
    ctx.state.frameWindow.store(ctx.host.parentWindow());
    ctx.state.viewWindow.store(ctx.host.viewWindow());
    ctx.state.screenStopped.store(0);
    setMainTitle(ctx, kTitleRecordingScreenOnly);
    const std::string cwd = ctx.host.currentDirectory();
    if (!buildOutputFolderIn(ctx, cwd, nullptr))
        return StartResult::kFolderFailed;
    if (!enoughSpaceToStart(ctx, cwd, true, false))
        return StartResult::kRefusedDiskSpace;
    if (!prepareNewRecording(ctx, cwd, /*screen=*/true, /*sound=*/false))
        return StartResult::kFolderFailed;
    ctx.workers.startRecording(RecordingKind::kScreen, cwd);
    ctx.state.commandView.store(ctx.host.view());
    return StartResult::kStarted;
}

StartResult startBoth(RecordingCommandContext& ctx) {
    ctx.state.stopScreenRequested.store(0);
    ctx.state.stopAudioRequested.store(0);
    ctx.state.titleWindow.store(ctx.host.mainFrame());
    ctx.state.frameWindow.store(ctx.host.parentWindow());
    ctx.state.viewWindow.store(ctx.host.viewWindow());
    ctx.state.screenStopped.store(0);
    setMainTitle(ctx, kTitleRecording);
    const std::string cwd = ctx.host.currentDirectory();
    if (!buildOutputFolderIn(ctx, cwd, nullptr))
        return StartResult::kFolderFailed;
    if (!enoughSpaceToStart(ctx, cwd, true, true))
        return StartResult::kRefusedDiskSpace;
    if (!prepareNewRecording(ctx, cwd, /*screen=*/true, /*sound=*/true))
        return StartResult::kFolderFailed;
    ctx.state.screenStopped.store(0);
    ctx.state.screenFinished.store(0);
    ctx.state.commandView.store(ctx.host.view());
    // The audio worker starts first, then the screen worker, whose start is the zero of both.
    ctx.workers.startRecording(RecordingKind::kScreenAndAudio, cwd);
    ctx.state.statusCode.store(StatusCode::kBothStarted);
    return StartResult::kStarted;
}

}  // namespace

StartResult startScreenRecording(RecordingCommandContext& ctx) {
    const StartResult checked = checkStart(ctx, true, false);
    return checked != StartResult::kStarted ? checked : record(ctx);
}

StartResult startScreenAndAudioRecording(RecordingCommandContext& ctx) {
    const StartResult checked = checkStart(ctx, true, true);
    return checked != StartResult::kStarted ? checked : startBoth(ctx);
}

StartResult startAudioRecording(RecordingCommandContext& ctx) {
    const StartResult checked = checkStart(ctx, /*needsScreen=*/false, /*needsAudio=*/true);
    if (checked != StartResult::kStarted)
        return checked;
    const std::string cwd = ctx.host.currentDirectory();
    if (!enoughSpaceToStart(ctx, cwd, false, true))
        return StartResult::kRefusedDiskSpace;
    if (!prepareNewRecording(ctx, cwd, /*screen=*/false, /*sound=*/true))
        return StartResult::kFolderFailed;
    ctx.workers.startRecording(RecordingKind::kAudio, cwd);
    return StartResult::kStarted;
}

void OnCommandRecord(RecordingCommandContext& ctx) {
    (void)startScreenRecording(ctx);
}

void OnCommandStartBoth(RecordingCommandContext& ctx) {
    (void)startScreenAndAudioRecording(ctx);
}

void OnCommandMinimizeStartBoth(RecordingCommandContext& ctx) {
    if (refuseStart(ctx, true, true))
        return;
    ctx.state.screenStopped.store(0);
    ctx.state.screenFinished.store(0);
    setMainTitle(ctx, kTitleRecordingBoth);
    ctx.host.minimizeMainFrame();
    startBoth(ctx);
}

void OnCommandMinimizeStartScreen(RecordingCommandContext& ctx) {
    if (refuseStart(ctx, true, false))
        return;
    ctx.state.screenStopped.store(0);
    ctx.state.screenFinished.store(0);
    setMainTitle(ctx, kTitleRecordingScreenOnly);
    ctx.host.minimizeMainFrame();
    record(ctx);
}

void OnCommandStopRecording(RecordingCommandContext& ctx) {
    ctx.state.screenStopped.store(1);
    ctx.state.screenFinished.store(1);
    setMainTitle(ctx, kTitleRecordingStopped);
}

void OnCommandFrameRate80(CaptureSettings& settings) {
    settings.framePeriod.store(kFramePeriod80ms);
}

}  // namespace marrowdale
