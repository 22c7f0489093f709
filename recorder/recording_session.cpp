#include "recorder/recording_session.h"

namespace marrowdale {

namespace {
// How long the screen worker's thread lets the audio worker of the same recording end by itself
// before it raises the end again (the audio worker forgets an end raised before it started).
constexpr auto kAudioEndPatience = std::chrono::milliseconds(200);
constexpr auto kWaitSlice = std::chrono::milliseconds(5);
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
    last_ = recording;

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

bool RecordingSession::running(Kind kind) const {
    for (const auto& w : workers_) {
        const bool done =
            w.kind == Kind::Screen ? w.recording->screenDone.load() : w.recording->audioDone.load();
        if (w.kind == kind && !done)
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
        const bool done = it->kind == Kind::Screen ? it->recording->screenDone.load()
                                                   : it->recording->audioDone.load();
        if (done) {
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

WorkerEnd RecordingSession::screenEnd() const {
    return last_ ? last_->screenEnd : WorkerEnd{};
}

WorkerEnd RecordingSession::audioEnd() const {
    return last_ ? last_->audioEnd : WorkerEnd{};
}

}  // namespace marrowdale
