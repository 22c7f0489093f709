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
        const PictureTarget target{pixels_.data(), image_.width, image_.height, image_.strideBytes};
        return source_->copyNewest(left, top, target);
    }

    const ScreenImage* image() const override {
        return image_.pixels != nullptr ? &image_ : nullptr;
    }

    void close() override {
        image_ = ScreenImage{};
        std::vector<std::uint8_t>().swap(pixels_);
    }

    bool connectionLost() const override { return source_ && source_->lost(); }

  private:
    std::shared_ptr<PictureSource> source_;
    std::vector<std::uint8_t> pixels_;
    ScreenImage image_;
};

}  // namespace

std::unique_ptr<ScreenGrabber> createPictureSourceGrabber(std::shared_ptr<PictureSource> source) {
    return std::make_unique<PictureSourceGrabber>(std::move(source));
}

}  // namespace marrowdale
