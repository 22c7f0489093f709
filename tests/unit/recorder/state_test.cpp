// The records: process-start values and what a new view puts back.
#include <gtest/gtest.h>

#include "recorder/state.h"
#include "tests/support/null_capture_view.h"

namespace marrowdale {
namespace {

void scramble(CaptureSettings& s, RecorderState& r) {
    s.captureTop = 1;
    s.captureBottom = 2;
    s.captureLeft = 3;
    s.captureRight = 4;
    s.framePeriod = 800000;
    s.imageFormat = ImageFormat::kBmp;
    s.showCloseOthersOnStop = 1;
    s.closeOthersOnStop = 1;
    s.frameOption = 2;
    s.captureMode = CaptureMode::kEverySlot;
    s.audioStreamFlags = 0;
    s.maxFrames = 123;
    r.statusCode = StatusCode::kBothStarted;
    r.stopScreenRequested = 1;
    r.stopAudioRequested = 1;
    r.screenStopped = 1;
    r.screenFinished = 1;
    r.raiseOnDraw = 1;
    static int hook = 0;
    r.mouseHook = &hook;
    r.areaClickState = 2;
    r.lastClickX = 9;
    r.lastClickY = 9;
    r.closeOthersPending = 1;
    r.closeOthersTimerId = 5;
    r.titleWindow = &hook;
    r.frameWindow = &hook;
    r.viewWindow = &hook;
    static test::NullCaptureView view;
    r.commandView = &view;
}

TEST(Records, ProcessStartValues) {
    CaptureSettings s;
    RecorderState r;
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(s.captureTop.load(), 100);
        EXPECT_EQ(s.captureBottom.load(), 600);
        EXPECT_EQ(s.captureLeft.load(), 100);
        EXPECT_EQ(s.captureRight.load(), 800);
        EXPECT_EQ(s.framePeriod.load(), 400000u);
        EXPECT_EQ(s.imageFormat.load(), ImageFormat::kJpeg);
        EXPECT_EQ(s.showCloseOthersOnStop.load(), 0);
        EXPECT_EQ(s.closeOthersOnStop.load(), 0);
        EXPECT_EQ(s.frameOption.load(), 1);
        EXPECT_EQ(s.captureMode.load(), CaptureMode::kSkipByThrees);
        EXPECT_EQ(s.audioStreamFlags.load(), 0x20000u);
        EXPECT_EQ(s.maxFrames.load(), 90000u);
        EXPECT_EQ(r.statusCode.load(), StatusCode::kShowArea);
        EXPECT_EQ(r.screenStopped.load(), 0);
        EXPECT_EQ(r.closeOthersTimerId.load(), 0u);
        EXPECT_EQ(r.titleWindow.load(), nullptr);
        EXPECT_EQ(r.mouseHook.load(), nullptr);
        EXPECT_EQ(r.commandView.load(), nullptr);
        scramble(s, r);
        resetToProcessStart(s, r);  // the second round checks the reset
    }
}

TEST(Records, NewViewResetsItsListAndKeepsTheRest) {
    CaptureSettings s;
    RecorderState r;
    scramble(s, r);
    resetForNewView(s, r);
    EXPECT_EQ(s.imageFormat.load(), ImageFormat::kJpeg);
    EXPECT_EQ(s.captureTop.load(), 100);
    EXPECT_EQ(s.captureLeft.load(), 100);
    EXPECT_EQ(s.captureRight.load(), 800);
    EXPECT_EQ(s.captureBottom.load(), 600);
    EXPECT_EQ(r.areaClickState.load(), 0);
    EXPECT_EQ(r.mouseHook.load(), nullptr);
    EXPECT_EQ(r.screenStopped.load(), 0);
    EXPECT_EQ(r.screenFinished.load(), 0);
    EXPECT_EQ(r.statusCode.load(), StatusCode::kShowArea);
    EXPECT_EQ(s.framePeriod.load(), 400000u);
    EXPECT_EQ(s.frameOption.load(), 1);
    EXPECT_EQ(s.audioStreamFlags.load(), 0x20000u);
    // Kept.
    EXPECT_EQ(s.captureMode.load(), CaptureMode::kEverySlot);
    EXPECT_EQ(s.maxFrames.load(), 123u);
    EXPECT_EQ(s.closeOthersOnStop.load(), 1);
    EXPECT_EQ(s.showCloseOthersOnStop.load(), 1);
    EXPECT_EQ(r.closeOthersTimerId.load(), 5u);
    EXPECT_NE(r.titleWindow.load(), nullptr);
    EXPECT_NE(r.frameWindow.load(), nullptr);
    // The stop requests are cleared only by the last step of the construction.
    EXPECT_EQ(r.stopScreenRequested.load(), 1);
    EXPECT_EQ(r.stopAudioRequested.load(), 1);
    clearStopRequests(r);
    EXPECT_EQ(r.stopScreenRequested.load(), 0);
    EXPECT_EQ(r.stopAudioRequested.load(), 0);
}

TEST(Records, ProcessRecordsExistOnce) {
    EXPECT_EQ(&captureSettings(), &captureSettings());
    EXPECT_EQ(&recorderState(), &recorderState());
}

}  // namespace
}  // namespace marrowdale
