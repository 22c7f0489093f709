// Arrival stamps of a continuous stream of captured packets. An endpoint stamps a packet when it
// arrives: a packet that waited (the reading thread was not scheduled for a while, or the server
// sent late) is stamped too late, never too early, since sound cannot arrive before it is
// heard. The packets that arrive after it tell how late: the stream is continuous, so a packet
// began no later than the next packet's start less its own duration. Applying that bound from
// the newest packet back corrects the stamps of packets that waited, and leaves alone those
// before a real stretch without sound (where the bound is later than their own stamp).
#pragma once

#include <cstdint>
#include <iterator>

namespace marrowdale {

// [first, last): packets oldest first, each with members `time100ns` (the stamp, 0 when
// unknown) and `frames`. `duration100ns(frames)` gives a packet's length. Stops at the first
// packet the bound does not move.
template <typename Iterator, typename Duration>
void boundStampsByLaterArrivals(Iterator first, Iterator last, Duration duration100ns) {
    if (first == last)
        return;
    auto later = std::prev(last);
    while (later != first) {
        auto earlier = std::prev(later);
        const std::uint64_t length = duration100ns(earlier->frames);
        if (later->time100ns == 0 || earlier->time100ns == 0 || later->time100ns < length)
            return;
        const std::uint64_t bound = later->time100ns - length;
        if (bound >= earlier->time100ns)
            return;
        earlier->time100ns = bound;
        later = earlier;
    }
}

}  // namespace marrowdale
