// The clock the workers time themselves by. Values are unsigned 64-bit counts of 100-ns units.
#pragma once

#include <cstdint>
#include <functional>

namespace marrowdale {

class Clock {
  public:
    virtual ~Clock() = default;
    // Any thread. Monotonic time in 100-ns units.
    virtual std::uint64_t now100ns() = 0;
    // Any thread. Sleeps until now100ns() has reached at least `time100ns` (returns at once
    // when that time has passed).
    virtual void sleepUntil100ns(std::uint64_t time100ns) = 0;
    // Any thread. Sleeps for `durationMs` milliseconds.
    virtual void sleepMs(std::uint32_t durationMs) = 0;
    // Any thread. Sleeps for `durationMs` milliseconds like sleepMs(), but returns early, within
    // about kWakeCheckMs, once `wake` answers true (it is asked first, then after each slice).
    virtual void sleepMsUnless(std::uint32_t durationMs, const std::function<bool()>& wake);

    static constexpr std::uint32_t kWakeCheckMs = 5;
};

// CLOCK_MONOTONIC in 100-ns units, clock_nanosleep for the sleeps.
class MonotonicClock final : public Clock {
  public:
    std::uint64_t now100ns() override;
    void sleepUntil100ns(std::uint64_t time100ns) override;
    void sleepMs(std::uint32_t durationMs) override;
};

// The system timer resolution requests of the view. They succeed without effect here: the
// workers sleep with nanosecond resolution. Return 0 on success, like their namesakes.
unsigned timeBeginPeriod(unsigned periodMs);
unsigned timeEndPeriod(unsigned periodMs);

}  // namespace marrowdale
