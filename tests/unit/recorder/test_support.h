// Helpers shared by the recorder suites: a temporary folder and a frame writer that records.
#pragma once

#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/fakes/fake_clock.h"
#include "recorder/frame_writers.h"

namespace marrowdale::test {

class TempDir {
  public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "mdl-rec-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// Records every write with the clock's time (peeked, so recording does not move the clock).
class RecordingWriters final : public FrameWriters {
  public:
    struct Write {
        std::string name;
        bool bmp = false;
        bool hadImage = false;
        std::uint32_t firstPixel = 0;  // the fake grabber's grab index
        std::uint64_t time100ns = 0;
    };

    explicit RecordingWriters(FakeClock& clock) : clock_(clock) {}

    void warmUp(const ScreenImage* image, ImageFormat) override {
        ++warmUps;
        warmUpHadImage = image != nullptr;
        warmUpTime = clock_.peek();
        // Anything the warm-up costs happens before the start time.
        clock_.advance(50 * 10000);
    }
    void writeBMP(const ScreenImage* image, const char* fileName) override {
        record(image, fileName, true);
    }
    // The "encoded" bytes are the image's first pixel.
    bool encodeJPG(const ScreenImage* image, EncodedJpeg& out) override {
        if (image == nullptr || image->pixels == nullptr)
            return false;
        for (int i = 0; i < 4; ++i)
            encoded_[static_cast<std::size_t>(i)] = image->pixels[i];
        out.data = encoded_.data();
        out.size = encoded_.size();
        return true;
    }
    void writeEncodedJPG(const std::uint8_t* data, std::size_t size,
                         const char* fileName) override {
        ScreenImage image;
        image.pixels = data;
        record(size == 4 ? &image : nullptr, fileName, false);
    }

    std::vector<Write> writes;
    int warmUps = 0;
    bool warmUpHadImage = false;
    std::uint64_t warmUpTime = 0;
    // Called after each write is recorded.
    std::function<void(const Write&)> onWrite;

  private:
    void record(const ScreenImage* image, const char* fileName, bool bmp) {
        Write w;
        w.name = fileName;
        w.bmp = bmp;
        w.hadImage = image != nullptr;
        if (image != nullptr && image->pixels != nullptr) {
            for (int i = 0; i < 4; ++i)
                w.firstPixel |= std::uint32_t{image->pixels[i]} << (8 * i);
        }
        w.time100ns = clock_.peek();
        writes.push_back(w);
        if (onWrite)
            onWrite(writes.back());
    }
    FakeClock& clock_;
    std::array<std::uint8_t, 4> encoded_{};
};

}  // namespace marrowdale::test
