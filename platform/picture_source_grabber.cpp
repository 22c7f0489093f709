#include <vector>

#include "platform/picture_source.h"

namespace marrowdale {

namespace {

class PictureSourceGrabber final : public ScreenGrabber {
  public:
    explicit PictureSourceGrabber(std::shared_ptr<PictureSource> source)
        : source_(std::move(source)) {}

    bool open(std::int32_t width, std::int32_t height) override {
        close();
        if (width <= 0 || height <= 0 || !source_)
            return false;
        const std::size_t stride = static_cast<std::size_t>(width) * 4;
        // Zero-filled on allocation: every page is touched before the first slot.
        pixels_.assign(stride * static_cast<std::size_t>(height), 0);
        image_.pixels = pixels_.data();
        image_.width = width;
        image_.height = height;
        image_.strideBytes = stride;
        image_.planes = 1;
        image_.bitsPerPixel = 32;
        return true;
    }

    bool grab(std::int32_t left, std::int32_t top) override {
        if (image_.pixels == nullptr)
            return false;
        return copyInto({pixels_.data(), image_.width, image_.height, image_.strideBytes}, left,
                        top);
    }

    // The rectangle goes straight from the stream's picture into the buffer: one copy a slot.
    bool grabInto(std::int32_t left, std::int32_t top, GrabBuffer& buffer) override {
        const ScreenImage& dst = buffer.image();
        if (image_.pixels == nullptr || buffer.pixels() == nullptr || dst.width != image_.width ||
            dst.height != image_.height)
            return false;
        return copyInto({buffer.pixels(), dst.width, dst.height, dst.strideBytes}, left, top);
    }

    bool grabIntoLeavesImage() const override { return true; }

    ScreenChange changeSinceLastGrab(std::int32_t left, std::int32_t top) override {
        if (!lastGood_ || left != lastLeft_ || top != lastTop_ || source_->lost())
            return ScreenChange::kUnknown;
        // A new picture may still show the same pixels inside the rectangle: let the caller
        // compare.
        return source_->newestSequence() == lastSequence_ ? ScreenChange::kNone
                                                          : ScreenChange::kUnknown;
    }

    const ScreenImage* image() const override {
        return image_.pixels != nullptr ? &image_ : nullptr;
    }

    void close() override {
        image_ = ScreenImage{};
        std::vector<std::uint8_t>().swap(pixels_);
        lastGood_ = false;
    }

    bool connectionLost() const override { return source_ && source_->lost(); }

  private:
    bool copyInto(const PictureTarget& target, std::int32_t left, std::int32_t top) {
        std::uint64_t sequence = 0;
        lastGood_ = source_->copyNewest(left, top, target, sequence);
        if (lastGood_) {
            lastSequence_ = sequence;
            lastLeft_ = left;
            lastTop_ = top;
        }
        return lastGood_;
    }

    std::shared_ptr<PictureSource> source_;
    std::vector<std::uint8_t> pixels_;
    ScreenImage image_;
    // The last grab: whether it succeeded, where, and which picture it copied.
    bool lastGood_ = false;
    std::int32_t lastLeft_ = 0;
    std::int32_t lastTop_ = 0;
    std::uint64_t lastSequence_ = 0;
};

}  // namespace

std::unique_ptr<ScreenGrabber> createPictureSourceGrabber(std::shared_ptr<PictureSource> source) {
    return std::make_unique<PictureSourceGrabber>(std::move(source));
}

}  // namespace marrowdale
