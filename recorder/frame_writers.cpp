#include "recorder/frame_writers.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "recorder/frame_names.h"

namespace marrowdale {

namespace {

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::size_t kInfoHeaderBytes = 40;

void put16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
void put32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}
std::uint32_t get32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

bool writeAll(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// A frame file on its way to the disk: written under its temporary name, renamed to its own
// name once complete, removed when anything fails. A killed process thus leaves a frame whole
// under its name or not at all.
class FrameFile {
  public:
    // `temporary` is the writer's buffer for the temporary name, reused from frame to frame.
    FrameFile(const char* fileName, std::string& temporary)
        : name_(fileName), temporary_(temporary) {
        temporaryFrameName(fileName, temporary_);
        fd_ =
            ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
        made_ = fd_ >= 0;
    }
    ~FrameFile() {
        if (fd_ >= 0)
            ::close(fd_);
        if (made_ && !published_)
            ::unlink(temporary_.c_str());
    }
    FrameFile(const FrameFile&) = delete;
    FrameFile& operator=(const FrameFile&) = delete;

    bool opened() const { return fd_ >= 0; }
    bool write(const unsigned char* data, std::size_t size) { return writeAll(fd_, data, size); }
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }
    // Puts the complete file under its name (replacing a file of that name).
    bool publish() {
        published_ = ::rename(temporary_.c_str(), name_) == 0;
        return published_;
    }

  private:
    const char* name_;
    std::string& temporary_;
    int fd_ = -1;
    bool made_ = false;
    bool published_ = false;
};

}  // namespace

std::uint16_t bmpRoundedBits(std::uint16_t planes, std::uint16_t bitsPerPixel) {
    const auto product = static_cast<std::uint16_t>(planes * bitsPerPixel);
    if (product == 1)
        return 1;
    if (product <= 4)
        return 4;
    if (product <= 8)
        return 8;
    if (product <= 16)
        return 16;
    if (product <= 24)
        return 24;
    return 32;
}

std::uint64_t bmpImageSize(std::int32_t width, std::int32_t height, std::uint16_t bits) {
    // Integer division rounding towards zero, as the header's formula has it.
    const std::int64_t size = (static_cast<std::int64_t>(width) + 7) / 8 * bits * height;
    return size < 0 ? 0 : static_cast<std::uint64_t>(size);
}

void FrameWriters::writeJPG(const ScreenImage* image, const char* fileName) {
    EncodedJpeg encoded;
    if (!encodeJPG(image, encoded))
        encoded = EncodedJpeg{};
    writeEncodedJPG(encoded.data, encoded.size, fileName);
}

FileFrameWriters::FileFrameWriters(JpegEncoder* encoder, UiBridge& ui, RecorderState& state)
    : encoder_(encoder), ui_(ui), state_(state), counts_(&shared_) {}

FileFrameWriters::FileFrameWriters(std::unique_ptr<JpegEncoder> encoder, UiBridge& ui,
                                   RecorderState& state, Shared* counts)
    : ownEncoder_(std::move(encoder)),
      encoder_(ownEncoder_.get()),
      ui_(ui),
      state_(state),
      counts_(counts) {}

FileFrameWriters::~FileFrameWriters() {
    std::free(header_);
    std::free(pixels_);
}

FrameWriters* FileFrameWriters::lane(std::size_t index) {
    if (index == 0)
        return this;
    if (counts_ != &shared_)
        return nullptr;  // lanes have no lanes of their own
    while (lanes_.size() < index) {
        std::unique_ptr<JpegEncoder> encoder;
        if (encoder_ != nullptr) {
            encoder = encoder_->clone();
            if (!encoder)
                return nullptr;
        }
        lanes_.push_back(std::unique_ptr<FileFrameWriters>(
            new FileFrameWriters(std::move(encoder), ui_, state_, &shared_)));
    }
    return lanes_[index - 1].get();
}

void FileFrameWriters::countFilesInto(FrameFileCounts* counts) {
    counts_->run.store(counts);
}

void FileFrameWriters::countWritten(std::uint64_t bytes) {
    counts_->bytesWritten += bytes;
    ++counts_->filesWritten;
    if (FrameFileCounts* run = counts_->run.load(std::memory_order_relaxed)) {
        run->bytes.fetch_add(bytes, std::memory_order_relaxed);
        run->files.fetch_add(1, std::memory_order_relaxed);
    }
}

void FileFrameWriters::countFailed() {
    ++counts_->failedWrites;
    if (FrameFileCounts* run = counts_->run.load(std::memory_order_relaxed))
        run->failed.fetch_add(1, std::memory_order_relaxed);
}

void FileFrameWriters::fail(std::string_view message) {
    countFailed();
    std::lock_guard lock(counts_->messages);
    ui_.messageBox(state_.viewWindow.load(), message, kCaptionPlumet);
}

bool FileFrameWriters::reserve(unsigned char*& buffer, std::size_t& capacity, std::size_t size) {
    if (size <= capacity && buffer != nullptr)
        return true;
    void* grown = std::realloc(buffer, size == 0 ? 1 : size);
    if (grown == nullptr)
        return false;
    buffer = static_cast<unsigned char*>(grown);
    capacity = size;
    return true;
}

void FileFrameWriters::warmUp(const ScreenImage* image, ImageFormat imageFormat) {
    if (image == nullptr || image->pixels == nullptr)
        return;
    if (imageFormat == ImageFormat::kBmp) {
        const std::uint16_t bits = bmpRoundedBits(image->planes, image->bitsPerPixel);
        const std::uint64_t size = bmpImageSize(image->width, image->height, bits);
        if (reserve(pixels_, pixelCapacity_, static_cast<std::size_t>(size))) {
            std::memset(pixels_, 0, static_cast<std::size_t>(size));
        }
        return;
    }
    if (encoder_ != nullptr) {
        EncodedJpeg encoded;
        (void)encoder_->encode(*image, encoded);
    }
}

void FileFrameWriters::writeBMP(const ScreenImage* image, const char* fileName) {
    if (image == nullptr || image->pixels == nullptr || image->width <= 0 || image->height <= 0) {
        fail(kBmpNoBitmapInfo);
        return;
    }
    const std::uint16_t bits = bmpRoundedBits(image->planes, image->bitsPerPixel);
    const std::size_t paletteEntries = bits < 24 ? (std::size_t{1} << bits) : 0;
    const std::size_t headerBytes = kInfoHeaderBytes + 4 * paletteEntries;
    const std::uint64_t imageSize = bmpImageSize(image->width, image->height, bits);
    if (imageSize > 0xFFFFFFFFu - kFileHeaderBytes - headerBytes ||
        !reserve(header_, headerCapacity_, headerBytes) ||
        !reserve(pixels_, pixelCapacity_, static_cast<std::size_t>(imageSize))) {
        fail(kBmpNoMemory);
        return;
    }

    unsigned char* info = header_;
    std::memset(info, 0, headerBytes);
    put32(info + 0, static_cast<std::uint32_t>(kInfoHeaderBytes));
    put32(info + 4, static_cast<std::uint32_t>(image->width));
    put32(info + 8, static_cast<std::uint32_t>(image->height));
    put16(info + 12, image->planes);
    put16(info + 14, image->bitsPerPixel);
    put32(info + 16, 0);  // uncompressed
    put32(info + 20, static_cast<std::uint32_t>(imageSize));
    put32(info + 32, bits < 24 ? static_cast<std::uint32_t>(paletteEntries) : 0);

    // The pixel read: bottom row first, rows padded to 4 bytes. The grab is 32 bits per pixel,
    // so its rows need no conversion and no padding; the read delivers only as many lines as the
    // height taken as a 16-bit number.
    const std::size_t rowBytes = static_cast<std::size_t>(image->width) * 4;
    const auto lines = static_cast<std::uint16_t>(image->height);
    const std::size_t rowsBytes = rowBytes * lines;
    if (bits != 32 || image->bitsPerPixel != 32 || lines == 0 || rowsBytes > imageSize) {
        fail(kBmpGetDibError);
        return;
    }
    for (std::size_t row = 0; row < lines; ++row) {
        const std::uint8_t* src =
            image->pixels +
            (static_cast<std::size_t>(image->height) - 1 - row) * image->strideBytes;
        std::memcpy(pixels_ + row * rowBytes, src, rowBytes);
    }
    // The area the header announces beyond the rows is not left undefined.
    std::memset(pixels_ + rowsBytes, 0, static_cast<std::size_t>(imageSize) - rowsBytes);

    FrameFile file(fileName, temporary_);
    if (!file.opened()) {
        fail(kBmpCannotCreate);
        return;
    }
    const std::uint32_t colorsUsed = get32(info + 32);
    const std::uint32_t pixelOffset =
        static_cast<std::uint32_t>(kFileHeaderBytes + kInfoHeaderBytes) + 4 * colorsUsed;
    unsigned char fileHeader[kFileHeaderBytes] = {};
    put16(fileHeader + 0, 0x4D42);
    put32(fileHeader + 2, pixelOffset + get32(info + 20));
    put16(fileHeader + 6, 0);
    put16(fileHeader + 8, 0);
    put32(fileHeader + 10, pixelOffset);
    // A file that could not be completed is removed, never left cut off under a frame's name.
    if (!file.write(fileHeader, kFileHeaderBytes) ||
        !file.write(info, kInfoHeaderBytes + 4 * colorsUsed) ||
        !file.write(pixels_, get32(info + 20))) {
        fail(kBmpCannotWrite);
        return;
    }
    if (!file.close()) {
        fail(kBmpCannotClose);
        return;
    }
    if (!file.publish()) {
        fail(kBmpCannotWrite);
        return;
    }
    countWritten(pixelOffset + get32(info + 20));
}

bool FileFrameWriters::encodeJPG(const ScreenImage* image, EncodedJpeg& out) {
    out = EncodedJpeg{};
    return image != nullptr && encoder_ != nullptr && encoder_->encode(*image, out) && out.size > 0;
}

int FileFrameWriters::jpegRestartRows() const {
    return encoder_ != nullptr ? encoder_->restartRows() : 0;
}

void FileFrameWriters::writeEncodedJPG(const std::uint8_t* data, std::size_t size,
                                       const char* fileName) {
    if (data == nullptr || size == 0) {
        countFailed();
        return;
    }
    FrameFile file(fileName, temporary_);
    // A cut-off picture would pass for a frame; a missing one is what the fill tool mends.
    if (!file.opened() || !file.write(data, size) || !file.close() || !file.publish()) {
        countFailed();
        return;
    }
    countWritten(size);
}

}  // namespace marrowdale
