// A clock for tests: time moves only when the code under test reads or sleeps on it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "platform/clock.h"

namespace marrowdale {

class FakeClock final : public Clock {
  public:
    explicit FakeClock(std::uint64_t start100ns = 1'000'000'000) : now_(start100ns) {}

    // Every read advances the time by this much (so a loop that reads the clock until a time
    // has passed ends). Default 1 (0.1 microsecond).
    void setStepPerRead(std::uint64_t step100ns) { stepPerRead_ = step100ns; }
    void advance(std::uint64_t delta100ns) { now_ += delta100ns; }
    void set(std::uint64_t time100ns) { now_ = time100ns; }
    std::uint64_t peek() const { return now_; }

    // Called at every read before the time is returned (tests use it to inject stalls or to
    // raise a stop flag at a given time).
    void setOnRead(std::function<void(FakeClock&)> hook) { onRead_ = std::move(hook); }

    std::uint64_t now100ns() override {
        if (onRead_)
            onRead_(*this);
        const std::uint64_t t = now_;
        now_ += stepPerRead_;
        return t;
    }
    void sleepUntil100ns(std::uint64_t time100ns) override {
        if (time100ns > now_)
            now_ = time100ns;
        ++sleeps_;
        lastSleepTarget_ = time100ns;
    }
    void sleepMs(std::uint32_t durationMs) override {
        now_ += static_cast<std::uint64_t>(durationMs) * 10'000;
        ++sleeps_;
        lastSleepMs_ = durationMs;
    }

    // One sleep as far as sleeps() and lastSleepMs() tell, passed in slices of kWakeCheckMs; the
    // slice hook runs before each look at `wake` (tests raise a stop flag from it).
    void sleepMsUnless(std::uint32_t durationMs, const std::function<bool()>& wake) override {
        ++sleeps_;
        lastSleepMs_ = durationMs;
        const std::uint64_t end = now_ + static_cast<std::uint64_t>(durationMs) * 10'000;
        const std::uint64_t slice = static_cast<std::uint64_t>(kWakeCheckMs) * 10'000;
        while (true) {
            if (onSleepSlice_)
                onSleepSlice_(*this);
            if (wake() || now_ >= end)
                return;
            now_ = end - now_ > slice ? now_ + slice : end;
        }
    }
    void setOnSleepSlice(std::function<void(FakeClock&)> hook) { onSleepSlice_ = std::move(hook); }

    unsigned sleeps() const { return sleeps_; }
    std::uint32_t lastSleepMs() const { return lastSleepMs_; }
    // The time the last sleepUntil100ns() was asked to reach (0 when there was none).
    std::uint64_t lastSleepTarget() const { return lastSleepTarget_; }

  private:
    std::uint64_t now_;
    std::uint64_t stepPerRead_ = 1;
    std::function<void(FakeClock&)> onRead_;
    std::function<void(FakeClock&)> onSleepSlice_;
    unsigned sleeps_ = 0;
    std::uint32_t lastSleepMs_ = 0;
    std::uint64_t lastSleepTarget_ = 0;
};

}  // namespace marrowdale
