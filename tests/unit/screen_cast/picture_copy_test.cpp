// Copying the capture rectangle out of a whole-screen picture: every place a rectangle can take
// against the picture, the two byte orders, padded rows and a picture placed on the desktop.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "platform/picture_copy.h"
#include "platform/screen_backend.h"

namespace marrowdale {
namespace {

// A picture whose pixel (x, y) holds x in its first byte, y in its second, 7 in the third and
// 9 in the fourth; rows padded by `padBytes`.
struct TestPicture {
    TestPicture(int w, int h, std::size_t padBytes, PixelOrder order, int ox = 0, int oy = 0) {
        stride = static_cast<std::size_t>(w) * 4 + padBytes;
        bytes.assign(stride * h, 0xEE);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                std::uint8_t* p = &bytes[y * stride + x * 4];
                p[0] = static_cast<std::uint8_t>(x);
                p[1] = static_cast<std::uint8_t>(y);
                p[2] = 7;
                p[3] = 9;
            }
        source = {bytes.data(), w, h, stride, order, ox, oy};
    }
    std::vector<std::uint8_t> bytes;
    std::size_t stride = 0;
    SourcePicture source;
};

struct Target {
    Target(int w, int h, std::size_t padBytes) {
        stride = static_cast<std::size_t>(w) * 4 + padBytes;
        bytes.assign(stride * h, 0x55);
        target = {bytes.data(), w, h, stride};
    }
    const std::uint8_t* at(int x, int y) const { return &bytes[y * stride + x * 4]; }
    std::vector<std::uint8_t> bytes;
    std::size_t stride = 0;
    PictureTarget target;
};

// Each target pixel is the picture's pixel at (left + x - ox, top + y - oy) in BGRx order, or
// black where that lies outside the picture; padding bytes are never written.
void expectCopy(const TestPicture& pic, const Target& t, int left, int top) {
    const SourcePicture& s = pic.source;
    for (int y = 0; y < t.target.height; ++y) {
        for (int x = 0; x < t.target.width; ++x) {
            const long sx = static_cast<long>(left) + x - s.originX;
            const long sy = static_cast<long>(top) + y - s.originY;
            const std::uint8_t* p = t.at(x, y);
            std::uint8_t want[4] = {0, 0, 0, 0};
            if (sx >= 0 && sx < s.width && sy >= 0 && sy < s.height) {
                const bool bgr = s.order == PixelOrder::kBgrx;
                want[0] = bgr ? static_cast<std::uint8_t>(sx) : 7;
                want[1] = static_cast<std::uint8_t>(sy);
                want[2] = bgr ? 7 : static_cast<std::uint8_t>(sx);
                want[3] = 9;
            }
            for (int c = 0; c < 4; ++c)
                ASSERT_EQ(p[c], want[c]) << "pixel " << x << "," << y << " byte " << c;
        }
        for (std::size_t pad = t.target.width * 4u; pad < t.stride; ++pad)
            ASSERT_EQ(t.bytes[y * t.stride + pad], 0x55) << "padding of row " << y;
    }
}

TEST(PictureCopy, EveryPlaceOfTheRectangle) {
    constexpr int kMax = std::numeric_limits<std::int32_t>::max();
    constexpr int kMin = std::numeric_limits<std::int32_t>::min();
    struct Row {
        const char* what;
        int left, top, width, height;
        int originX, originY;
        PixelOrder order;
    } rows[] = {
        {"inside", 3, 2, 5, 4, 0, 0, PixelOrder::kBgrx},
        {"the whole picture", 0, 0, 16, 10, 0, 0, PixelOrder::kBgrx},
        {"larger than the picture", -2, -3, 20, 16, 0, 0, PixelOrder::kBgrx},
        {"over the left edge", -3, 2, 6, 3, 0, 0, PixelOrder::kBgrx},
        {"over the right edge", 13, 2, 6, 3, 0, 0, PixelOrder::kBgrx},
        {"over the top edge", 2, -2, 4, 5, 0, 0, PixelOrder::kBgrx},
        {"over the bottom edge", 2, 8, 4, 5, 0, 0, PixelOrder::kBgrx},
        {"over a corner", 14, 9, 4, 4, 0, 0, PixelOrder::kBgrx},
        {"touching the right edge from outside", 16, 0, 3, 3, 0, 0, PixelOrder::kBgrx},
        {"far away", 1000, 1000, 3, 3, 0, 0, PixelOrder::kBgrx},
        {"at the largest coordinates", kMax, kMax, 3, 3, 0, 0, PixelOrder::kBgrx},
        {"at the smallest coordinates", kMin, kMin, 3, 3, 0, 0, PixelOrder::kBgrx},
        {"red and blue swapped", -1, -1, 5, 5, 0, 0, PixelOrder::kRgbx},
        {"a monitor right of another", 1922, 1, 4, 4, 1920, 0, PixelOrder::kBgrx},
        {"left of that monitor", 1918, 1, 4, 4, 1920, 0, PixelOrder::kBgrx},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        for (std::size_t pad : {std::size_t{0}, std::size_t{12}}) {
            TestPicture pic(16, 10, pad, row.order, row.originX, row.originY);
            Target t(row.width, row.height, pad);
            copyPictureRect(pic.source, row.left, row.top, t.target);
            expectCopy(pic, t, row.left, row.top);
        }
    }
}

TEST(PictureCopy, NoPictureGivesBlackAndNoTargetIsLeftAlone) {
    TestPicture none(0, 0, 0, PixelOrder::kBgrx);
    none.source.pixels = nullptr;
    Target t(4, 3, 0);
    copyPictureRect(none.source, 0, 0, t.target);
    for (std::uint8_t b : t.bytes)
        ASSERT_EQ(b, 0);

    TestPicture pic(8, 8, 0, PixelOrder::kBgrx);
    PictureTarget empty{nullptr, 4, 4, 16};
    copyPictureRect(pic.source, 0, 0, empty);  // must not crash
    Target zero(0, 0, 0);
    copyPictureRect(pic.source, 0, 0, zero.target);
}

TEST(ScreenBackendChoice, RequestedElseBySession) {
    struct Row {
        std::optional<ScreenBackend> requested;
        const char* waylandDisplay;
        ScreenBackend want;
    } rows[] = {
        {std::nullopt, nullptr, ScreenBackend::kX11},
        {std::nullopt, "", ScreenBackend::kX11},
        {std::nullopt, "wayland-0", ScreenBackend::kPortal},
        {std::nullopt, "/run/user/1000/wayland-1", ScreenBackend::kPortal},
        {ScreenBackend::kX11, "wayland-0", ScreenBackend::kX11},
        {ScreenBackend::kPortal, nullptr, ScreenBackend::kPortal},
    };
    for (const Row& row : rows)
        EXPECT_EQ(chooseScreenBackend(row.requested, row.waylandDisplay), row.want)
            << (row.waylandDisplay ? row.waylandDisplay : "(unset)");
    for (ScreenBackend b : {ScreenBackend::kX11, ScreenBackend::kPortal})
        EXPECT_EQ(parseScreenBackend(screenBackendName(b)), b);
    for (const char* bad : {"", "X11", "wayland", "portal ", "x"})
        EXPECT_FALSE(parseScreenBackend(bad)) << bad;
}

}  // namespace
}  // namespace marrowdale
