#include "audio/audio_placement.h"

#include <algorithm>
#include <cmath>

namespace marrowdale {

namespace {
constexpr std::int64_t kUnitsPerSecond = 10'000'000;
}  // namespace

AudioPlacement::AudioPlacement(std::uint32_t samplesPerSec, std::uint64_t zero100ns)
    : rate_(samplesPerSec == 0 ? 1 : samplesPerSec), zero_(zero100ns) {}

std::int64_t AudioPlacement::framesFor(std::uint64_t duration100ns) const {
    return static_cast<std::int64_t>(static_cast<__int128>(duration100ns) * rate_ /
                                     kUnitsPerSecond);
}

std::int64_t AudioPlacement::frameAt(std::uint64_t time100ns) const {
    if (time100ns >= zero_)
        return framesFor(time100ns - zero_);
    // Before zero: rounded toward minus infinity, so that a partial frame before zero counts.
    const std::uint64_t before = zero_ - time100ns;
    const auto scaled = static_cast<__int128>(before) * rate_;
    return -static_cast<std::int64_t>((scaled + kUnitsPerSecond - 1) / kUnitsPerSecond);
}

void AudioPlacement::setEnd(std::uint64_t time100ns) {
    hasEnd_ = true;
    endFrame_ = static_cast<std::uint64_t>(std::max<std::int64_t>(frameAt(time100ns), 0));
}

std::uint64_t AudioPlacement::framesToEnd() const {
    return hasEnd_ && endFrame_ > written_ ? endFrame_ - written_ : 0;
}

void AudioPlacement::clipToEnd(PacketPlacement& p) const {
    if (!hasEnd_)
        return;
    std::uint64_t room = endFrame_ > written_ ? endFrame_ - written_ : 0;
    p.silenceBefore = std::min(p.silenceBefore, room);
    room -= p.silenceBefore;
    p.keep = static_cast<std::uint32_t>(std::min<std::uint64_t>(p.keep, room));
    room -= p.keep;
    p.repeatLast =
        p.keep == 0 ? 0 : static_cast<std::uint32_t>(std::min<std::uint64_t>(p.repeatLast, room));
}

bool AudioPlacement::steadyAfter(std::uint64_t time100ns) const {
    if (lastStamp_ == 0 || time100ns < lastStamp_)
        return false;
    // The stamp moved on by about the duration of the packet before (half of it either way):
    // the packets come one after the other as they are heard, not in a burst.
    const double step = static_cast<double>(time100ns - lastStamp_);
    const double expected = static_cast<double>(lastFrames_) * kUnitsPerSecond / rate_;
    return std::abs(step - expected) <= expected / 2;
}

PacketPlacement AudioPlacement::place(std::uint64_t time100ns, std::uint32_t frames) {
    PacketPlacement p;
    p.keep = frames;
    if (frames == 0)
        return p;

    if (time100ns != 0 && !started_) {
        // The first packet: silence from zero up to it, or its part before zero dropped.
        const std::int64_t first = frameAt(time100ns);
        if (first < 0) {
            const auto before = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(frames, static_cast<std::uint64_t>(-first)));
            p.skipFront = before;
            p.keep = frames - before;
        } else {
            p.silenceBefore = static_cast<std::uint64_t>(first);
        }
    } else if (time100ns != 0) {
        const std::int64_t difference = frameAt(time100ns) - static_cast<std::int64_t>(written_);
        const std::int64_t gap = framesFor(kAudioGapThreshold100ns);
        const std::int64_t burst = framesFor(kAudioBurstThreshold100ns);
        if (difference > gap) {
            // Nothing was delivered for a while: that stretch is silence.
            p.silenceBefore = static_cast<std::uint64_t>(difference);
            smoothed_ = 0;
        } else if (difference >= -burst && steadyAfter(time100ns)) {
            // Within reach and delivered in step with the one before: the smoothed difference
            // is closed a frame at a time.
            const double weight =
                static_cast<double>(frames) /
                static_cast<double>(frames + framesFor(kAudioDriftSmoothing100ns));
            smoothed_ += (static_cast<double>(difference) - smoothed_) * weight;
            const auto deadband = static_cast<double>(framesFor(kAudioDriftDeadband100ns));
            const std::uint32_t most =
                std::max<std::uint32_t>(1, frames / kDriftCorrectionSpanFrames);
            if (smoothed_ > deadband) {
                p.repeatLast = std::min<std::uint32_t>(
                    most, static_cast<std::uint32_t>(std::ceil(smoothed_ - deadband)));
                smoothed_ -= p.repeatLast;
            } else if (smoothed_ < -deadband && frames > 1) {
                const std::uint32_t drop = std::min<std::uint32_t>(
                    {most, frames - 1,
                     static_cast<std::uint32_t>(std::ceil(-smoothed_ - deadband))});
                p.keep -= drop;
                smoothed_ += drop;
            }
        }
        // Earlier still: sound rendered ahead of its time; it follows what was written.
    }

    clipToEnd(p);
    if (p.keep > 0 || p.silenceBefore > 0)
        started_ = true;
    if (time100ns != 0) {
        lastStamp_ = time100ns;
        lastFrames_ = frames;
    }
    written_ += p.silenceBefore + p.keep + p.repeatLast;
    silence_ += p.silenceBefore;
    dropped_ += frames - p.keep;
    repeated_ += p.repeatLast;
    return p;
}

}  // namespace marrowdale
