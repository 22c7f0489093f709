#include "recorder/recording_session.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

namespace marrowdale {
namespace {

using namespace std::chrono_literals;

// Worker bodies that behave like the real ones towards the flags: the screen worker clears
// screenStopped as it starts, publishes its start, runs until screenStopped or its request and
// raises screenStopped and screenFinished at its end; the audio worker forgets screenFinished
// as it starts and runs until screenFinished or its request. Each records what it was given.
struct Bodies {
    RecorderState state;
    std::mutex mutex;
    std::vector<WorkerStart> screenStarts;
    std::vector<WorkerStart> audioStarts;
    std::vector<std::string> order;
    std::atomic<std::uint64_t> audioSawZero{0};
    std::atomic<bool> screenHold{false};        // the screen worker waits before it starts
    std::atomic<bool> audioSetUpSlowly{false};  // the audio worker starts after the screen ends

    void waitForStarts(std::size_t n) {
        for (;;) {
            {
                std::lock_guard lock(mutex);
                if (order.size() >= n)
                    return;
            }
            std::this_thread::sleep_for(1ms);
        }
    }

    RecordingSession::Body screen() {
        return [this](const WorkerStart& start) {
            while (screenHold.load())
                std::this_thread::sleep_for(1ms);
            {
                std::lock_guard lock(mutex);
                screenStarts.push_back(start);
                order.push_back("screen");
            }
            state.screenStopped = 0;
            if (start.screenStats != nullptr)
                start.screenStats->startTime100ns = 123'456;
            while (state.screenStopped.load() == 0 && state.stopScreenRequested.load() == 0)
                std::this_thread::sleep_for(1ms);
            state.stopScreenRequested = 0;
            state.screenStopped = 1;
            state.screenFinished = 1;
            return WorkerEnd{false, 7};
        };
    }
    RecordingSession::Body audio() {
        return [this](const WorkerStart& start) {
            {
                std::lock_guard lock(mutex);
                audioStarts.push_back(start);
                order.push_back("audio");
            }
            if (audioSetUpSlowly.load())
                std::this_thread::sleep_for(100ms);  // the screen worker ends meanwhile
            state.screenFinished = 0;
            if (!start.zeroFromScreen && start.zero100ns != nullptr)
                start.zero100ns->store(555);
            while (state.screenFinished.load() == 0 && state.stopAudioRequested.load() == 0) {
                if (start.zero100ns != nullptr && start.zero100ns->load() != 0)
                    audioSawZero = start.zero100ns->load();
                std::this_thread::sleep_for(1ms);
            }
            state.screenFinished = 0;
            state.stopAudioRequested = 0;
            return WorkerEnd{true, -9};
        };
    }
};

TEST(RecordingSession, ScreenAndAudioShareTheScreenWorkersStartAsZero) {
    Bodies b;
    RecordingSession session(b.state, b.screen(), b.audio());
    session.startRecording(RecordingKind::kScreenAndAudio, "/rec");
    ASSERT_TRUE(session.screenWorkerRunning());
    ASSERT_TRUE(session.audioWorkerRunning());
    while (b.audioSawZero.load() == 0)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(b.audioSawZero.load(), 123'456u) << "the audio worker counts from the screen's start";
    EXPECT_EQ(session.zero100ns(), 123'456u);
    session.requestStop();
    ASSERT_TRUE(session.waitForAll(10s));
    ASSERT_EQ(b.audioStarts.size(), 1u);
    ASSERT_EQ(b.screenStarts.size(), 1u);
    EXPECT_EQ(b.audioStarts[0].folder, "/rec");
    EXPECT_EQ(b.screenStarts[0].folder, "/rec");
    EXPECT_TRUE(b.audioStarts[0].zeroFromScreen);
    EXPECT_EQ(b.audioStarts[0].zero100ns, &b.screenStarts[0].screenStats->startTime100ns);
    EXPECT_EQ(session.screenEnd().code, 7);
    EXPECT_TRUE(session.audioEnd().failed);
    EXPECT_EQ(session.audioEnd().code, -9);
    EXPECT_EQ(session.liveWorkers(), 0u);
}

TEST(RecordingSession, AudioAloneCountsFromItsOwnStart) {
    Bodies b;
    RecordingSession session(b.state, b.screen(), b.audio());
    session.startRecording(RecordingKind::kAudio, "/rec");
    EXPECT_FALSE(session.screenWorkerRunning());
    while (session.zero100ns() == 0)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(session.zero100ns(), 555u);
    EXPECT_EQ(session.screenStats(), nullptr);
    session.requestStop();
    ASSERT_TRUE(session.waitForAll(10s));
    ASSERT_EQ(b.audioStarts.size(), 1u);
    EXPECT_FALSE(b.audioStarts[0].zeroFromScreen);
    EXPECT_TRUE(b.screenStarts.empty());
}

// The screen worker ends (a frame limit, say) while its audio worker is still setting up, which
// forgets the end: the session raises it again, so the sound still ends with the frames.
TEST(RecordingSession, AudioThatForgotTheScreensEndIsEndedAnyway) {
    Bodies b;
    b.audioSetUpSlowly = true;
    RecordingSession session(b.state, b.screen(), b.audio());
    session.startRecording(RecordingKind::kScreenAndAudio, "/rec");
    b.waitForStarts(2);
    b.state.screenStopped = 1;  // the screen worker's own end, as soon as it began
    ASSERT_TRUE(session.waitForAll(10s)) << "no stop was requested: the end alone ends both";
    EXPECT_EQ(b.state.screenFinished.load(), 0) << "the flag raised again is cleared at the end";
}

// A stop that comes before the screen worker has begun (it clears the flag as it begins) is
// given again while the session waits.
TEST(RecordingSession, StopBeforeTheWorkerBeganIsGivenAgain) {
    Bodies b;
    b.screenHold = true;
    RecordingSession session(b.state, b.screen(), b.audio());
    session.startRecording(RecordingKind::kScreen, "/rec");
    session.requestStop();
    b.screenHold = false;
    EXPECT_TRUE(session.waitForAll(10s));
    EXPECT_FALSE(session.screenWorkerRunning());
}

TEST(RecordingSession, WaitsAtMostTheLimitAndServesMeanwhile) {
    std::atomic<bool> release{false};
    std::atomic<int> runs{0};
    RecorderState state;
    RecordingSession session(state,
                             [&](const WorkerStart& start) {
                                 EXPECT_EQ(start.folder, "/somewhere");
                                 ++runs;
                                 while (!release.load())
                                     std::this_thread::sleep_for(1ms);
                                 return WorkerEnd{};
                             },
                             {});
    EXPECT_FALSE(session.screenWorkerRunning());
    session.startRecording(RecordingKind::kScreenAndAudio, "/somewhere");  // no audio body
    EXPECT_TRUE(session.screenWorkerRunning());
    EXPECT_FALSE(session.audioWorkerRunning());
    EXPECT_EQ(session.liveWorkers(), 1u);
    int served = 0;
    EXPECT_FALSE(session.waitForAll(50ms, [&] { ++served; }));
    EXPECT_GT(served, 0);
    EXPECT_TRUE(session.screenWorkerRunning());
    release = true;
    EXPECT_TRUE(session.waitForAll(5s, [&] { ++served; }));
    EXPECT_EQ(session.liveWorkers(), 0u);
    EXPECT_FALSE(session.screenWorkerRunning());
    EXPECT_EQ(runs.load(), 1);
}

// Going away while a recording runs raises the workers' stop requests and waits for them.
TEST(RecordingSession, EndsItsWorkersWhenDestroyed) {
    Bodies b;
    {
        RecordingSession session(b.state, b.screen(), b.audio());
        session.startRecording(RecordingKind::kScreenAndAudio, "/rec");
        b.waitForStarts(2);
    }
    std::lock_guard lock(b.mutex);
    EXPECT_EQ(b.order.size(), 2u);
    EXPECT_EQ(b.state.stopScreenRequested.load(), 0) << "the screen worker took its request";
}

}  // namespace
}  // namespace marrowdale
