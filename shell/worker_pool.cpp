#include "shell/worker_pool.h"

namespace marrowdale {

WorkerPool::WorkerPool(WorkerBody screenWorker, WorkerBody audioWorker)
    : screenWorker_(std::move(screenWorker)), audioWorker_(std::move(audioWorker)) {}

WorkerPool::~WorkerPool() {
    joinFinished();
    for (auto& w : workers_)
        if (w.thread.joinable())
            w.thread.detach();
}

void WorkerPool::start(Kind kind, const WorkerBody& body, const std::string& currentDirectory) {
    joinFinished();
    if (!body)
        return;
    auto done = std::make_shared<std::atomic<bool>>(false);
    Worker w{kind, std::thread([body, currentDirectory, done] {
                 body(currentDirectory);
                 done->store(true);
             }),
             done};
    workers_.push_back(std::move(w));
}

void WorkerPool::startScreenWorker(const std::string& currentDirectory) {
    start(Kind::Screen, screenWorker_, currentDirectory);
}

void WorkerPool::startAudioWorker(const std::string& currentDirectory) {
    start(Kind::Audio, audioWorker_, currentDirectory);
}

bool WorkerPool::running(Kind kind) const {
    for (const auto& w : workers_)
        if (w.kind == kind && !w.done->load())
            return true;
    return false;
}

bool WorkerPool::screenWorkerRunning() const {
    return running(Kind::Screen);
}
bool WorkerPool::audioWorkerRunning() const {
    return running(Kind::Audio);
}

void WorkerPool::joinFinished() {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (it->done->load()) {
            if (it->thread.joinable())
                it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

bool WorkerPool::waitForAll(std::chrono::milliseconds limit, const std::function<void()>& serve) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (serve)
            serve();
        joinFinished();
        if (workers_.empty())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::size_t WorkerPool::liveWorkers() const {
    return workers_.size();
}

}  // namespace marrowdale
