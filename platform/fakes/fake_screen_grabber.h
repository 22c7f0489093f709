// A screen for tests: every grab writes its index (1, 2, ...) into the first pixel of the
// image and records where and when it was taken. Grab buffers are the default ones: a grab into
// one copies the image over.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/screen_grabber.h"

namespace marrowdale {

class FakeScreenGrabber final : public ScreenGrabber {
  public:
    struct Grab {
        std::int32_t left = 0;
        std::int32_t top = 0;
        std::uint64_t time100ns = 0;  // the clock's time when the grab started (0 without clock)
    };

    // `timeSource` gives the time recorded with each grab; without one the time is 0.
    explicit FakeScreenGrabber(std::function<std::uint64_t()> timeSource = {})
        : timeSource_(std::move(timeSource)) {}

    bool open(std::int32_t width, std::int32_t height) override {
        ++opens_;
        openedWidth_ = width;
        openedHeight_ = height;
        if (failOpen || width <= 0 || height <= 0)
            return false;
        pixels_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0);
        image_.pixels = pixels_.data();
        image_.width = width;
        image_.height = height;
        image_.strideBytes = static_cast<std::size_t>(width) * 4;
        image_.planes = 1;
        image_.bitsPerPixel = 32;
        open_ = true;
        return true;
    }

    bool grab(std::int32_t left, std::int32_t top) override {
        Grab g{left, top, timeSource_ ? timeSource_() : 0};
        grabs_.push_back(g);
        if (onGrab)
            onGrab(grabs_.size());
        if (!open_)
            return false;
        const auto index = static_cast<std::uint32_t>(grabs_.size());
        for (std::size_t i = 0; i < 4 && i < pixels_.size() && stampIndex; ++i) {
            pixels_[i] = static_cast<std::uint8_t>(index >> (8 * i));
        }
        return !failGrab;
    }

    std::unique_ptr<GrabBuffer> makeBuffer() override {
        if (failBuffers)
            return nullptr;
        return ScreenGrabber::makeBuffer();
    }

    const ScreenImage* image() const override { return open_ ? &image_ : nullptr; }
    bool connectionLost() const override { return lost.load(); }

    ScreenChange changeSinceLastGrab(std::int32_t left, std::int32_t top) override {
        ++changeQuestions_;
        return change ? change(left, top) : ScreenChange::kUnknown;
    }
    bool drawnRows(std::int32_t& first, std::int32_t& end) const override {
        if (drawnFirst >= drawnEnd)
            return false;
        first = drawnFirst;
        end = drawnEnd;
        return true;
    }

    void close() override {
        if (open_)
            ++closes_;
        open_ = false;
        pixels_.clear();
        image_ = ScreenImage{};
    }

    const std::vector<Grab>& grabs() const { return grabs_; }
    int opens() const { return opens_; }
    int closes() const { return closes_; }
    bool isOpen() const { return open_; }
    std::int32_t openedWidth() const { return openedWidth_; }
    std::int32_t openedHeight() const { return openedHeight_; }

    // Fill the image by hand (tests of the writers).
    std::vector<std::uint8_t>& pixels() { return pixels_; }

    bool failOpen = false;
    bool failGrab = false;
    bool failBuffers = false;
    // What connectionLost() tells (any thread).
    std::atomic<bool> lost{false};
    // Whether a grab writes its index into the first pixel (tests that paint the picture
    // themselves in onGrab turn it off).
    bool stampIndex = true;
    // Called after each grab is recorded, with the count of grabs so far.
    std::function<void(std::size_t)> onGrab;
    // The answer of changeSinceLastGrab(); without one the fake cannot tell.
    std::function<ScreenChange(std::int32_t, std::int32_t)> change;
    int changeQuestions() const { return changeQuestions_; }
    // What drawnRows() tells: nothing while first >= end.
    std::int32_t drawnFirst = 0;
    std::int32_t drawnEnd = 0;

  private:
    std::function<std::uint64_t()> timeSource_;
    std::vector<std::uint8_t> pixels_;
    ScreenImage image_;
    std::vector<Grab> grabs_;
    bool open_ = false;
    int opens_ = 0;
    int closes_ = 0;
    int changeQuestions_ = 0;
    std::int32_t openedWidth_ = 0;
    std::int32_t openedHeight_ = 0;
};

}  // namespace marrowdale
