// Copying a rectangle of the screen into one image that lives for a whole recording.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace marrowdale {

// The grab of a run as the frame writers receive it: rows top row first, every pixel four bytes
// in blue, green, red, unused order (32 bits per pixel, one plane).
struct ScreenImage {
    const std::uint8_t* pixels = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::size_t strideBytes = 0;
    std::uint16_t planes = 1;
    std::uint16_t bitsPerPixel = 32;
};

// What a grab would find changed since the grab before it.
enum class ScreenChange {
    kUnknown,  // cannot be told: grab, and compare if it matters
    kNone,     // nothing was drawn there: a grab would copy the same pixels
    kSome,     // something was drawn there (perhaps the same pixels again)
};

// A picture of the size given to ScreenGrabber::open() that grabInto() fills, beside the
// grabber's own image(). A capture worker keeps a few of them, so that the frames already taken
// can be encoded on other threads while the next one is grabbed. Made by makeBuffer() of one
// grabber and filled only by that grabber. Its pixels stay at one address for the buffer's life;
// any thread may read them while no grab into the buffer is under way.
class GrabBuffer {
  public:
    virtual ~GrabBuffer() = default;
    GrabBuffer(const GrabBuffer&) = delete;
    GrabBuffer& operator=(const GrabBuffer&) = delete;

    const ScreenImage& image() const { return image_; }
    // For the grabber that made the buffer.
    std::uint8_t* pixels() { return pixels_; }

  protected:
    GrabBuffer() = default;
    // Sets the memory and the shape: `pixels` holds `height` rows of `strideBytes`.
    void setImage(std::uint8_t* pixels, std::int32_t width, std::int32_t height,
                  std::size_t strideBytes);

  private:
    ScreenImage image_;
    std::uint8_t* pixels_ = nullptr;
};

// One grabber serves one capture worker; all calls come from that worker's thread.
class ScreenGrabber {
  public:
    virtual ~ScreenGrabber() = default;

    // Creates the image of the run, `width` x `height` pixels, and touches its memory so that
    // the first real grab costs no more than the others. False when it cannot be made (no
    // positive size, no display, no memory); image() then stays null.
    virtual bool open(std::int32_t width, std::int32_t height) = 0;

    // Copies the rectangle whose top-left corner is (left, top), of the size given to open(),
    // into the image. The part of the rectangle outside the screen becomes black, the screen
    // as it is now (a screen that changed its size during the recording included). False when
    // there is no image or the copy failed: the image then holds no new picture.
    virtual bool grab(std::int32_t left, std::int32_t top) = 0;

    // Why the last open() failed, in words for the user ("the display's pixels ... cannot be
    // recorded"); empty when it did not fail or the grabber cannot tell.
    virtual std::string openError() const { return {}; }

    // The image, or null when open() has not succeeded.
    virtual const ScreenImage* image() const = 0;

    // Releases the image and everything open() acquired. Safe to call more than once.
    virtual void close() = 0;

    // Any thread. True once the connection to the screen has broken (the display server went
    // away): every grab fails from then on, and the program goes on.
    virtual bool connectionLost() const { return false; }

    // Grab buffers. A grabber that can copy the screen straight into memory of its own making
    // (shared memory the display server writes into, say) overrides both of these; the defaults
    // keep the pixels in ordinary memory and copy them over from image() after grab().
    //
    // A new buffer of the size open() was given, its memory already touched. Null when open()
    // has not succeeded or the memory cannot be had. Buffers are released before close().
    virtual std::unique_ptr<GrabBuffer> makeBuffer();
    // Does what grab() does, into `target` (made by this grabber's makeBuffer()) instead of
    // image(). False when the copy failed; `target` then holds no reliable picture.
    virtual bool grabInto(std::int32_t left, std::int32_t top, GrabBuffer& target);
    // True when grabInto() leaves image() untouched, so that image() can serve as one more
    // buffer beside those of makeBuffer(). The default grabs through image(), hence false.
    virtual bool grabIntoLeavesImage() const { return false; }

    // Whether anything was drawn inside the rectangle at (left, top), of the open() size,
    // since the last grab (into image() or a buffer), when that grab succeeded at the same
    // corner. Each call starts the watch afresh: after kSome or kUnknown, grab before asking
    // again. The default cannot tell.
    virtual ScreenChange changeSinceLastGrab(std::int32_t /*left*/, std::int32_t /*top*/) {
        return ScreenChange::kUnknown;
    }
    // After changeSinceLastGrab() answered kSome: the rows of the rectangle (its top row is 0)
    // between which everything reported was drawn, [first, end). False when the grabber cannot
    // tell. Drawing that comes between that answer and the grab is in the next answer.
    virtual bool drawnRows(std::int32_t& /*first*/, std::int32_t& /*end*/) const { return false; }
};

}  // namespace marrowdale
