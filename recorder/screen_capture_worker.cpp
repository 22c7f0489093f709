#include "recorder/screen_capture_worker.h"

#include <climits>
#include <cstdint>
#include <string>

#include "recorder/encoder_pool.h"
#include "recorder/frame_names.h"
#include "recorder/output_folder.h"
#include "recorder/path_text.h"

namespace marrowdale {

namespace {

// Returns the clock reading that ended the wait: the first one past `deadline`.
std::uint64_t waitPast(Clock& clock, std::uint64_t deadline) {
    std::uint64_t now = clock.now100ns();
    if (now > deadline)
        return now;
    if (deadline - now > kSpinWindow100ns)
        clock.sleepUntil100ns(deadline - kSpinWindow100ns);
    do {
        now = clock.now100ns();
    } while (now <= deadline);
    return now;
}

class CaptureRun {
  public:
    CaptureRun(CaptureSettings& settings, RecorderState& state,
               const ScreenCaptureServices& services, std::string prefix, CaptureRunStats* stats)
        : settings_(settings),
          state_(state),
          s_(services),
          prefix_(std::move(prefix)),
          prefixUnits_(utf16Length(prefix_)),
          stats_(stats),
          pool_(services.grabber, services.writers,
                services.encoderThreads != 0 ? services.encoderThreads
                                             : encoderThreadsForThisMachine()) {}

    ScreenRunEnd run() {
        const bool grabbable = setUp();
        if (grabbable)
            loop();
        end();
        if (!grabbable)
            return ScreenRunEnd::kNotGrabbable;
        return screenLost_ ? ScreenRunEnd::kScreenLost : ScreenRunEnd::kEnded;
    }

  private:
    // False when the screen cannot be grabbed at all: the user is told why, and the recording
    // ends at once.
    bool setUp() {
        // 64 bits: corners far apart do not wrap into some other size.
        const std::int64_t width = std::int64_t{settings_.captureRight.load()} -
                                   std::int64_t{settings_.captureLeft.load()};
        const std::int64_t height = std::int64_t{settings_.captureBottom.load()} -
                                    std::int64_t{settings_.captureTop.load()};
        const char* refused = nullptr;
        if (width <= 0 || height <= 0)
            refused = "the capture area has no width or height";
        else if (width > INT32_MAX || height > INT32_MAX)
            refused = "the capture area is too large";
        if (refused != nullptr ||
            !s_.grabber.open(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height))) {
            std::string reason = refused != nullptr ? refused : s_.grabber.openError();
            if (reason.empty())
                reason = "the screen could not be read";
            if (stats_ != nullptr)
                stats_->grabberFailed = true;
            s_.ui.generalMessage(state_.viewWindow.load(),
                                 std::string(kMessageScreenCannotBeRecorded) + reason);
            return false;
        }
        // The files are counted for this run's figures as the writers finish them.
        s_.writers.countFilesInto(stats_ != nullptr ? &stats_->written : nullptr);
        // Warms the writers up and makes the ring: nothing of it falls into the first slot.
        pool_.start(settings_.imageFormat.load());
        pool_.prime(settings_.captureLeft.load(), settings_.captureTop.load());

        startTime_ = s_.clock.now100ns();
        deadline_ = startTime_ + kFirstSlotDelay100ns;
        frameNumber_ = 1;
        if (stats_ != nullptr)
            stats_->startTime100ns = startTime_;
        return true;
    }

    void loop() {
        while (frameNumber_ < settings_.maxFrames.load()) {
            if (state_.screenStopped.load() != 0)
                break;
            if (state_.stopScreenRequested.load() != 0) {
                state_.stopScreenRequested = 0;
                break;
            }
            if (s_.grabber.connectionLost()) {
                screenLost_ = true;
                break;
            }
            std::uint64_t period = settings_.framePeriod.load();
            if (period == 0)
                period = kFallbackFramePeriod;
            const CaptureMode mode = settings_.captureMode.load();

            if (mode == CaptureMode::kSkipByThrees) {
                // Whole periods since the start of the slot grid. The first slot lies 40 ms
                // after the start whatever the period, so at periods under 40 ms the count
                // starts that much later: otherwise a slot would count as missed before it
                // was even due, and every later file would sit three slots off its time.
                const std::uint64_t origin =
                    startTime_ +
                    (kFirstSlotDelay100ns > period ? kFirstSlotDelay100ns - period : 0);
                const std::uint64_t now = s_.clock.now100ns();
                const std::uint64_t elapsedPeriods = now > origin ? (now - origin) / period : 0;
                if (elapsedPeriods > frameNumber_) {
                    frameNumber_ += 3;
                    if (stats_ != nullptr)
                        stats_->skippedByMode += 3;
                    continue;
                }
            } else if (mode == CaptureMode::kSkipLateSlots && frameNumber_ > 1) {
                const std::uint64_t now = s_.clock.now100ns();
                if (now > deadline_) {
                    const std::uint64_t k = (now - deadline_ + period - 1) / period;
                    deadline_ += k * period;
                    frameNumber_ += k;
                    if (stats_ != nullptr)
                        stats_->skippedByMode += k;
                    continue;
                }
            }

            const std::uint64_t served = waitPast(s_.clock, deadline_);
            if (stats_ != nullptr)
                stats_->lateness.add(served - deadline_);
            deadline_ += period;

            std::uint8_t option = settings_.frameOption.load();
            if (option == 0)
                option = 1;
            if (option >= 11 && option <= 14) {
                const std::uint64_t number = frameNumber_ + (option - 11);
                grabAndWrite(number);
                frameNumber_ = number + 2;
            } else {
                for (std::uint8_t i = 0; i < option; ++i)
                    grabAndWrite(frameNumber_ + i);
                frameNumber_ += option;
            }
        }
    }

    void grabAndWrite(std::uint64_t number) {
        const ImageFormat format = settings_.imageFormat.load();
        if (stats_ != nullptr) {
            // One writer: plain stores, which other threads may read at any time.
            stats_->grabs.store(stats_->grabs.load(std::memory_order_relaxed) + 1,
                                std::memory_order_relaxed);
            if (number > stats_->highestNumber.load(std::memory_order_relaxed))
                stats_->highestNumber.store(number, std::memory_order_relaxed);
        }
        if (!composeFrameName(prefix_, prefixUnits_, number, format, name_)) {
            // Never written under a cut name; said once per run.
            if (stats_ != nullptr)
                ++stats_->refusedNames;
            if (!nameReported_) {
                nameReported_ = true;
                s_.ui.messageBox(state_.viewWindow.load(),
                                 outputFolderMessage(OutputFolderResult::kAppendVid1Failed),
                                 kCaptionPlumet);
            }
            return;
        }
        if (!pool_.grab(settings_.captureLeft.load(), settings_.captureTop.load())) {
            if (stats_ != nullptr)
                ++stats_->failedGrabs;
        }
        pool_.queue(name_, format);
    }

    void end() {
        // Every frame handed over is on disk before anyone is told the recording has ended.
        pool_.finish();
        s_.writers.countFilesInto(nullptr);
        if (stats_ != nullptr) {
            const EncoderPool::Counts counts = pool_.counts();
            stats_->reusedFrames = counts.reused;
            stats_->partlyReusedFrames = counts.partlyReused;
            stats_->ringWaits = counts.ringWaits;
            stats_->encoderThreads = pool_.threadCount();
        }
        state_.screenStopped = 1;
        state_.screenFinished = 1;
        s_.grabber.close();
        if (stats_ != nullptr)
            stats_->endTime100ns = s_.clock.now100ns();
        const WindowHandle title = state_.titleWindow.load();
        if (title != nullptr) {
            s_.ui.setWindowTitle(title, kTitleStopped);
            s_.ui.setForegroundWindow(title);
        }
        if (s_.endHook != nullptr)
            s_.endHook->workerEnded();
    }

    CaptureSettings& settings_;
    RecorderState& state_;
    const ScreenCaptureServices& s_;
    const std::string prefix_;
    const std::size_t prefixUnits_;
    CaptureRunStats* stats_;
    std::uint64_t startTime_ = 0;
    std::uint64_t deadline_ = 0;
    std::uint64_t frameNumber_ = 1;
    FrameName name_;
    bool nameReported_ = false;
    bool screenLost_ = false;
    EncoderPool pool_;
};

}  // namespace

ScreenRunEnd runScreenCaptureWorker(CaptureSettings& settings, RecorderState& state,
                                    const ScreenCaptureServices& services,
                                    std::string_view currentDirectory, CaptureRunStats* stats) {
    state.screenStopped = 0;
    OutputFolder folder = prepareOutputFolder(currentDirectory);
    if (folder.result != OutputFolderResult::kOk)
        return ScreenRunEnd::kFolderFailed;
    // Frames an earlier recording was killed while writing are not frames.
    (void)removeTemporaryFrames(folder.prefix);
    CaptureRun run(settings, state, services, std::move(folder.prefix), stats);
    return run.run();
}

}  // namespace marrowdale
