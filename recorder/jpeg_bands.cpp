#include "recorder/jpeg_bands.h"

#include <algorithm>
#include <cstring>

namespace marrowdale {

namespace {

constexpr std::uint8_t kMarker = 0xFF;
constexpr std::uint8_t kStartOfImage = 0xD8;
constexpr std::uint8_t kEndOfImage = 0xD9;
constexpr std::uint8_t kStartOfScan = 0xDA;
constexpr std::uint8_t kFirstRestart = 0xD0;
constexpr std::uint8_t kLastRestart = 0xD7;

// The offset just past the start-of-scan segment, or 0 when the headers are malformed.
std::size_t headersEnd(const std::uint8_t* data, std::size_t size) {
    if (size < 4 || data[0] != kMarker || data[1] != kStartOfImage)
        return 0;
    std::size_t at = 2;
    while (at + 4 <= size) {
        if (data[at] != kMarker)
            return 0;
        const std::uint8_t type = data[at + 1];
        if (type == kMarker) {  // fill byte before a marker
            ++at;
            continue;
        }
        const std::size_t length = (std::size_t{data[at + 2]} << 8) | data[at + 3];
        if (length < 2 || at + 2 + length > size)
            return 0;
        at += 2 + length;
        if (type == kStartOfScan)
            return at;
    }
    return 0;
}

}  // namespace

std::size_t bandCount(std::int32_t height, int rows) {
    if (height <= 0 || rows <= 0)
        return 0;
    return (static_cast<std::size_t>(height) + static_cast<std::size_t>(rows) - 1) /
           static_cast<std::size_t>(rows);
}

bool findBandEnds(const std::uint8_t* data, std::size_t size, std::size_t bands,
                  std::vector<std::size_t>& ends) {
    ends.clear();
    if (data == nullptr || bands == 0)
        return false;
    const std::size_t first = headersEnd(data, size);
    if (first == 0)
        return false;
    ends.push_back(first);
    std::size_t at = first;
    while (at < size) {
        const void* found = std::memchr(data + at, kMarker, size - at);
        if (found == nullptr || static_cast<const std::uint8_t*>(found) + 1 >= data + size)
            break;
        at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - data);
        const std::uint8_t type = data[at + 1];
        if (type == 0x00) {  // a stuffed 0xFF inside the entropy-coded data
            at += 2;
            continue;
        }
        const std::size_t band = ends.size() - 1;
        const bool last = band + 1 == bands;
        const std::uint8_t expected =
            last ? kEndOfImage : static_cast<std::uint8_t>(kFirstRestart + band % 8);
        if (type != expected)
            break;
        at += 2;
        ends.push_back(at);
        if (last)
            return true;  // anything after the end of the image is not part of it
    }
    ends.clear();
    return false;
}

void appendBandAs(const std::uint8_t* chunk, std::size_t size, std::size_t at, std::size_t bands,
                  std::vector<std::uint8_t>& out) {
    if (size < 2)
        return;
    out.insert(out.end(), chunk, chunk + size - 2);
    out.push_back(kMarker);
    out.push_back(at + 1 == bands ? kEndOfImage
                                  : static_cast<std::uint8_t>(kFirstRestart + at % 8));
}

std::size_t markChangedBands(const ScreenImage& a, const ScreenImage& b, int rows,
                             std::vector<std::uint8_t>& changed) {
    const std::size_t bands = bandCount(a.height, rows);
    changed.assign(bands, 1);
    if (a.pixels == nullptr || b.pixels == nullptr || a.width != b.width || a.height != b.height ||
        a.width <= 0)
        return bands;
    const std::size_t rowBytes = static_cast<std::size_t>(a.width) * 4;
    std::size_t count = 0;
    for (std::size_t band = 0; band < bands; ++band) {
        const std::size_t first = band * static_cast<std::size_t>(rows);
        const std::size_t end =
            std::min(first + static_cast<std::size_t>(rows), static_cast<std::size_t>(a.height));
        bool differs = false;
        for (std::size_t y = first; y < end && !differs; ++y) {
            differs = std::memcmp(a.pixels + y * a.strideBytes, b.pixels + y * b.strideBytes,
                                  rowBytes) != 0;
        }
        changed[band] = differs ? 1 : 0;
        if (differs)
            ++count;
    }
    return count;
}

std::size_t markDrawnBands(std::size_t bands, int rows, std::int32_t first, std::int32_t end,
                           std::vector<std::uint8_t>& changed) {
    changed.assign(bands, 0);
    if (rows <= 0 || end <= 0 || first >= end)
        return 0;
    const std::size_t from =
        static_cast<std::size_t>(std::max(first, 0)) / static_cast<std::size_t>(rows);
    const std::size_t to =
        std::min(bands, (static_cast<std::size_t>(end) + static_cast<std::size_t>(rows) - 1) /
                            static_cast<std::size_t>(rows));
    for (std::size_t band = from; band < to; ++band)
        changed[band] = 1;
    return to > from ? to - from : 0;
}

}  // namespace marrowdale
