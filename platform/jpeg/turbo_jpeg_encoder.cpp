// JPEG encoding with the TurboJPEG API of libjpeg-turbo. The output buffer is allocated once
// for the largest image the size allows and reused for every frame.
#include <turbojpeg.h>

#include "platform/jpeg/turbo_jpeg_encoder.h"

namespace marrowdale {

namespace {

int toTurboSubsampling(ChromaSubsampling s) {
    switch (s) {
        case ChromaSubsampling::k444:
            return TJSAMP_444;
        case ChromaSubsampling::k422:
            return TJSAMP_422;
        case ChromaSubsampling::k420:
            return TJSAMP_420;
    }
    return TJSAMP_420;
}

class TurboJpegEncoder final : public JpegEncoder {
  public:
    TurboJpegEncoder(tjhandle handle, JpegQuality quality) : handle_(handle), quality_(quality) {}
    ~TurboJpegEncoder() override {
        if (buffer_ != nullptr)
            tjFree(buffer_);
        tjDestroy(handle_);
    }
    TurboJpegEncoder(const TurboJpegEncoder&) = delete;
    TurboJpegEncoder& operator=(const TurboJpegEncoder&) = delete;

    bool encode(const ScreenImage& image, EncodedJpeg& out) override {
        out = EncodedJpeg{};
        if (image.pixels == nullptr || image.width <= 0 || image.height <= 0 ||
            image.bitsPerPixel != 32 || image.planes != 1) {
            return false;
        }
        const int sampling = toTurboSubsampling(quality_.subsampling);
        const unsigned long needed = tjBufSize(image.width, image.height, sampling);
        if (needed == static_cast<unsigned long>(-1))
            return false;
        if (needed > capacity_) {
            if (buffer_ != nullptr)
                tjFree(buffer_);
            buffer_ = tjAlloc(static_cast<int>(needed));
            capacity_ = buffer_ != nullptr ? needed : 0;
            if (buffer_ == nullptr)
                return false;
        }
        unsigned long size = capacity_;
        const int rc = tjCompress2(handle_, image.pixels, image.width,
                                   static_cast<int>(image.strideBytes), image.height, TJPF_BGRX,
                                   &buffer_, &size, sampling, quality_.quality, TJFLAG_NOREALLOC);
        if (rc != 0)
            return false;
        out.data = buffer_;
        out.size = size;
        return true;
    }

    std::unique_ptr<JpegEncoder> clone() const override { return createTurboJpegEncoder(quality_); }

  private:
    tjhandle handle_;
    JpegQuality quality_;
    unsigned char* buffer_ = nullptr;
    unsigned long capacity_ = 0;
};

}  // namespace

std::unique_ptr<JpegEncoder> createTurboJpegEncoder(JpegQuality quality) {
    tjhandle handle = tjInitCompress();
    if (handle == nullptr)
        return nullptr;
    return std::make_unique<TurboJpegEncoder>(handle, quality);
}

}  // namespace marrowdale
