#include "recorder/capture_stats.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>

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

std::string lostFramesReport(const CaptureRunStats& stats, std::uint64_t writeFailed,
                             std::uint64_t bytesWritten, std::string_view folder) {
    const std::uint64_t notWritten = writeFailed + stats.refusedNames;
    if (notWritten == 0 && stats.failedGrabs == 0)
        return {};
    char text[700];
    std::snprintf(text, sizeof text,
                  "The recording lost frames: %" PRIu64 " could not be written, %" PRIu64
                  " repeat the picture before them because the screen could not be read.\n"
                  "%.1f MB of frames in %.*s",
                  notWritten, stats.failedGrabs,
                  static_cast<double>(bytesWritten) / (1024.0 * 1024.0),
                  static_cast<int>(std::min<std::size_t>(folder.size(), 500)), folder.data());
    return text;
}

}  // namespace marrowdale
