// The grabber over a picture source: the image it opens, what a grab copies, and a source that
// has no picture yet or has been lost.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/picture_source.h"

namespace marrowdale {
namespace {

// A 32x16 picture of one colour (blue 1, green 2, red 3); no picture until `ready`.
class FakePictureSource final : public PictureSource {
  public:
    FakePictureSource() : pixels_(32 * 16 * 4) {
        for (std::size_t i = 0; i < pixels_.size(); i += 4) {
            pixels_[i] = 1;
            pixels_[i + 1] = 2;
            pixels_[i + 2] = 3;
            pixels_[i + 3] = 0;
        }
    }
    bool copyNewest(std::int32_t left, std::int32_t top, const PictureTarget& target,
                    std::uint64_t& sequence) override {
        ++copies;
        if (!ready || isLost)
            return false;
        copyPictureRect({pixels_.data(), 32, 16, 32 * 4, PixelOrder::kBgrx, 0, 0}, left, top,
                        target);
        sequence = pictures;
        return true;
    }
    bool lost() const override { return isLost; }
    std::uint64_t newestSequence() const override { return pictures; }

    // A new picture: the top-left pixel's blue byte becomes `blue`.
    void deliver(std::uint8_t blue) {
        pixels_[0] = blue;
        ++pictures;
    }

    bool ready = false;
    bool isLost = false;
    int copies = 0;
    std::uint64_t pictures = 1;

  private:
    std::vector<std::uint8_t> pixels_;
};

TEST(PictureSourceGrabber, GrabsTheRectangleOnceAPictureHasCome) {
    auto source = std::make_shared<FakePictureSource>();
    std::unique_ptr<ScreenGrabber> grabber = createPictureSourceGrabber(source);
    EXPECT_EQ(grabber->image(), nullptr);
    EXPECT_FALSE(grabber->grab(0, 0));
    EXPECT_FALSE(grabber->open(0, 10));
    EXPECT_FALSE(grabber->open(10, -1));

    ASSERT_TRUE(grabber->open(8, 4));
    const ScreenImage* image = grabber->image();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 8);
    EXPECT_EQ(image->height, 4);
    EXPECT_EQ(image->strideBytes, 32u);
    EXPECT_EQ(image->bitsPerPixel, 32);

    // No picture yet: the grab fails and the image stays black.
    EXPECT_FALSE(grabber->grab(0, 0));
    for (std::size_t i = 0; i < 8 * 4 * 4; ++i)
        ASSERT_EQ(image->pixels[i], 0);

    source->ready = true;
    // Half of the rectangle lies right of the 32-pixel-wide picture.
    ASSERT_TRUE(grabber->grab(28, 0));
    EXPECT_EQ(image->pixels[0], 1);
    EXPECT_EQ(image->pixels[2], 3);
    EXPECT_EQ(image->pixels[4 * 4], 0);  // x = 4 is x = 32 on the screen: black
    EXPECT_FALSE(grabber->connectionLost());

    // Lost: grabs fail, the last picture stays in the image, and the grabber says so.
    source->isLost = true;
    EXPECT_FALSE(grabber->grab(0, 0));
    EXPECT_TRUE(grabber->connectionLost());
    EXPECT_EQ(image->pixels[0], 1);

    grabber->close();
    EXPECT_EQ(grabber->image(), nullptr);
    const int copies = source->copies;
    EXPECT_FALSE(grabber->grab(0, 0));
    EXPECT_EQ(source->copies, copies);  // a closed grabber does not reach the source
    grabber->close();
}

// Grabs straight into buffers, and the change the grabber reports between grabs: nothing while
// no picture arrived since the last good grab at the same corner, "don't know" otherwise.
TEST(PictureSourceGrabber, GrabsIntoBuffersAndTellsWhenNoPictureCame) {
    auto source = std::make_shared<FakePictureSource>();
    std::unique_ptr<ScreenGrabber> grabber = createPictureSourceGrabber(source);
    ASSERT_TRUE(grabber->open(8, 4));
    EXPECT_TRUE(grabber->grabIntoLeavesImage());
    std::unique_ptr<GrabBuffer> buffer = grabber->makeBuffer();
    ASSERT_NE(buffer, nullptr);
    const std::uint8_t* image = grabber->image()->pixels;

    // No grab yet, and no picture: nothing can be told.
    EXPECT_EQ(grabber->changeSinceLastGrab(0, 0), ScreenChange::kUnknown);
    EXPECT_FALSE(grabber->grabInto(0, 0, *buffer));
    EXPECT_EQ(grabber->changeSinceLastGrab(0, 0), ScreenChange::kUnknown);

    source->ready = true;
    ASSERT_TRUE(grabber->grabInto(0, 0, *buffer));
    EXPECT_EQ(buffer->image().pixels[0], 1);
    EXPECT_EQ(buffer->image().pixels[2], 3);
    EXPECT_EQ(image[0], 0);  // the image is left alone
    EXPECT_EQ(grabber->changeSinceLastGrab(0, 0), ScreenChange::kNone);
    EXPECT_EQ(grabber->changeSinceLastGrab(1, 0), ScreenChange::kUnknown);  // another corner

    source->deliver(9);
    EXPECT_EQ(grabber->changeSinceLastGrab(0, 0), ScreenChange::kUnknown);
    ASSERT_TRUE(grabber->grab(0, 0));
    EXPECT_EQ(image[0], 9);
    EXPECT_EQ(buffer->image().pixels[0], 1);  // the buffer keeps the earlier picture
    EXPECT_EQ(grabber->changeSinceLastGrab(0, 0), ScreenChange::kNone);

    // A failed grab forgets what the last good one copied; so does a lost source.
    source->isLost = true;
    EXPECT_EQ(grabber->changeSinceLastGrab(0, 0), ScreenChange::kUnknown);
    EXPECT_FALSE(grabber->grab(0, 0));
    source->isLost = false;
    EXPECT_EQ(grabber->changeSinceLastGrab(0, 0), ScreenChange::kUnknown);

    // A buffer of another size is refused without touching the source.
    ASSERT_TRUE(grabber->grab(0, 0));
    std::unique_ptr<ScreenGrabber> other = createPictureSourceGrabber(source);
    ASSERT_TRUE(other->open(4, 4));
    std::unique_ptr<GrabBuffer> small = other->makeBuffer();
    ASSERT_NE(small, nullptr);
    const int copies = source->copies;
    EXPECT_FALSE(grabber->grabInto(0, 0, *small));
    EXPECT_EQ(source->copies, copies);
    grabber->close();
    EXPECT_EQ(grabber->changeSinceLastGrab(0, 0), ScreenChange::kUnknown);
}

}  // namespace
}  // namespace marrowdale
