// The video stream of a screen cast, read with libpipewire on a thread of its own. The newest
// picture is kept (one buffer held back from the producer) and copied out on demand, so a slot
// costs one copy of the capture rectangle, however fast the compositor delivers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/picture_source.h"

namespace marrowdale {

class PipeWirePictureSource;

// Where the stream is: a PipeWire remote (a connected socket, as the screen-cast portal hands it
// out) and the node of the cast on it. `originX`, `originY` place the picture on the desktop.
struct PipeWireStreamTarget {
    int remoteFd = -1;  // taken over by openPipeWirePictureSource(), closed on every path
    std::uint32_t node = 0;
    std::int32_t originX = 0;
    std::int32_t originY = 0;
};

// Connects to the stream. Null, with the reason in `error`, when PipeWire refuses.
std::shared_ptr<PipeWirePictureSource> openPipeWirePictureSource(const PipeWireStreamTarget& target,
                                                                 std::string& error);

class PipeWirePictureSource : public PictureSource {
  public:
    // Waits up to `timeoutMs` for the first picture. False on timeout or when the stream ended.
    virtual bool waitForPicture(int timeoutMs) = 0;
    // Why the stream ended (empty while it has not).
    virtual std::string lostReason() const = 0;
    // Pictures received so far.
    virtual std::uint64_t picturesReceived() const = 0;
};

}  // namespace marrowdale
