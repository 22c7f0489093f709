#include "recorder/state.h"

namespace marrowdale {

CaptureSettings& captureSettings() {
    static CaptureSettings settings;
    return settings;
}

RecorderState& recorderState() {
    static RecorderState state;
    return state;
}

void resetForNewView(CaptureSettings& settings, RecorderState& state) {
    settings.imageFormat = kCaptureDefaults.imageFormat;
    settings.captureTop = kCaptureDefaults.top;
    settings.captureLeft = kCaptureDefaults.left;
    settings.captureRight = kCaptureDefaults.right;
    settings.captureBottom = kCaptureDefaults.bottom;
    state.areaClickState = 0;
    state.mouseHook = nullptr;
    state.screenStopped = 0;
    state.screenFinished = 0;
    state.statusCode = StatusCode::kShowArea;
    settings.framePeriod = kCaptureDefaults.framePeriod;
    settings.frameOption = kCaptureDefaults.frameOption;
    settings.audioStreamFlags = kAudioStreamFlagsLoopback;
}

void clearStopRequests(RecorderState& state) {
    state.stopScreenRequested = 0;
    state.stopAudioRequested = 0;
}

void resetToProcessStart(CaptureSettings& settings, RecorderState& state) {
    settings.captureTop = kCaptureDefaults.top;
    settings.captureBottom = kCaptureDefaults.bottom;
    settings.captureLeft = kCaptureDefaults.left;
    settings.captureRight = kCaptureDefaults.right;
    settings.framePeriod = kCaptureDefaults.framePeriod;
    settings.imageFormat = kCaptureDefaults.imageFormat;
    settings.showCloseOthersOnStop = 0;
    settings.closeOthersOnStop = 0;
    settings.frameOption = kCaptureDefaults.frameOption;
    settings.captureMode = kCaptureDefaults.captureMode;
    settings.audioStreamFlags = kAudioStreamFlagsLoopback;
    settings.maxFrames = kCaptureDefaults.maxFrames;

    state.statusCode = StatusCode::kShowArea;
    state.stopScreenRequested = 0;
    state.stopAudioRequested = 0;
    state.screenStopped = 0;
    state.screenFinished = 0;
    state.raiseOnDraw = 0;
    state.mouseHook = nullptr;
    state.areaClickState = 0;
    state.lastClickY = 0;
    state.lastClickX = 0;
    state.closeOthersPending = 0;
    state.closeOthersTimerId = 0;
    state.closeOthersDialog = nullptr;
    state.closeOthersList = nullptr;
    state.titleWindow = nullptr;
    state.commandView = nullptr;
    state.frameWindow = nullptr;
    state.viewWindow = nullptr;
    for (SoundLevel& level : state.soundLevels) {
        level.peak = 0;
        level.rms = 0;
        level.time100ns = 0;
    }
}

}  // namespace marrowdale
