// Encoding a screen image as JPEG into a buffer that is reused from frame to frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/screen_grabber.h"

namespace marrowdale {

enum class ChromaSubsampling { k444, k422, k420 };

struct JpegQuality {
    int quality = 75;  // 1..100
    ChromaSubsampling subsampling = ChromaSubsampling::k420;
};

// What the recorder uses. Measured on 1080p screens of text (bench/capture): brightness, which
// carries the text, is kept as well with 4:2:0 as with 4:4:4 (about 0.7 dB apart at quality 75),
// while 4:4:4 costs 1.7 to 1.8 times the CPU; quality 85 gains 2.7 dB of brightness over 75 for
// about 6 % more CPU. At 25 frames per second the encode takes about a fifth of one core.
inline constexpr JpegQuality kDefaultJpegQuality{85, ChromaSubsampling::k420};

// The bytes of one encoded image; valid until the next encode() or the encoder's end.
struct EncodedJpeg {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

// One encoder per thread.
class JpegEncoder {
  public:
    virtual ~JpegEncoder() = default;
    // False when the image cannot be encoded (no pixels, unsupported format, library error).
    virtual bool encode(const ScreenImage& image, EncodedJpeg& out) = 0;
    // The rows of pixels between restart markers in what encode() writes, 0 when it writes none.
    // With R rows, the bytes between two markers stand for one band of R rows (the last band
    // may be shorter) and depend on nothing else: encoding the rows from k x R on as an image of
    // their own gives the same bytes for the same pixels, so a picture can be put together from
    // the bands of another encode of the same size.
    virtual int restartRows() const { return 0; }
    // Another encoder with the same settings, for another thread; null when none can be made.
    virtual std::unique_ptr<JpegEncoder> clone() const { return nullptr; }
};

}  // namespace marrowdale
