// The two writers that turn a grab into a file: writeJPG (the default) and writeBMP. They run on
// the capture worker's thread, once per grab, and return nothing to the loop: writeBMP reports
// every failure in a message box (caption "Plumet", owner viewWindow) through the UI bridge,
// writeJPG fails silently.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/jpeg_encoder.h"
#include "platform/screen_grabber.h"
#include "platform/ui_bridge.h"
#include "recorder/state.h"

namespace marrowdale {

// The messages of writeBMP.
inline constexpr std::string_view kBmpNoBitmapInfo = "Could not retrieve bitmap info";
inline constexpr std::string_view kBmpNoMemory = "writeBMP::Could not allocate memory";
inline constexpr std::string_view kBmpGetDibError = "writeBMP::GetDIB error";
inline constexpr std::string_view kBmpCannotCreate = "Could not create file for writing";
inline constexpr std::string_view kBmpCannotWrite = "Could not write in to file";
inline constexpr std::string_view kBmpCannotClose = "Could not close file";

// Worker thread only.
class FrameWriters {
  public:
    virtual ~FrameWriters() = default;
    // Set-up, before the first slot: prepares and touches every buffer a write of `image` in
    // `imageFormat` will use. Writes no file. `image` may be null.
    virtual void warmUp(const ScreenImage* image, std::uint8_t imageFormat) = 0;
    // `image` is null when the grab's image could not be made.
    virtual void writeBMP(const ScreenImage* image, const char* fileName) = 0;
    virtual void writeJPG(const ScreenImage* image, const char* fileName) = 0;
};

// The colour depth a BMP header gets for planes x bits per pixel (a 16-bit product): 1, 4, 8,
// 16, 24 or 32.
std::uint16_t bmpRoundedBits(std::uint16_t planes, std::uint16_t bitsPerPixel);

// The image size a BMP header gets: ((width + 7) / 8) x bits x height.
std::uint64_t bmpImageSize(std::int32_t width, std::int32_t height, std::uint16_t bits);

// Writers into files, with buffers kept for the whole run (nothing is allocated per frame once
// the first frame of a size has been written).
class FileFrameWriters final : public FrameWriters {
  public:
    // `encoder` may be null: every JPEG then fails (silently).
    FileFrameWriters(JpegEncoder* encoder, UiBridge& ui, RecorderState& state);
    ~FileFrameWriters() override;
    FileFrameWriters(const FileFrameWriters&) = delete;
    FileFrameWriters& operator=(const FileFrameWriters&) = delete;

    void warmUp(const ScreenImage* image, std::uint8_t imageFormat) override;
    void writeBMP(const ScreenImage* image, const char* fileName) override;
    void writeJPG(const ScreenImage* image, const char* fileName) override;

    // Files written completely, and writes that failed, since construction.
    std::uint64_t filesWritten() const { return filesWritten_; }
    std::uint64_t failedWrites() const { return failedWrites_; }

  private:
    void fail(std::string_view message);
    bool reserve(unsigned char*& buffer, std::size_t& capacity, std::size_t size);

    JpegEncoder* encoder_;
    UiBridge& ui_;
    RecorderState& state_;
    unsigned char* header_ = nullptr;
    std::size_t headerCapacity_ = 0;
    unsigned char* pixels_ = nullptr;
    std::size_t pixelCapacity_ = 0;
    std::uint64_t filesWritten_ = 0;
    std::uint64_t failedWrites_ = 0;
};

}  // namespace marrowdale
