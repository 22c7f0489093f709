#include "platform/picture_copy.h"

#include <algorithm>
#include <cstring>

namespace marrowdale {

namespace {

void copyRow(const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels, PixelOrder order) {
    if (order == PixelOrder::kBgrx) {
        std::memcpy(dst, src, pixels * 4);
        return;
    }
    for (std::size_t i = 0; i < pixels; ++i, src += 4, dst += 4) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
        dst[3] = src[3];
    }
}

}  // namespace

void copyPictureRect(const SourcePicture& source, std::int32_t left, std::int32_t top,
                     const PictureTarget& target) {
    if (target.pixels == nullptr || target.width <= 0 || target.height <= 0)
        return;
    const std::size_t fullRow = static_cast<std::size_t>(target.width) * 4;
    // The rectangle in picture coordinates, in 64 bits so that no sum overflows.
    const std::int64_t x0 = static_cast<std::int64_t>(left) - source.originX;
    const std::int64_t y0 = static_cast<std::int64_t>(top) - source.originY;
    const bool hasPicture = source.pixels != nullptr && source.width > 0 && source.height > 0;
    const std::int64_t fromX = hasPicture ? std::max<std::int64_t>(x0, 0) : 0;
    const std::int64_t toX =
        hasPicture ? std::min<std::int64_t>(x0 + target.width, source.width) : 0;
    const std::int64_t fromY = hasPicture ? std::max<std::int64_t>(y0, 0) : 0;
    const std::int64_t toY =
        hasPicture ? std::min<std::int64_t>(y0 + target.height, source.height) : 0;
    const bool overlaps = toX > fromX && toY > fromY;

    const std::size_t blackLeft = overlaps ? static_cast<std::size_t>(fromX - x0) * 4 : fullRow;
    const std::size_t copied = overlaps ? static_cast<std::size_t>(toX - fromX) : 0;
    for (std::int32_t row = 0; row < target.height; ++row) {
        std::uint8_t* dst = target.pixels + static_cast<std::size_t>(row) * target.strideBytes;
        const std::int64_t y = y0 + row;
        if (!overlaps || y < fromY || y >= toY) {
            std::memset(dst, 0, fullRow);
            continue;
        }
        std::memset(dst, 0, blackLeft);
        const std::uint8_t* src = source.pixels + static_cast<std::size_t>(y) * source.strideBytes +
                                  static_cast<std::size_t>(fromX) * 4;
        copyRow(src, dst + blackLeft, copied, source.order);
        const std::size_t end = blackLeft + copied * 4;
        std::memset(dst + end, 0, fullRow - end);
    }
}

}  // namespace marrowdale
