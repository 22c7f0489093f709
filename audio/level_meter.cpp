#include "audio/level_meter.h"

#include <cmath>

namespace marrowdale {

void LevelMeter::add(const float* samples, std::size_t count) {
    if (samples == nullptr)
        return;
    // Sums of a packet in float, then into the double total: exact enough for a meter and cheap.
    float peak = peak_;
    float squares = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const float v = samples[i];
        const float magnitude = std::fabs(v);
        // NaN never raises the peak (the comparison is false).
        if (magnitude > peak)
            peak = magnitude;
        squares += v * v;
    }
    peak_ = peak;
    if (std::isfinite(squares))
        sumSquares_ += squares;
    count_ += count;
}

void LevelMeter::publish(SoundLevel& level, std::uint64_t now100ns) {
    if (count_ == 0)
        return;
    level.peak.store(peak_, std::memory_order_relaxed);
    level.rms.store(static_cast<float>(std::sqrt(sumSquares_ / static_cast<double>(count_))),
                    std::memory_order_relaxed);
    level.time100ns.store(now100ns, std::memory_order_relaxed);
    peak_ = 0;
    sumSquares_ = 0;
    count_ = 0;
}

}  // namespace marrowdale
