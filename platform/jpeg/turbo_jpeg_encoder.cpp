// JPEG encoding with libjpeg-turbo, through its libjpeg interface so that the entropy-coded data
// can restart at every row of MCUs. The settings are those of TurboJPEG's tjCompress2 (quality
// scaling of the standard tables, the fast integer DCT below quality 96, the standard Huffman
// tables, YCbCr with the chosen subsampling), plus a restart marker after every row of MCUs:
// that is what lets a band of rows be encoded alone and spliced into the picture before.
//
// The output buffer grows to the largest image of the run and is reused for every frame.
// jpeglib.h needs size_t and FILE declared before it.
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

#include "platform/jpeg/turbo_jpeg_encoder.h"

namespace marrowdale {

namespace {

// libjpeg reports a fatal error through error_exit, which must not return; it jumps back to
// the encode that failed. Nothing with a destructor lives between the setjmp and the jump.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf back;
};

extern "C" void onJpegError(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(errors->back, 1);
}

extern "C" void onJpegMessage(j_common_ptr /*cinfo*/) {}

// A destination that writes into memory of its own and doubles it when it runs out. Once it
// has grown to the largest image of the run, no encode allocates.
struct GrowingDestination {
    jpeg_destination_mgr pub;
    unsigned char* data = nullptr;
    std::size_t capacity = 0;

    // False when the memory cannot be had; what was written stays.
    bool reserve(std::size_t wanted) {
        if (wanted <= capacity)
            return true;
        void* grown = std::realloc(data, wanted);
        if (grown == nullptr)
            return false;
        data = static_cast<unsigned char*>(grown);
        capacity = wanted;
        return true;
    }
};

extern "C" void startDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<GrowingDestination*>(cinfo->dest);
    dest->pub.next_output_byte = dest->data;
    dest->pub.free_in_buffer = dest->capacity;
}

// Called when the whole buffer is full.
extern "C" boolean growDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<GrowingDestination*>(cinfo->dest);
    const std::size_t used = dest->capacity;
    if (used > SIZE_MAX / 2 || !dest->reserve(used * 2))
        ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
    dest->pub.next_output_byte = dest->data + used;
    dest->pub.free_in_buffer = dest->capacity - used;
    return TRUE;
}

extern "C" void termDestination(j_compress_ptr /*cinfo*/) {}

int mcuRowsFor(ChromaSubsampling s) {
    return s == ChromaSubsampling::k420 ? 16 : 8;
}

class TurboJpegEncoder final : public JpegEncoder {
  public:
    explicit TurboJpegEncoder(JpegQuality quality) : quality_(quality) {
        cinfo_.err = jpeg_std_error(&errors_.pub);
        errors_.pub.error_exit = onJpegError;
        errors_.pub.output_message = onJpegMessage;
        destination_.pub.init_destination = startDestination;
        destination_.pub.empty_output_buffer = growDestination;
        destination_.pub.term_destination = termDestination;
    }
    ~TurboJpegEncoder() override {
        if (created_)
            jpeg_destroy_compress(&cinfo_);
        std::free(destination_.data);
    }
    TurboJpegEncoder(const TurboJpegEncoder&) = delete;
    TurboJpegEncoder& operator=(const TurboJpegEncoder&) = delete;

    bool create() {
        if (setjmp(errors_.back) != 0)
            return false;
        jpeg_create_compress(&cinfo_);
        created_ = true;
        cinfo_.dest = &destination_.pub;
        return true;
    }

    bool encode(const ScreenImage& image, EncodedJpeg& out) override {
        out = EncodedJpeg{};
        if (!created_ || image.pixels == nullptr || image.width <= 0 || image.height <= 0 ||
            image.bitsPerPixel != 32 || image.planes != 1 ||
            image.strideBytes < static_cast<std::size_t>(image.width) * 4) {
            return false;
        }
        // A first guess at the size that fits most frames; it grows as needed.
        if (destination_.capacity == 0 &&
            !destination_.reserve(static_cast<std::size_t>(image.width) *
                                      static_cast<std::size_t>(image.height) / 2 +
                                  4096)) {
            return false;
        }
        rows_.resize(static_cast<std::size_t>(image.height));
        for (std::size_t y = 0; y < rows_.size(); ++y)
            rows_[y] = const_cast<JSAMPROW>(image.pixels + y * image.strideBytes);

        const std::size_t size = compress(image);
        if (size == 0)
            return false;
        out.data = destination_.data;
        out.size = size;
        return true;
    }

    int restartRows() const override { return mcuRowsFor(quality_.subsampling); }

    std::unique_ptr<JpegEncoder> clone() const override { return createTurboJpegEncoder(quality_); }

  private:
    // The bytes written, or 0 when the library failed (it is then reset for the next image).
    std::size_t compress(const ScreenImage& image) {
        if (setjmp(errors_.back) != 0) {
            jpeg_abort_compress(&cinfo_);
            return 0;
        }
        cinfo_.image_width = static_cast<JDIMENSION>(image.width);
        cinfo_.image_height = static_cast<JDIMENSION>(image.height);
        cinfo_.input_components = 4;
        cinfo_.in_color_space = JCS_EXT_BGRX;
        jpeg_set_defaults(&cinfo_);
        jpeg_set_quality(&cinfo_, quality_.quality, TRUE);
        cinfo_.dct_method = quality_.quality >= 96 ? JDCT_ISLOW : JDCT_FASTEST;
        jpeg_set_colorspace(&cinfo_, JCS_YCbCr);
        const int luma = quality_.subsampling == ChromaSubsampling::k444 ? 1 : 2;
        cinfo_.comp_info[0].h_samp_factor = luma;
        cinfo_.comp_info[0].v_samp_factor = quality_.subsampling == ChromaSubsampling::k420 ? 2 : 1;
        for (int c = 1; c < 3; ++c) {
            cinfo_.comp_info[c].h_samp_factor = 1;
            cinfo_.comp_info[c].v_samp_factor = 1;
        }
        cinfo_.restart_in_rows = 1;
        jpeg_start_compress(&cinfo_, TRUE);
        while (cinfo_.next_scanline < cinfo_.image_height) {
            jpeg_write_scanlines(&cinfo_, rows_.data() + cinfo_.next_scanline,
                                 cinfo_.image_height - cinfo_.next_scanline);
        }
        jpeg_finish_compress(&cinfo_);
        return destination_.capacity - destination_.pub.free_in_buffer;
    }

    JpegQuality quality_;
    jpeg_compress_struct cinfo_{};
    ErrorManager errors_{};
    GrowingDestination destination_{};
    bool created_ = false;
    std::vector<JSAMPROW> rows_;
};

}  // namespace

std::unique_ptr<JpegEncoder> createTurboJpegEncoder(JpegQuality quality) {
    auto encoder = std::make_unique<TurboJpegEncoder>(quality);
    if (!encoder->create())
        return nullptr;
    return encoder;
}

}  // namespace marrowdale
