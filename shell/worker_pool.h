// The program's worker threads. The views start workers through it and it keeps their handles,
// so that a start can ask whether a worker of a kind still runs, and closing a view or quitting
// can wait for them.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "recorder/commands.h"

namespace marrowdale {

class WorkerPool final : public WorkerLauncher {
  public:
    // A worker's whole life on the calling thread (the pool runs it on a thread of its own).
    using WorkerBody = std::function<void(const std::string& currentDirectory)>;

    WorkerPool(WorkerBody screenWorker, WorkerBody audioWorker);
    // Waits for nothing: call waitForAll first. Threads still running are left to end alone.
    ~WorkerPool() override;
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    bool screenWorkerRunning() const override;
    bool audioWorkerRunning() const override;
    void startScreenWorker(const std::string& currentDirectory) override;
    void startAudioWorker(const std::string& currentDirectory) override;

    // GUI thread. Waits until every worker has ended or `limit` has passed, calling `serve`
    // between short waits (the GUI thread has to answer the workers' UI requests meanwhile).
    // Joins what ended. Returns false when some worker was still running at the limit.
    bool waitForAll(std::chrono::milliseconds limit, const std::function<void()>& serve);

    // Number of workers started and not yet joined (tests).
    std::size_t liveWorkers() const;

  private:
    enum class Kind { Screen, Audio };
    struct Worker {
        Kind kind;
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    void start(Kind kind, const WorkerBody& body, const std::string& currentDirectory);
    bool running(Kind kind) const;
    void joinFinished();

    WorkerBody screenWorker_;
    WorkerBody audioWorker_;
    std::vector<Worker> workers_;
};

}  // namespace marrowdale
