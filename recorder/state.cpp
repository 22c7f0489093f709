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
    settings.imageFormat = kImageFormatJpeg;
    settings.captureTop = 100;
    settings.captureLeft = 100;
    settings.captureRight = 800;
    settings.captureBottom = 600;
    state.areaClickState = 0;
    state.mouseHook = nullptr;
    state.screenStopped = 0;
    state.screenFinished = 0;
    state.statusCode = kStatusShowArea;
    settings.framePeriod = 400000;
    settings.frameOption = 1;
    settings.audioStreamFlags = kAudioStreamFlagsLoopback;
}

void clearStopRequests(RecorderState& state) {
    state.stopScreenRequested = 0;
    state.stopAudioRequested = 0;
}

void resetToProcessStart(CaptureSettings& settings, RecorderState& state) {
    settings.captureTop = 100;
    settings.captureBottom = 600;
    settings.captureLeft = 100;
    settings.captureRight = 800;
    settings.framePeriod = 400000;
    settings.imageFormat = kImageFormatJpeg;
    settings.showCloseOthersOnStop = 0;
    settings.closeOthersOnStop = 0;
    settings.frameOption = 1;
    settings.captureMode = 3;
    settings.audioStreamFlags = kAudioStreamFlagsLoopback;
    settings.maxFrames = 90000;

    state.statusCode = kStatusShowArea;
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
