#include "recorder/commands.h"

#include "recorder/frame_names.h"
#include "recorder/output_folder.h"

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

void setMainTitle(RecordingCommandContext& ctx, std::string_view title) {
    ctx.ui.setWindowTitle(ctx.host.mainFrame(), title);
}

}  // namespace

bool refuseStart(RecordingCommandContext& ctx, bool needsScreen, bool needsAudio) {
    const bool busy = (needsScreen && ctx.workers.screenWorkerRunning()) ||
                      (needsAudio && ctx.workers.audioWorkerRunning());
    if (busy) {
        ctx.ui.messageBox(nullptr, kMessageAlreadyRunning, kCaptionApp);
        return true;
    }
    if (needsScreen && !areaHasSize(ctx.settings)) {
        ctx.ui.messageBox(nullptr, kMessageNoCaptureArea, kCaptionApp);
        return true;
    }
    return false;
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

}  // namespace

bool buildOutputFolder(RecordingCommandContext& ctx, std::string* prefix) {
    return buildOutputFolderIn(ctx, ctx.host.currentDirectory(), prefix);
}

namespace {

void record(RecordingCommandContext& ctx) {
    ctx.state.stopScreenRequested.store(0);
    ctx.state.stopAudioRequested.store(0);
    ctx.state.frameWindow.store(ctx.host.parentWindow());
    ctx.state.viewWindow.store(ctx.host.viewWindow());
    ctx.state.screenStopped.store(0);
    setMainTitle(ctx, kTitleRecordingScreenOnly);
    const std::string cwd = ctx.host.currentDirectory();
    if (!buildOutputFolderIn(ctx, cwd, nullptr))
        return;
    ctx.workers.startScreenWorker(cwd);
    ctx.state.commandView.store(ctx.host.view());
}

void startBoth(RecordingCommandContext& ctx) {
    ctx.state.stopScreenRequested.store(0);
    ctx.state.stopAudioRequested.store(0);
    ctx.state.titleWindow.store(ctx.host.mainFrame());
    ctx.state.frameWindow.store(ctx.host.parentWindow());
    ctx.state.viewWindow.store(ctx.host.viewWindow());
    ctx.state.screenStopped.store(0);
    setMainTitle(ctx, kTitleRecording);
    const std::string cwd = ctx.host.currentDirectory();
    if (!buildOutputFolderIn(ctx, cwd, nullptr))
        return;
    ctx.state.screenStopped.store(0);
    ctx.state.screenFinished.store(0);
    ctx.state.commandView.store(ctx.host.view());
    ctx.workers.startAudioWorker(cwd);
    ctx.workers.startScreenWorker(cwd);
    ctx.state.statusCode.store(kStatusBothStarted);
}

}  // namespace

void OnCommandRecord(RecordingCommandContext& ctx) {
    if (refuseStart(ctx, true, false))
        return;
    record(ctx);
}

void OnCommandStartBoth(RecordingCommandContext& ctx) {
    if (refuseStart(ctx, true, true))
        return;
    startBoth(ctx);
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
