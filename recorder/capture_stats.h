// What one run of the capture worker did, for the command-line recorder's summary and the
// benchmark. Filled by the worker thread; read once the worker has ended, except for the figures
// marked "live", which other threads (a status display) may read while it runs.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace marrowdale {

// How late each slot's first grab started after the slot's time, in 10-microsecond buckets up
// to 100 ms (later starts share the last bucket). Fixed size: recording a value allocates
// nothing.
class LatenessHistogram {
  public:
    static constexpr std::uint64_t kBucket100ns = 100;  // 10 us
    static constexpr std::size_t kBuckets = 10000;      // up to 100 ms

    void add(std::uint64_t late100ns) {
        std::size_t bucket = static_cast<std::size_t>(late100ns / kBucket100ns);
        if (bucket >= kBuckets)
            bucket = kBuckets - 1;
        ++counts_[bucket];
        ++total_;
    }
    std::uint64_t count() const { return total_; }
    // The upper edge of the bucket holding the given fraction (0..1) of the values, in 100-ns
    // units; 0 when there are none.
    std::uint64_t quantile100ns(double fraction) const;

  private:
    std::array<std::uint32_t, kBuckets> counts_{};
    std::uint64_t total_ = 0;
};

// The frame files of a run as the writers finish them, counted by every lane. Live: relaxed
// atomics that any thread may read.
struct FrameFileCounts {
    std::atomic<std::uint64_t> files{0};   // written completely
    std::atomic<std::uint64_t> bytes{0};   // their bytes
    std::atomic<std::uint64_t> failed{0};  // writes that failed
};

struct CaptureRunStats {
    // Set once the set-up is done and the slots begin; 0 until then (other threads may poll it).
    std::atomic<std::uint64_t> startTime100ns{0};
    std::uint64_t endTime100ns = 0;
    // Live: grab-and-write steps, and the highest number given to a grab (one writer, the loop).
    std::atomic<std::uint64_t> grabs{0};
    std::atomic<std::uint64_t> highestNumber{0};
    std::uint64_t failedGrabs = 0;         // the screen copy reported a failure
    std::uint64_t refusedNames = 0;        // names that would not fit, not written
    std::uint64_t skippedByMode = 0;       // numbers passed over by modes 2 and 3
    std::uint64_t reusedFrames = 0;        // written with the bytes of the unchanged frame before
    std::uint64_t partlyReusedFrames = 0;  // encoded only in the bands that changed
    std::uint64_t ringWaits = 0;           // times the loop waited for a free grab buffer
    std::uint64_t encoderThreads = 0;      // 0: frames were written on the worker's thread
    bool grabberFailed = false;  // the screen could not be grabbed at all: nothing recorded
    LatenessHistogram lateness;
    // Live: the files of this run.
    FrameFileCounts written;

    // Live: numbers up to the highest given so far that hold no file and are not on their way
    // to one (passed over, or their write failed).
    std::uint64_t freeNumbersSoFar() const {
        const std::uint64_t highest = highestNumber.load(std::memory_order_relaxed);
        const std::uint64_t given = grabs.load(std::memory_order_relaxed);
        const std::uint64_t failed = written.failed.load(std::memory_order_relaxed);
        return highest + failed > given ? highest + failed - given : 0;
    }
};

// What a finished recording lost, for the user: the frames that could not be written and those
// that repeat the picture before them because the screen could not be read, with the space the
// frames written take in `folder`. Empty when nothing was lost.
std::string lostFramesReport(const CaptureRunStats& stats, std::uint64_t writeFailed,
                             std::uint64_t bytesWritten, std::string_view folder);

}  // namespace marrowdale
