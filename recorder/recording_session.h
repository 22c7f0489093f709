// The recording session: the one owner of the workers of the recordings the start commands begin,
// in the desktop program and in marrowdale-record alike. It starts a recording's workers (the
// screen worker, the audio worker, or both), gives them one zero on the monotonic clock, raises
// the stop, waits for them and keeps how each ended.
//
// The zero: for screen and audio together, the screen worker's start time (slot n is n periods
// after it), which the screen worker publishes in its CaptureRunStats as its slots begin; the
// audio worker places its sound from that moment on. For audio alone, the moment the audio
// worker starts capturing.
//
// The workers themselves are given as bodies (the composition root builds their platform
// services); each runs a worker's whole life on the thread the session starts for it.
//
// With watchDiskSpace(), a thread of the session beside the workers looks at the free space of
// the recording's working folder every 2 s (a statvfs; nothing of it touches the capture
// loop) against what the next minute of the recording writes (recorder/disk_space.h). When it
// falls short, the recording is stopped like the stop command, and once its workers have
// finished their files the user is told why.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui_bridge.h"
#include "recorder/capture_stats.h"
#include "recorder/commands.h"
#include "recorder/disk_space.h"
#include "recorder/state.h"

namespace marrowdale {

// What a worker body is given for one recording.
struct WorkerStart {
    // The working folder: vid1/ and test.wma go into it.
    std::string folder;
    // The screen worker's figures; its startTime100ns is the recording's zero when the screen
    // is recorded. Screen bodies only.
    CaptureRunStats* screenStats = nullptr;
    // The recording's zero (0 until known). Audio bodies: with zeroFromScreen it is published
    // by the screen worker (it is screenStats' start time), otherwise the audio worker
    // publishes the moment it starts capturing.
    std::atomic<std::uint64_t>* zero100ns = nullptr;
    bool zeroFromScreen = false;
};

// How a worker ended, as its body tells.
struct WorkerEnd {
    bool failed = false;    // it ended early or lost something
    std::int32_t code = 0;  // the worker's exit code
};

class RecordingSession final : public WorkerLauncher {
  public:
    using Body = std::function<WorkerEnd(const WorkerStart&)>;

    // A missing body starts nothing for its kind.
    RecordingSession(RecorderState& state, Body screenWorker, Body audioWorker);
    // Raises the stop requests of the workers still running and waits for them.
    ~RecordingSession() override;
    RecordingSession(const RecordingSession&) = delete;
    RecordingSession& operator=(const RecordingSession&) = delete;

    // GUI (or main) thread from here on.
    bool screenWorkerRunning() const override;
    bool audioWorkerRunning() const override;
    // Starts the recording's workers at once: for both, the audio worker first, then the
    // screen worker.
    void startRecording(RecordingKind kind, const std::string& folder) override;

    // The stop command's flags, raised again while waitForAll waits (a worker that was still
    // starting clears them as it starts).
    void requestStop();
    // Waits until every worker has ended or `limit` has passed, calling `serve` between short
    // waits (a GUI thread has to answer the workers' UI requests meanwhile). Joins what ended.
    // Returns false when some worker was still running at the limit.
    bool waitForAll(std::chrono::milliseconds limit, const std::function<void()>& serve = {});
    // Workers started and not yet joined (the disk watch among them).
    std::size_t liveWorkers() const;

    // From the next start on, each recording's free space is watched; `settings` gives what a
    // minute needs, `ui` shows the stop's message. Both outlive the session. GUI (or main)
    // thread, before a start.
    void watchDiskSpace(const CaptureSettings& settings, UiBridge& ui,
                        FreeSpaceFn freeSpace = freeDiskBytes);
    // Whether the last recording was stopped because its disk ran low (once it has ended).
    bool stoppedForDiskSpace() const;

    // The last recording: its zero (0 until known), the screen worker's figures and how each
    // worker ended (meaningful once it has ended).
    std::uint64_t zero100ns() const;
    const CaptureRunStats* screenStats() const;
    // The working folder of the last recording (empty before the first).
    std::string folder() const;
    WorkerEnd screenEnd() const;
    WorkerEnd audioEnd() const;
    // How many recordings have been started; the last one's working folder and what it
    // recorded (empty and false before the first recording).
    std::uint64_t recordingsStarted() const { return recordingsStarted_; }
    std::string lastFolder() const;
    bool lastHadScreen() const;
    bool lastHadAudio() const;

  private:
    // One recording's shared values; the workers' threads hold it too.
    struct Recording {
        CaptureRunStats screenStats;
        std::atomic<std::uint64_t> audioZero100ns{0};
        std::atomic<bool> screenDone{false};
        std::atomic<bool> audioDone{false};
        std::atomic<bool> watchDone{false};
        std::atomic<bool> diskLow{false};
        WorkerEnd screenEnd;
        WorkerEnd audioEnd;
        bool hasScreen = false;
        bool hasAudio = false;
        std::string folder;
    };
    enum class Kind { Screen, Audio, DiskWatch };
    struct Worker {
        Kind kind;
        std::thread thread;
        std::shared_ptr<Recording> recording;
    };

    void launch(Kind kind, const std::shared_ptr<Recording>& recording, WorkerStart start);
    void launchDiskWatch(const std::shared_ptr<Recording>& recording, const std::string& folder,
                         std::uint64_t minuteBytes);
    static bool done(Kind kind, const Recording& recording);
    bool running(Kind kind) const;
    void joinFinished();

    RecorderState& state_;
    Body screenBody_;
    Body audioBody_;
    std::vector<Worker> workers_;
    std::shared_ptr<Recording> last_;
    std::uint64_t recordingsStarted_ = 0;
    bool stopRequested_ = false;
    const CaptureSettings* watchSettings_ = nullptr;
    UiBridge* watchUi_ = nullptr;
    FreeSpaceFn freeSpace_;
};

}  // namespace marrowdale
