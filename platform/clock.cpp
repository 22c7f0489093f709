#include "platform/clock.h"

#include <cerrno>
#include <ctime>

namespace marrowdale {

namespace {
constexpr std::uint64_t kUnitsPerSecond = 10'000'000;

timespec toTimespec(std::uint64_t time100ns) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(time100ns / kUnitsPerSecond);
    ts.tv_nsec = static_cast<long>((time100ns % kUnitsPerSecond) * 100);
    return ts;
}
}  // namespace

std::uint64_t MonotonicClock::now100ns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * kUnitsPerSecond +
           static_cast<std::uint64_t>(ts.tv_nsec) / 100;
}

void MonotonicClock::sleepUntil100ns(std::uint64_t time100ns) {
    const timespec target = toTimespec(time100ns);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &target, nullptr) == EINTR) {
    }
}

void MonotonicClock::sleepMs(std::uint32_t durationMs) {
    timespec rest{};
    rest.tv_sec = durationMs / 1000;
    rest.tv_nsec = static_cast<long>(durationMs % 1000) * 1'000'000;
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &rest, &rest) == EINTR) {
    }
}

void Clock::sleepMsUnless(std::uint32_t durationMs, const std::function<bool()>& wake) {
    const std::uint64_t end = now100ns() + static_cast<std::uint64_t>(durationMs) * 10'000;
    const std::uint64_t slice = static_cast<std::uint64_t>(kWakeCheckMs) * 10'000;
    while (!wake()) {
        const std::uint64_t now = now100ns();
        if (now >= end)
            return;
        sleepUntil100ns(end - now > slice ? now + slice : end);
    }
}

unsigned timeBeginPeriod(unsigned /*periodMs*/) {
    return 0;
}
unsigned timeEndPeriod(unsigned /*periodMs*/) {
    return 0;
}

}  // namespace marrowdale
