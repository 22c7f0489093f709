// Peak and RMS of the sound a source delivers, gathered packet by packet and published to the
// source's SoundLevel for the level meter. One pass over the samples the worker has at hand
// anyway; nothing is allocated. One instance per source, used by one thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "recorder/state.h"

namespace marrowdale {

class LevelMeter {
  public:
    // Adds `count` interleaved samples (full scale 1.0).
    void add(const float* samples, std::size_t count);
    // Publishes the peak and RMS of what was added since the last publish, stamped `now100ns`.
    // With nothing added it publishes nothing.
    void publish(SoundLevel& level, std::uint64_t now100ns);

  private:
    float peak_ = 0;
    double sumSquares_ = 0;
    std::uint64_t count_ = 0;
};

}  // namespace marrowdale
