// The two writers that turn a grab into a file: writeJPG (the default) and writeBMP. They return
// nothing to the capture loop: writeBMP reports every failure in a message box (caption
// "Plumet", owner viewWindow) through the UI bridge, writeJPG fails silently. Both write a frame
// under its temporary name (temporaryFrameName) and rename it once it is complete; a file that
// could not be completed is removed, so a frame is on disk whole under its name or not at all. They
// run on the capture worker's thread, or on the encoder threads beside it, one lane each (see
// lane()).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/jpeg_encoder.h"
#include "platform/screen_grabber.h"
#include "platform/ui_bridge.h"
#include "recorder/capture_stats.h"
#include "recorder/state.h"

namespace marrowdale {

// The messages of writeBMP.
inline constexpr std::string_view kBmpNoBitmapInfo = "Could not retrieve bitmap info";
inline constexpr std::string_view kBmpNoMemory = "writeBMP::Could not allocate memory";
inline constexpr std::string_view kBmpGetDibError = "writeBMP::GetDIB error";
inline constexpr std::string_view kBmpCannotCreate = "Could not create file for writing";
inline constexpr std::string_view kBmpCannotWrite = "Could not write in to file";
inline constexpr std::string_view kBmpCannotClose = "Could not close file";

// One object serves one thread at a time: the capture worker's, or the encoder thread that was
// given it as its lane.
class FrameWriters {
  public:
    virtual ~FrameWriters() = default;
    // Set-up, before the first slot: prepares and touches every buffer a write of `image` in
    // `imageFormat` will use. Writes no file. `image` may be null.
    virtual void warmUp(const ScreenImage* image, ImageFormat imageFormat) = 0;
    // `image` is null when the grab's image could not be made.
    virtual void writeBMP(const ScreenImage* image, const char* fileName) = 0;

    // writeJPG in its two halves, so that the bytes of one encode can be written again under
    // the next frame's name when the picture has not changed.
    // Encodes `image` (null when the grab's image could not be made) into `out`, whose bytes
    // stay valid until the next encodeJPG() through this object. False when it cannot.
    virtual bool encodeJPG(const ScreenImage* image, EncodedJpeg& out) = 0;
    // Writes bytes that encodeJPG() made (through this object or another lane) as `fileName`.
    // No bytes (size 0) stand for an encode that failed: the frame then fails as writeJPG's
    // would.
    virtual void writeEncodedJPG(const std::uint8_t* data, std::size_t size,
                                 const char* fileName) = 0;
    // The rows between restart markers in what encodeJPG() makes (see
    // JpegEncoder::restartRows()); 0 when its bytes cannot be put together band by band.
    virtual int jpegRestartRows() const { return 0; }
    // Both halves.
    void writeJPG(const ScreenImage* image, const char* fileName);

    // Set-up and end only, on the worker's thread while no lane writes: from now on every file
    // written or failed through this object and its lanes is also counted into `counts` (null:
    // no longer). The default counts nothing.
    virtual void countFilesInto(FrameFileCounts* /*counts*/) {}

    // Writers for encoder threads: lane(0), lane(1), ... each for one thread, with buffers and
    // an encoder of its own, reporting into the same counts and messages. Null when that lane
    // cannot be had. The default has none: every frame is then written on the worker's thread.
    // Set-up only, on the worker's thread; the lanes live as long as this object.
    virtual FrameWriters* lane(std::size_t /*index*/) { return nullptr; }
};

// The colour depth a BMP header gets for planes x bits per pixel (a 16-bit product): 1, 4, 8,
// 16, 24 or 32.
std::uint16_t bmpRoundedBits(std::uint16_t planes, std::uint16_t bitsPerPixel);

// The image size a BMP header gets: ((width + 7) / 8) x bits x height.
std::uint64_t bmpImageSize(std::int32_t width, std::int32_t height, std::uint16_t bits);

// Writers into files, with buffers kept for the whole run (nothing is allocated per frame once
// the first frame of a size has been written). This object is lane 0; the other lanes encode
// with clones of its encoder.
class FileFrameWriters final : public FrameWriters {
  public:
    // `encoder` may be null: every JPEG then fails (silently).
    FileFrameWriters(JpegEncoder* encoder, UiBridge& ui, RecorderState& state);
    ~FileFrameWriters() override;
    FileFrameWriters(const FileFrameWriters&) = delete;
    FileFrameWriters& operator=(const FileFrameWriters&) = delete;

    void warmUp(const ScreenImage* image, ImageFormat imageFormat) override;
    void writeBMP(const ScreenImage* image, const char* fileName) override;
    bool encodeJPG(const ScreenImage* image, EncodedJpeg& out) override;
    int jpegRestartRows() const override;
    void writeEncodedJPG(const std::uint8_t* data, std::size_t size, const char* fileName) override;
    FrameWriters* lane(std::size_t index) override;
    void countFilesInto(FrameFileCounts* counts) override;

    // Any thread. Files written completely, and writes that failed, since construction, by
    // every lane.
    std::uint64_t filesWritten() const { return counts_->filesWritten.load(); }
    std::uint64_t failedWrites() const { return counts_->failedWrites.load(); }
    // Bytes of the files written completely.
    std::uint64_t bytesWritten() const { return counts_->bytesWritten.load(); }

  private:
    struct Shared {
        std::atomic<std::uint64_t> filesWritten{0};
        std::atomic<std::uint64_t> failedWrites{0};
        std::atomic<std::uint64_t> bytesWritten{0};
        // The counts of the run being written, if any.
        std::atomic<FrameFileCounts*> run{nullptr};
        // One message box at a time, whichever lane meets the failure.
        std::mutex messages;
    };
    FileFrameWriters(std::unique_ptr<JpegEncoder> encoder, UiBridge& ui, RecorderState& state,
                     Shared* counts);

    void fail(std::string_view message);
    void countWritten(std::uint64_t bytes);
    void countFailed();
    bool reserve(unsigned char*& buffer, std::size_t& capacity, std::size_t size);

    std::unique_ptr<JpegEncoder> ownEncoder_;  // lanes other than 0
    JpegEncoder* encoder_;
    UiBridge& ui_;
    RecorderState& state_;
    Shared shared_;
    Shared* counts_;  // lane 0's
    std::vector<std::unique_ptr<FileFrameWriters>> lanes_;
    unsigned char* header_ = nullptr;
    std::size_t headerCapacity_ = 0;
    unsigned char* pixels_ = nullptr;
    std::size_t pixelCapacity_ = 0;
    std::string temporary_;  // the temporary name of the file being written
};

}  // namespace marrowdale
