#include "recorder/recording_session.h"

#include <optional>

namespace marrowdale {

namespace {
// How long the screen worker's thread lets the audio worker of the same recording end by itself
// before it raises the end again (the audio worker forgets an end raised before it started).
constexpr auto kAudioEndPatience = std::chrono::milliseconds(200);
constexpr auto kWaitSlice = std::chrono::milliseconds(5);
// How often the disk watch looks whether the workers have ended.
constexpr auto kWatchSlice = std::chrono::milliseconds(50);

std::uint64_t steady100ns() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count() /
                                      100);
}
}  // namespace

RecordingSession::RecordingSession(RecorderState& state, Body screenWorker, Body audioWorker)
    : state_(state), screenBody_(std::move(screenWorker)), audioBody_(std::move(audioWorker)) {}

RecordingSession::~RecordingSession() {
    if (running(Kind::Screen))
        state_.stopScreenRequested.store(1);
    if (running(Kind::Audio))
        state_.stopAudioRequested.store(1);
    waitForAll(std::chrono::milliseconds::max());
}

void RecordingSession::startRecording(RecordingKind kind, const std::string& folder) {
    joinFinished();
    stopRequested_ = false;
    auto recording = std::make_shared<Recording>();
    recording->hasScreen = kind != RecordingKind::kAudio && screenBody_;
    recording->hasAudio = kind != RecordingKind::kScreen && audioBody_;
    recording->folder = folder;
    last_ = recording;
    ++recordingsStarted_;

    if (recording->hasAudio) {
        WorkerStart start;
        start.folder = folder;
        if (recording->hasScreen) {
            start.zero100ns = &recording->screenStats.startTime100ns;
            start.zeroFromScreen = true;
        } else {
            start.zero100ns = &recording->audioZero100ns;
        }
        launch(Kind::Audio, recording, std::move(start));
    }
    if (recording->hasScreen) {
        WorkerStart start;
        start.folder = folder;
        start.screenStats = &recording->screenStats;
        launch(Kind::Screen, recording, std::move(start));
    }
    if (watchSettings_ != nullptr && (recording->hasScreen || recording->hasAudio)) {
        launchDiskWatch(recording, folder,
                        estimatedMinuteBytes(recordingPlan(*watchSettings_, recording->hasScreen,
                                                           recording->hasAudio)));
    }
}

void RecordingSession::watchDiskSpace(const CaptureSettings& settings, UiBridge& ui,
                                      FreeSpaceFn freeSpace) {
    watchSettings_ = &settings;
    watchUi_ = &ui;
    freeSpace_ = std::move(freeSpace);
}

bool RecordingSession::stoppedForDiskSpace() const {
    return last_ && last_->diskLow.load();
}

void RecordingSession::launchDiskWatch(const std::shared_ptr<Recording>& recording,
                                       const std::string& folder, std::uint64_t minuteBytes) {
    RecorderState& state = state_;
    UiBridge& ui = *watchUi_;
    FreeSpaceFn freeSpace = freeSpace_;
    std::thread thread([recording, folder, minuteBytes, freeSpace, &state, &ui] {
        Recording& r = *recording;
        const auto workersDone = [&r] {
            return (!r.hasScreen || r.screenDone.load()) && (!r.hasAudio || r.audioDone.load());
        };
        const std::optional<std::uint64_t> atStart = freeSpace ? freeSpace(folder) : std::nullopt;
        if (atStart) {
            DiskSpaceWatch watch(minuteBytes, steady100ns(), *atStart);
            std::uint64_t nextCheck = steady100ns() + kDiskCheckInterval100ns;
            while (!workersDone()) {
                std::this_thread::sleep_for(kWatchSlice);
                const std::uint64_t now = steady100ns();
                if (now < nextCheck)
                    continue;
                nextCheck = now + kDiskCheckInterval100ns;
                const std::optional<std::uint64_t> free = freeSpace(folder);
                if (!free || watch.enough(now, *free))
                    continue;
                // Stopped like the stop command, the end raised again until the workers (an
                // audio worker still setting up forgets it) have finished their files.
                r.diskLow = true;
                while (!workersDone()) {
                    state.screenStopped.store(1);
                    state.screenFinished.store(1);
                    std::this_thread::sleep_for(kAudioEndPatience);
                }
                ui.generalMessage(nullptr,
                                  diskNearlyFullMessage(folder, *free, watch.neededBytes()));
                break;
            }
        }
        r.watchDone.store(true);
    });
    workers_.push_back(Worker{Kind::DiskWatch, std::move(thread), recording});
}

void RecordingSession::launch(Kind kind, const std::shared_ptr<Recording>& recording,
                              WorkerStart start) {
    RecorderState& state = state_;
    Body body = kind == Kind::Screen ? screenBody_ : audioBody_;
    std::thread thread([kind, recording, body = std::move(body), start = std::move(start), &state] {
        Recording& r = *recording;
        if (kind == Kind::Audio) {
            r.audioEnd = body(start);
            r.audioDone.store(true);
            return;
        }
        r.screenEnd = body(start);
        // The end of the screen recording ends its sound. An audio worker still setting up when
        // the screen worker raised the end has forgotten it: it is raised again until it ends.
        if (r.hasAudio) {
            bool raisedAgain = false;
            auto last = std::chrono::steady_clock::now();
            while (!r.audioDone.load()) {
                std::this_thread::sleep_for(kWaitSlice);
                if (std::chrono::steady_clock::now() - last >= kAudioEndPatience) {
                    state.screenFinished.store(1);
                    raisedAgain = true;
                    last = std::chrono::steady_clock::now();
                }
            }
            if (raisedAgain)
                state.screenFinished.store(0);
        }
        r.screenDone.store(true);
    });
    workers_.push_back(Worker{kind, std::move(thread), recording});
}

bool RecordingSession::done(Kind kind, const Recording& recording) {
    switch (kind) {
        case Kind::Screen:
            return recording.screenDone.load();
        case Kind::Audio:
            return recording.audioDone.load();
        case Kind::DiskWatch:
            break;
    }
    return recording.watchDone.load();
}

bool RecordingSession::running(Kind kind) const {
    for (const auto& w : workers_) {
        if (w.kind == kind && !done(w.kind, *w.recording))
            return true;
    }
    return false;
}

bool RecordingSession::screenWorkerRunning() const {
    return running(Kind::Screen);
}

bool RecordingSession::audioWorkerRunning() const {
    return running(Kind::Audio);
}

void RecordingSession::joinFinished() {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (done(it->kind, *it->recording)) {
            if (it->thread.joinable())
                it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

void RecordingSession::requestStop() {
    stopRequested_ = true;
    state_.screenStopped.store(1);
    state_.screenFinished.store(1);
}

bool RecordingSession::waitForAll(std::chrono::milliseconds limit,
                                  const std::function<void()>& serve) {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        if (serve)
            serve();
        joinFinished();
        if (workers_.empty())
            return true;
        if (stopRequested_) {
            // A worker that was still starting when the stop came cleared it as it started.
            state_.screenStopped.store(1);
            if (running(Kind::Audio))
                state_.screenFinished.store(1);
        }
        if (limit != std::chrono::milliseconds::max() &&
            std::chrono::steady_clock::now() - start >= limit)
            return false;
        std::this_thread::sleep_for(kWaitSlice);
    }
}

std::size_t RecordingSession::liveWorkers() const {
    return workers_.size();
}

std::uint64_t RecordingSession::zero100ns() const {
    if (!last_)
        return 0;
    return last_->hasScreen ? last_->screenStats.startTime100ns.load()
                            : last_->audioZero100ns.load();
}

const CaptureRunStats* RecordingSession::screenStats() const {
    return last_ && last_->hasScreen ? &last_->screenStats : nullptr;
}

std::string RecordingSession::folder() const {
    return last_ ? last_->folder : std::string();
}

WorkerEnd RecordingSession::screenEnd() const {
    return last_ ? last_->screenEnd : WorkerEnd{};
}

WorkerEnd RecordingSession::audioEnd() const {
    return last_ ? last_->audioEnd : WorkerEnd{};
}

std::string RecordingSession::lastFolder() const {
    return last_ ? last_->folder : std::string();
}

bool RecordingSession::lastHadScreen() const {
    return last_ && last_->hasScreen;
}

bool RecordingSession::lastHadAudio() const {
    return last_ && last_->hasAudio;
}

}  // namespace marrowdale
