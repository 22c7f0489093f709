#include "recorder/capture_stats.h"

#include <cmath>

namespace marrowdale {

std::uint64_t LatenessHistogram::quantile100ns(double fraction) const {
    if (total_ == 0)
        return 0;
    if (fraction < 0)
        fraction = 0;
    if (fraction > 1)
        fraction = 1;
    auto rank = static_cast<std::uint64_t>(std::ceil(fraction * static_cast<double>(total_)));
    if (rank == 0)
        rank = 1;
    std::uint64_t seen = 0;
    for (std::size_t i = 0; i < kBuckets; ++i) {
        seen += counts_[i];
        if (seen >= rank)
            return (i + 1) * kBucket100ns;
    }
    return kBuckets * kBucket100ns;
}

}  // namespace marrowdale
