// The frames of one capture run on their way from the screen to their files.
//
// The capture loop grabs each frame into a buffer of a small ring and hands it over; encoder
// threads beside the loop, one per core (at most four), encode and write the frames in whatever
// order they finish, every frame exactly once. When every buffer is in use the loop waits for one,
// so that its slot becomes late and the capture mode treats it as any late slot. finish() returns
// once every frame handed over is on disk (or has failed the way its writer reports failures).
//
// A picture that has not changed is not encoded again: when a grab is byte for byte the grab
// before it, its file gets the JPEG bytes of the frame before, which are the bytes an encode of
// it would give. Where the grabber can tell that nothing was drawn since the last grab, the
// screen is not even copied. A picture that changed in some bands of rows only (a window, a
// cursor, a line of text) is encoded only there when the encoder restarts its data band by band
// (JpegEncoder::restartRows()): the other bands' bytes come from the frame before, and the
// result is again what an encode of the whole picture gives. A band stops being compared at its
// first differing row, so a picture that changed everywhere costs next to no comparison.
// A grab that failed is written as the picture before it, as a grabber that keeps one image
// would have left it.
//
// The encoder threads run kEncoderNiceSteps nice steps below the thread that starts them: when
// they fill both cores, the capture loop, waking for its slot, and the sound thread still take a
// core at once instead of after an encoder's time slice (a millisecond or two of lateness at
// 3840x2160). Encoding then yields to them, and a frame waits in the ring a little longer.
//
// Memory, bounded: the ring is made at start(), the JPEG bytes grow to the largest frame of the
// run and stay, and nothing is allocated per frame. With F = width x height x 4 bytes,
// T threads and J the largest JPEG of the run:
// - the ring: T + 1 buffers of F (2 without threads); where grabs into buffers leave the
//   grabber's own image alone (X11) that image is one of them, otherwise it comes on top;
// - each buffer keeps the JPEG bytes of its last frame (at most J, or, if larger, the room for
//   1.25 times the first picture's that the set-up gives it), each thread's encoder an
//   output buffer of at most J (or F / 8, its first size, if larger) and each thread the changed
//   bands of its frame (at most J); for BMP, each thread has a pixel area of F.
// That is (T + 1) x F + (3T + 1) x J for JPEG on X11. On two cores: 3 x 8.3 MB + 7 x J at
// 1920x1080 and 3 x 33.2 MB + 7 x J at 3840x2160, J being about 0.5 and 1.9 MB for the
// benchmark's busy picture at quality 85 (28 and 113 MB). J cannot pass 0.75 x F at 4:2:0, so
// even at its worst the bound stays under 9 x F.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/screen_grabber.h"
#include "recorder/frame_names.h"
#include "recorder/frame_writers.h"

namespace marrowdale {

// The capture worker's thread makes, drives and finishes a pool; the threads it starts are its
// own and end in finish().
class EncoderPool {
  public:
    struct Counts {
        std::uint64_t reused = 0;        // frames written with the bytes of the frame before
        std::uint64_t partlyReused = 0;  // frames encoded only where they differ from it
        std::uint64_t ringWaits = 0;     // times the loop waited for a free buffer
    };

    // Up to `threads` encoder threads, as many as `writers` has lanes for. With none (0, or
    // writers without lanes) every frame is written on the loop's thread within queue().
    // `ringBuffers` 0 takes the default size; the grabber and the writers outlive the pool.
    EncoderPool(ScreenGrabber& grabber, FrameWriters& writers, std::size_t threads,
                std::size_t ringBuffers = 0);
    ~EncoderPool();
    EncoderPool(const EncoderPool&) = delete;
    EncoderPool& operator=(const EncoderPool&) = delete;

    // Set-up, after the grabber has been opened: warms every lane up for `imageFormat` with
    // the grabber's image, makes the ring and starts the threads. When fewer than two buffers
    // can be made, frames are grabbed into the grabber's own image and written one at a time on
    // the loop's thread.
    void start(ImageFormat imageFormat);

    // Set-up, after start(): grabs the rectangle at (left, top) into every buffer once, so that
    // no first copy into a buffer falls into a slot, and encodes the last grab, without writing
    // it, as the picture before the first frame, so that the first frame too is encoded only
    // where it differs. Does nothing where frames are not put together band by band; keeps no
    // picture when the grab or the encode fails.
    void prime(std::int32_t left, std::int32_t top);

    // Grabs the rectangle at (left, top) into a free buffer; the grab's result.
    bool grab(std::int32_t left, std::int32_t top);
    // Hands the frame of the last grab() over, to be written as `name` in `imageFormat`. Then
    // reserves the buffer for the next grab, waiting while every one is in use.
    void queue(const FrameName& name, ImageFormat imageFormat);

    // Waits until every frame handed over has been written, ends the threads and releases the
    // ring (before the grabber is closed). Safe to call more than once.
    void finish();

    // The threads start() started (0: frames are written within queue()).
    std::size_t threadCount() const { return threadCount_; }
    std::size_t ringSize() const { return slots_.size(); }
    // After finish(), or from the loop's thread.
    Counts counts() const;

  private:
    struct Slot {
        std::unique_ptr<GrabBuffer> buffer;  // null: the grabber's own image
        int holders = 0;                     // the loop, the frame's job, the next frame's job
        FrameName name;
        ImageFormat format = ImageFormat::kJpeg;
        int previous = -1;  // the slot of the picture grabbed before, or -1
        // The frame is the picture before: its grab failed, or the screen said nothing changed.
        bool showsPrevious = false;
        bool knownChanged = false;  // the screen said something was drawn
        // ... and between which rows: the other bands are not compared but taken as they are.
        std::int32_t drawnFirst = 0;
        std::int32_t drawnEnd = 0;
        // Bands are taken from the picture before on the screen's word alone: drawing that came
        // between that word and the grab is in these pixels but not yet in these bytes (the
        // next word reports it), so they must not be compared with. Set by the loop.
        bool bytesMayLag = false;
        bool bytesDone = false;             // `jpeg` is final for the frame
        std::vector<std::uint8_t> jpeg;     // this picture's JPEG bytes; empty when there are none
        std::vector<std::size_t> bandEnds;  // their layout by bands; empty until needed
    };
    // What one thread needs to put a frame together from bands; it keeps its memory.
    struct Scratch {
        std::vector<std::uint8_t> changed;   // per band: differs from the picture before
        std::vector<std::uint8_t> fresh;     // the changed bands' bytes, as in the frame
        std::vector<std::size_t> freshEnds;  // per changed band: where its bytes end in fresh
        std::vector<std::size_t> runEnds;    // the layout of one run of bands' encode
    };

    const ScreenImage* imageOf(const Slot& slot) const;
    int takeFreeSlot();  // loop's thread
    void releaseLocked(int slot);
    void writeFrame(int slot, FrameWriters& lane, Scratch& scratch);
    // Encodes the bands `scratch.changed` marks and puts the frame together with the others
    // from `before`, once its bytes are done. False when that cannot be done (an encode failed,
    // the frame before has no bands): the frame is then encoded whole.
    bool encodeChangedBands(Slot& slot, Slot& before, FrameWriters& lane, Scratch& scratch,
                            std::size_t bands, int bandRows);
    void threadMain(FrameWriters* lane);

    ScreenGrabber& grabber_;
    FrameWriters& writers_;
    const std::size_t wantedThreads_;
    const std::size_t wantedRing_;
    bool started_ = false;
    bool finished_ = false;
    std::size_t threadCount_ = 0;

    std::vector<Slot> slots_;
    int current_ = -1;  // the slot the loop grabs into next
    int latest_ = -1;   // the slot of the last picture grabbed, kept for the next comparison
    bool lastGrabOk_ = false;
    bool notGrabbed_ = false;      // the last grab() found the screen unchanged and copied nothing
    bool knownChanged_ = false;    // the last grab() was told something was drawn
    std::int32_t drawnFirst_ = 0;  // ... between these rows, when first < end
    std::int32_t drawnEnd_ = 0;
    int restartRows_ = 0;                   // the writers' rows between restart markers, 0: none
    std::vector<std::uint8_t> drawnBands_;  // the loop's marks of drawn bands
    bool ring_ = false;  // at least two slots: frames are compared with the one before

    mutable std::mutex mutex_;
    std::condition_variable slotFreed_;
    std::condition_variable jobQueued_;
    std::condition_variable bytesDone_;
    std::vector<int> jobs_;  // a ring of slot numbers, first in first out
    std::size_t jobHead_ = 0;
    std::size_t jobCount_ = 0;
    bool stopping_ = false;
    Counts counts_;
    std::vector<std::thread> threads_;
    Scratch loopScratch_;  // frames written within queue()
};

// How much lower the encoder threads run than the capture loop, in nice steps.
inline constexpr int kEncoderNiceSteps = 10;

// Four threads encode 3840x2160 frames of fine detail at more than a hundred a second; more
// would only hold more buffers.
inline constexpr std::size_t kMostEncoderThreads = 4;

// The number of encoder threads for this machine: one per core, at most kMostEncoderThreads.
std::size_t encoderThreadsForThisMachine();

}  // namespace marrowdale
