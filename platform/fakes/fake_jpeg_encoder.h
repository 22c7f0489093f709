// A JPEG encoder for tests: "encodes" an image into a short marker holding its size.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "platform/jpeg_encoder.h"

namespace marrowdale {

class FakeJpegEncoder final : public JpegEncoder {
  public:
    bool encode(const ScreenImage& image, EncodedJpeg& out) override {
        ++calls;
        out = EncodedJpeg{};
        if (fail || image.pixels == nullptr)
            return false;
        char text[64];
        const int n = std::snprintf(text, sizeof text, "FAKEJPEG %dx%d", image.width, image.height);
        bytes_.assign(text, static_cast<std::size_t>(n));
        out.data = reinterpret_cast<const std::uint8_t*>(bytes_.data());
        out.size = bytes_.size();
        return true;
    }

    std::unique_ptr<JpegEncoder> clone() const override {
        auto copy = std::make_unique<FakeJpegEncoder>();
        copy->fail = fail;
        return copy;
    }

    bool fail = false;
    int calls = 0;

  private:
    std::string bytes_;
};

}  // namespace marrowdale
