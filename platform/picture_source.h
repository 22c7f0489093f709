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
    // of the newest picture, black where it leaves the picture (copyPictureRect). False, with
    // the target untouched, while no picture has arrived yet or once the source is lost.
    virtual bool copyNewest(std::int32_t left, std::int32_t top, const PictureTarget& target) = 0;

    // Any thread. True once the stream has ended for good (the compositor or the cast went
    // away); no picture comes any more.
    virtual bool lost() const = 0;
};

// A grabber over `source`: open() makes the image (black), every grab copies the rectangle out
// of the newest picture. A grab fails while the source has no picture yet or is lost; the
// image then keeps what the previous grab left. connectionLost() is the source's lost().
std::unique_ptr<ScreenGrabber> createPictureSourceGrabber(std::shared_ptr<PictureSource> source);

}  // namespace marrowdale
