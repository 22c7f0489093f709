// The grab buffers every grabber has: ordinary memory, filled by a copy from the grabber's image.
#include <cstring>
#include <new>

#include "platform/screen_grabber.h"

namespace marrowdale {

namespace {

class HeapGrabBuffer final : public GrabBuffer {
  public:
    static std::unique_ptr<HeapGrabBuffer> make(std::int32_t width, std::int32_t height) {
        if (width <= 0 || height <= 0)
            return nullptr;
        const std::size_t stride = static_cast<std::size_t>(width) * 4;
        const std::size_t bytes = stride * static_cast<std::size_t>(height);
        std::unique_ptr<std::uint8_t[]> memory(new (std::nothrow) std::uint8_t[bytes]);
        if (!memory)
            return nullptr;
        std::memset(memory.get(), 0, bytes);  // faulted in now, not during a slot
        return std::unique_ptr<HeapGrabBuffer>(
            new HeapGrabBuffer(std::move(memory), width, height, stride));
    }

  private:
    HeapGrabBuffer(std::unique_ptr<std::uint8_t[]> memory, std::int32_t width, std::int32_t height,
                   std::size_t stride)
        : memory_(std::move(memory)) {
        setImage(memory_.get(), width, height, stride);
    }
    std::unique_ptr<std::uint8_t[]> memory_;
};

}  // namespace

void GrabBuffer::setImage(std::uint8_t* pixels, std::int32_t width, std::int32_t height,
                          std::size_t strideBytes) {
    pixels_ = pixels;
    image_.pixels = pixels;
    image_.width = width;
    image_.height = height;
    image_.strideBytes = strideBytes;
    image_.planes = 1;
    image_.bitsPerPixel = 32;
}

std::unique_ptr<GrabBuffer> ScreenGrabber::makeBuffer() {
    const ScreenImage* own = image();
    if (own == nullptr || own->pixels == nullptr)
        return nullptr;
    return HeapGrabBuffer::make(own->width, own->height);
}

bool ScreenGrabber::grabInto(std::int32_t left, std::int32_t top, GrabBuffer& target) {
    const bool grabbed = grab(left, top);
    const ScreenImage* own = image();
    const ScreenImage& dst = target.image();
    if (own == nullptr || own->pixels == nullptr || target.pixels() == nullptr ||
        own->width != dst.width || own->height != dst.height)
        return false;
    const std::size_t rowBytes = static_cast<std::size_t>(dst.width) * 4;
    for (std::int32_t y = 0; y < dst.height; ++y) {
        std::memcpy(target.pixels() + static_cast<std::size_t>(y) * dst.strideBytes,
                    own->pixels + static_cast<std::size_t>(y) * own->strideBytes, rowBytes);
    }
    return grabbed;
}

}  // namespace marrowdale
