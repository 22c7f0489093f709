// A source of whole-screen pictures that keeps the newest one it received (a screen-cast
// stream), and the grabber that copies the capture rectangle out of it at each slot.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/picture_copy.h"
#include "platform/screen_grabber.h"

namespace marrowdale {

class PictureSource {
  public:
    virtual ~PictureSource() = default;

    // Any thread. Copies the rectangle at the desktop point (left, top) of the target's size out
    // of the newest picture, black where it leaves the picture (copyPictureRect), and sets
    // `sequence` to that picture's number (see newestSequence()). False, with the target and
    // `sequence` untouched, while no picture has arrived yet or once the source is lost.
    virtual bool copyNewest(std::int32_t left, std::int32_t top, const PictureTarget& target,
                            std::uint64_t& sequence) = 0;

    // Any thread. The number of the newest picture: it grows by at least one with every picture
    // that arrives and stays put while none does (a still screen that the compositor does not
    // send again). 0 before the first.
    virtual std::uint64_t newestSequence() const = 0;

    // Any thread. True once the stream has ended for good (the compositor or the cast went
    // away); no picture comes any more.
    virtual bool lost() const = 0;
};

// A grabber over `source`: open() makes the image (black), every grab copies the rectangle out
// of the newest picture, into the image or straight into a grab buffer. A grab fails while the
// source has no picture yet or is lost; the image then keeps what the previous grab left.
// connectionLost() is the source's lost(). When no picture has arrived since the last good grab
// at the same corner, changeSinceLastGrab() says that nothing changed.
std::unique_ptr<ScreenGrabber> createPictureSourceGrabber(std::shared_ptr<PictureSource> source);

}  // namespace marrowdale
