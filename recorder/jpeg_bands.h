// Putting a JPEG together from bands of rows. The encoder restarts its entropy-coded data every
// R rows (JpegEncoder::restartRows()), so the bytes between two restart markers stand for one
// band of R rows whatever the rest of the picture holds. A frame whose pixels changed in a few
// bands only is then the frame before with those bands encoded anew: the result is byte for
// byte what an encode of the whole frame gives.
//
// Layout of such a JPEG of n bands, by offsets `ends` (n + 1 of them): [0, ends[0]) the headers
// up to the end of the start-of-scan segment; [ends[i], ends[i + 1]) band i, its marker
// included: RST(i mod 8), or the end-of-image marker after the last band.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/screen_grabber.h"

namespace marrowdale {

// The number of bands of `rows` rows in `height` rows (the last may be shorter).
std::size_t bandCount(std::int32_t height, int rows);

// Finds the layout of `data` (one whole JPEG of `bands` bands) into `ends`. False when the bytes
// are not laid out that way (another marker where a restart should be, a count that does not
// match, cut-off data); `ends` is then empty.
bool findBandEnds(const std::uint8_t* data, std::size_t size, std::size_t bands,
                  std::vector<std::size_t>& ends);

// Appends one band's bytes, `chunk` of `size` bytes ending in its own two-byte marker, to `out`
// with the marker that band `at` of a picture of `bands` bands has instead.
void appendBandAs(const std::uint8_t* chunk, std::size_t size, std::size_t at, std::size_t bands,
                  std::vector<std::uint8_t>& out);

// Marks in `changed` (one entry per band of `rows` rows) the bands whose pixels differ between
// `a` and `b`, two images of the same size; returns how many do. A band stops being compared at
// its first differing row.
std::size_t markChangedBands(const ScreenImage& a, const ScreenImage& b, int rows,
                             std::vector<std::uint8_t>& changed);

// Marks in `changed` the bands of `rows` rows that rows [first, end) touch, out of `bands`;
// returns how many it marked.
std::size_t markDrawnBands(std::size_t bands, int rows, std::int32_t first, std::int32_t end,
                           std::vector<std::uint8_t>& changed);

}  // namespace marrowdale
