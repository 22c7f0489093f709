// Copying the capture rectangle out of a whole-screen picture that a screen-cast stream
// delivered, into the BGRx image the frame writers receive.
#pragma once

#include <cstddef>
#include <cstdint>

namespace marrowdale {

// Byte order of one 4-byte pixel in a delivered picture. The fourth byte (unused or alpha) is
// carried over unchanged.
enum class PixelOrder { kBgrx, kRgbx };

// A picture as delivered: rows top row first. `originX`, `originY` place its top-left pixel on
// the desktop (a monitor right of another has a positive originX).
struct SourcePicture {
    const std::uint8_t* pixels = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::size_t strideBytes = 0;
    PixelOrder order = PixelOrder::kBgrx;
    std::int32_t originX = 0;
    std::int32_t originY = 0;
};

// Where the copy goes: `width` x `height` BGRx pixels, rows `strideBytes` apart.
struct PictureTarget {
    std::uint8_t* pixels = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::size_t strideBytes = 0;
};

// Copies the rectangle whose top-left corner is the desktop point (left, top), of the target's
// size, from `source` into `target`. What lies outside the picture becomes black (all four bytes
// 0). Any coordinates are safe, huge and negative ones included. Any thread.
void copyPictureRect(const SourcePicture& source, std::int32_t left, std::int32_t top,
                     const PictureTarget& target);

}  // namespace marrowdale
