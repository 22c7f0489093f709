#include "recorder/encoder_pool.h"

#include "platform/thread_priority.h"
#include "recorder/jpeg_bands.h"

#include <algorithm>
#include <cstring>

namespace marrowdale {

namespace {

bool samePixels(const ScreenImage* first, const ScreenImage* second) {
    if (first == nullptr || second == nullptr)
        return false;
    const ScreenImage& a = *first;
    const ScreenImage& b = *second;
    if (a.pixels == nullptr || b.pixels == nullptr || a.width != b.width || a.height != b.height)
        return false;
    const std::size_t rowBytes = static_cast<std::size_t>(a.width) * 4;
    if (a.strideBytes == rowBytes && b.strideBytes == rowBytes)
        return std::memcmp(a.pixels, b.pixels, rowBytes * static_cast<std::size_t>(a.height)) == 0;
    for (std::int32_t y = 0; y < a.height; ++y) {
        if (std::memcmp(a.pixels + static_cast<std::size_t>(y) * a.strideBytes,
                        b.pixels + static_cast<std::size_t>(y) * b.strideBytes, rowBytes) != 0)
            return false;
    }
    return true;
}

}  // namespace

std::size_t encoderThreadsForThisMachine() {
    const unsigned cores = std::thread::hardware_concurrency();
    return std::clamp<std::size_t>(cores, 1, kMostEncoderThreads);
}

EncoderPool::EncoderPool(ScreenGrabber& grabber, FrameWriters& writers, std::size_t threads,
                         std::size_t ringBuffers)
    : grabber_(grabber), writers_(writers), wantedThreads_(threads), wantedRing_(ringBuffers) {}

EncoderPool::~EncoderPool() {
    finish();
}

void EncoderPool::start(ImageFormat imageFormat) {
    if (started_)
        return;
    started_ = true;

    std::vector<FrameWriters*> lanes;
    for (std::size_t i = 0; i < wantedThreads_; ++i) {
        FrameWriters* lane = writers_.lane(i);
        if (lane == nullptr)
            break;
        lanes.push_back(lane);
    }
    if (lanes.empty()) {
        writers_.warmUp(grabber_.image(), imageFormat);
    } else {
        for (FrameWriters* lane : lanes)
            lane->warmUp(grabber_.image(), imageFormat);
    }

    // Enough buffers for every thread to encode one frame while the loop grabs the next. The
    // grabber's own image is one of them when grabs into the others leave it alone.
    const std::size_t ring =
        std::max<std::size_t>(wantedRing_ != 0 ? wantedRing_ : lanes.size() + 1, 2);
    const bool ownImage = grabber_.image() != nullptr && grabber_.grabIntoLeavesImage();
    if (grabber_.image() != nullptr) {
        slots_.resize(ownImage ? 1 : 0);
        while (slots_.size() < ring) {
            std::unique_ptr<GrabBuffer> buffer = grabber_.makeBuffer();
            if (!buffer)
                break;
            slots_.emplace_back();
            slots_.back().buffer = std::move(buffer);
        }
    }
    if (slots_.size() < 2) {
        // One image, the grabber's: each frame is written before the next grab overwrites it.
        slots_.clear();
        slots_.resize(1);
        lanes.clear();
    }
    ring_ = slots_.size() >= 2;
    restartRows_ = imageFormat == ImageFormat::kJpeg ? writers_.jpegRestartRows() : 0;
    jobs_.assign(slots_.size(), -1);
    for (FrameWriters* lane : lanes)
        threads_.emplace_back([this, lane] { threadMain(lane); });
    threadCount_ = threads_.size();
    current_ = takeFreeSlot();
}

const ScreenImage* EncoderPool::imageOf(const Slot& slot) const {
    return slot.buffer ? &slot.buffer->image() : grabber_.image();
}

int EncoderPool::takeFreeSlot() {
    std::unique_lock lock(mutex_);
    auto findFree = [this] {
        for (std::size_t i = 0; i < slots_.size(); ++i)
            if (slots_[i].holders == 0)
                return static_cast<int>(i);
        return -1;
    };
    int slot = findFree();
    if (slot < 0) {
        ++counts_.ringWaits;
        slotFreed_.wait(lock, [&] { return (slot = findFree()) >= 0; });
    }
    slots_[static_cast<std::size_t>(slot)].holders = 1;
    return slot;
}

void EncoderPool::releaseLocked(int slot) {
    if (--slots_[static_cast<std::size_t>(slot)].holders == 0)
        slotFreed_.notify_one();
}

void EncoderPool::prime(std::int32_t left, std::int32_t top) {
    if (!started_ || finished_ || !ring_ || restartRows_ <= 0 || current_ < 0 || latest_ >= 0)
        return;
    // The display server's first copy into a buffer also maps its memory on the server's side,
    // which takes a large share of a period at 4K: done here for every buffer, not in the
    // first slots. The buffer grabbed last is the one kept.
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        if (static_cast<int>(i) == current_)
            continue;
        Slot& other = slots_[i];
        (void)(other.buffer ? grabber_.grabInto(left, top, *other.buffer)
                            : grabber_.grab(left, top));
    }
    // The screen's first report covers everything since it began to watch (the whole screen,
    // on X11): asked here, so that the first frame's report starts at the grab kept.
    (void)grabber_.changeSinceLastGrab(left, top);
    Slot& slot = slots_[static_cast<std::size_t>(current_)];
    const bool grabbed =
        slot.buffer ? grabber_.grabInto(left, top, *slot.buffer) : grabber_.grab(left, top);
    const ScreenImage* image = imageOf(slot);
    EncodedJpeg encoded;
    // No job is queued yet, so lane 0 is free for this encode.
    if (!grabbed || image == nullptr || !writers_.encodeJPG(image, encoded))
        return;
    slot.jpeg.assign(encoded.data, encoded.data + encoded.size);
    if (!findBandEnds(slot.jpeg.data(), slot.jpeg.size(), bandCount(image->height, restartRows_),
                      slot.bandEnds)) {
        slot.jpeg.clear();
        return;
    }
    // Every buffer's bytes are touched once now, with room for a frame a quarter larger than
    // this one: the first frames then fault no pages in and move no bytes to grow.
    const std::size_t room = slot.jpeg.size() + slot.jpeg.size() / 4;
    for (Slot& other : slots_) {
        if (&other == &slot) {
            other.jpeg.reserve(room);
        } else {
            other.jpeg.assign(room, 0);
            other.jpeg.clear();
        }
        other.bandEnds.reserve(slot.bandEnds.size());
    }
    slot.format = ImageFormat::kJpeg;
    slot.previous = -1;
    slot.showsPrevious = false;
    slot.knownChanged = false;
    slot.bytesMayLag = false;
    {
        std::lock_guard lock(mutex_);
        slot.bytesDone = true;
        // The loop's hold on the slot now keeps it as the picture before the next grab.
        latest_ = current_;
    }
    current_ = takeFreeSlot();
}

bool EncoderPool::grab(std::int32_t left, std::int32_t top) {
    if (!started_ || finished_ || current_ < 0) {
        lastGrabOk_ = false;
        return false;
    }
    Slot& slot = slots_[static_cast<std::size_t>(current_)];
    notGrabbed_ = false;
    knownChanged_ = false;
    drawnFirst_ = 0;
    drawnEnd_ = 0;
    if (ring_ && latest_ >= 0) {
        // The screen may say that the picture before is still what is there.
        const ScreenChange change = grabber_.changeSinceLastGrab(left, top);
        if (change == ScreenChange::kNone) {
            notGrabbed_ = true;
            lastGrabOk_ = true;
            return true;
        }
        knownChanged_ = change == ScreenChange::kSome;
        if (knownChanged_ && !grabber_.drawnRows(drawnFirst_, drawnEnd_)) {
            drawnFirst_ = 0;
            drawnEnd_ = 0;
        }
    }
    lastGrabOk_ =
        slot.buffer ? grabber_.grabInto(left, top, *slot.buffer) : grabber_.grab(left, top);
    return lastGrabOk_;
}

void EncoderPool::queue(const FrameName& name, ImageFormat imageFormat) {
    if (!started_ || finished_ || current_ < 0)
        return;
    const int index = current_;
    Slot& slot = slots_[static_cast<std::size_t>(index)];
    slot.name = name;
    slot.format = imageFormat;
    slot.bytesDone = false;
    slot.jpeg.clear();
    // With the grabber's image alone there is no earlier picture left to compare with.
    const bool ring = ring_;
    slot.previous = ring ? latest_ : -1;
    slot.showsPrevious = (!lastGrabOk_ || notGrabbed_) && slot.previous >= 0;
    slot.knownChanged = knownChanged_;
    slot.drawnFirst = drawnFirst_;
    slot.drawnEnd = drawnEnd_;
    // Set here, before the frame's job exists, for the job of the frame after it to read.
    slot.bytesMayLag = false;
    if (restartRows_ > 0 && knownChanged_ && drawnFirst_ < drawnEnd_) {
        const ScreenImage* image = imageOf(slot);
        const std::size_t bands = image != nullptr ? bandCount(image->height, restartRows_) : 0;
        slot.bytesMayLag =
            markDrawnBands(bands, restartRows_, drawnFirst_, drawnEnd_, drawnBands_) < bands;
    }
    const bool newPicture = ring && lastGrabOk_ && !notGrabbed_;
    {
        std::lock_guard lock(mutex_);
        // The loop's hold on the slot passes to the frame's job.
        if (slot.previous >= 0)
            ++slots_[static_cast<std::size_t>(slot.previous)].holders;
        if (newPicture) {
            ++slot.holders;  // the loop keeps the new picture for the next comparison
            if (latest_ >= 0)
                releaseLocked(latest_);
            latest_ = index;
        }
        if (!threads_.empty()) {
            jobs_[(jobHead_ + jobCount_) % jobs_.size()] = index;
            ++jobCount_;
        }
    }
    current_ = -1;
    if (threads_.empty()) {
        writeFrame(index, writers_, loopScratch_);
    } else {
        jobQueued_.notify_one();
    }
    current_ = takeFreeSlot();
}

bool EncoderPool::encodeChangedBands(Slot& slot, Slot& before, FrameWriters& lane, Scratch& scratch,
                                     std::size_t bands, int bandRows) {
    const ScreenImage& image = *imageOf(slot);
    const std::size_t rows = static_cast<std::size_t>(bandRows);
    const std::size_t height = static_cast<std::size_t>(image.height);
    // The changed bands first, run by run, while the frame before may still be encoding.
    scratch.fresh.clear();
    scratch.freshEnds.assign(bands, 0);
    for (std::size_t band = 0; band < bands;) {
        if (scratch.changed[band] == 0) {
            ++band;
            continue;
        }
        std::size_t end = band;
        while (end < bands && scratch.changed[end] != 0)
            ++end;
        ScreenImage part = image;
        part.pixels = image.pixels + band * rows * image.strideBytes;
        part.height = static_cast<std::int32_t>(std::min(end * rows, height) - band * rows);
        EncodedJpeg encoded;
        if (!lane.encodeJPG(&part, encoded) ||
            !findBandEnds(encoded.data, encoded.size, end - band, scratch.runEnds))
            return false;
        for (std::size_t i = band; i < end; ++i) {
            const std::size_t from = scratch.runEnds[i - band];
            appendBandAs(encoded.data + from, scratch.runEnds[i - band + 1] - from, i, bands,
                         scratch.fresh);
            scratch.freshEnds[i] = scratch.fresh.size();
        }
        band = end;
    }
    {
        std::unique_lock lock(mutex_);
        bytesDone_.wait(lock, [&before] { return before.bytesDone; });
    }
    // Only this frame, the one new picture after it, reads or sets the layout of the frame
    // before once its bytes are done.
    if (before.bandEnds.empty() && !before.jpeg.empty())
        findBandEnds(before.jpeg.data(), before.jpeg.size(), bands, before.bandEnds);
    if (before.jpeg.empty() || before.bandEnds.size() != bands + 1)
        return false;

    // The headers and unchanged bands of the frame before, the changed bands of this one.
    const std::vector<std::size_t>& ends = before.bandEnds;
    slot.jpeg.assign(before.jpeg.begin(),
                     before.jpeg.begin() + static_cast<std::ptrdiff_t>(ends[0]));
    slot.bandEnds.assign(1, ends[0]);
    std::size_t freshFrom = 0;
    for (std::size_t band = 0; band < bands; ++band) {
        if (scratch.changed[band] != 0) {
            const auto first = scratch.fresh.begin() + static_cast<std::ptrdiff_t>(freshFrom);
            const auto last =
                scratch.fresh.begin() + static_cast<std::ptrdiff_t>(scratch.freshEnds[band]);
            slot.jpeg.insert(slot.jpeg.end(), first, last);
            freshFrom = scratch.freshEnds[band];
        } else {
            slot.jpeg.insert(slot.jpeg.end(),
                             before.jpeg.begin() + static_cast<std::ptrdiff_t>(ends[band]),
                             before.jpeg.begin() + static_cast<std::ptrdiff_t>(ends[band + 1]));
        }
        slot.bandEnds.push_back(slot.jpeg.size());
    }
    return true;
}

void EncoderPool::writeFrame(int index, FrameWriters& lane, Scratch& scratch) {
    Slot& slot = slots_[static_cast<std::size_t>(index)];
    int previous = slot.previous;
    Slot* before = previous >= 0 ? &slots_[static_cast<std::size_t>(previous)] : nullptr;
    // The picture before is given back as soon as this frame no longer needs it.
    auto letGoOfBefore = [&] {
        if (previous < 0)
            return;
        {
            std::lock_guard lock(mutex_);
            releaseLocked(previous);
        }
        previous = -1;
    };

    bool reused = false;
    bool partlyReused = false;
    const std::vector<std::uint8_t>* bytes = &slot.jpeg;
    if (slot.format == ImageFormat::kBmp) {
        const Slot& source = slot.showsPrevious ? *before : slot;
        lane.writeBMP(imageOf(source), slot.name.c_str());
        letGoOfBefore();
    } else {
        // Which bands of rows differ from the picture before. An encoder without restart
        // markers can only reuse whole pictures, and then the screen's word that something was
        // drawn spares the comparison.
        const int bandRows = lane.jpegRestartRows();
        const ScreenImage* image = imageOf(slot);
        std::size_t bands = 0;
        std::size_t changedBands = 0;
        bool same = false;
        if (before != nullptr && !slot.showsPrevious && image != nullptr) {
            const ScreenImage* earlier = imageOf(*before);
            if (bandRows > 0 && slot.knownChanged && slot.drawnFirst < slot.drawnEnd) {
                // The screen said where it was drawn on: only those bands are encoded.
                bands = bandCount(image->height, bandRows);
                changedBands = markDrawnBands(bands, bandRows, slot.drawnFirst, slot.drawnEnd,
                                              scratch.changed);
            } else if (before->bytesMayLag) {
                // Its pixels may be ahead of its bytes: encoded whole, nothing compared.
            } else if (bandRows > 0 && earlier != nullptr) {
                bands = bandCount(image->height, bandRows);
                changedBands = markChangedBands(*image, *earlier, bandRows, scratch.changed);
                same = changedBands == 0;
            } else if (!slot.knownChanged) {
                same = samePixels(image, earlier);
            }
        }
        if (before != nullptr && (slot.showsPrevious || same)) {
            std::unique_lock lock(mutex_);
            bytesDone_.wait(lock, [before] { return before->bytesDone; });
            reused = !before->jpeg.empty();
        }
        if (reused && slot.showsPrevious) {
            // Not a picture of its own: nothing compares with it later, so its bytes are
            // written straight from the picture before, which is let go of after the write.
            bytes = &before->jpeg;
        } else if (reused) {
            slot.jpeg.assign(before->jpeg.begin(), before->jpeg.end());
            slot.bandEnds.assign(before->bandEnds.begin(), before->bandEnds.end());
            letGoOfBefore();
        } else if (bands > 0 && changedBands < bands &&
                   encodeChangedBands(slot, *before, lane, scratch, bands, bandRows)) {
            partlyReused = true;
            letGoOfBefore();
        } else {
            const Slot& source = slot.showsPrevious ? *before : slot;
            if (!slot.showsPrevious)
                letGoOfBefore();
            EncodedJpeg encoded;
            slot.bandEnds.clear();
            // The layout by bands is found when the next frame needs it: a screen that changes
            // everywhere never does.
            if (lane.encodeJPG(imageOf(source), encoded))
                slot.jpeg.assign(encoded.data, encoded.data + encoded.size);
            letGoOfBefore();
        }
    }
    {
        std::lock_guard lock(mutex_);
        slot.bytesDone = true;
        if (reused)
            ++counts_.reused;
        if (partlyReused)
            ++counts_.partlyReused;
    }
    bytesDone_.notify_all();
    if (slot.format != ImageFormat::kBmp)
        lane.writeEncodedJPG(bytes->data(), bytes->size(), slot.name.c_str());
    letGoOfBefore();

    std::lock_guard lock(mutex_);
    releaseLocked(index);
}

void EncoderPool::threadMain(FrameWriters* lane) {
    // Refused, the thread encodes at the loop's priority: slots may then be served a little
    // late, but no frame is lost, so the refusal is not reported.
    lowerThisThreadPriority(kEncoderNiceSteps);
    Scratch scratch;
    for (;;) {
        int index = -1;
        {
            std::unique_lock lock(mutex_);
            jobQueued_.wait(lock, [this] { return stopping_ || jobCount_ > 0; });
            if (jobCount_ == 0)
                return;
            index = jobs_[jobHead_];
            jobHead_ = (jobHead_ + 1) % jobs_.size();
            --jobCount_;
        }
        writeFrame(index, *lane, scratch);
    }
}

void EncoderPool::finish() {
    if (!started_ || finished_)
        return;
    finished_ = true;
    {
        std::lock_guard lock(mutex_);
        if (current_ >= 0)
            releaseLocked(current_);
        if (latest_ >= 0)
            releaseLocked(latest_);
        current_ = -1;
        latest_ = -1;
        stopping_ = true;
    }
    // The threads take every job still queued before they end.
    jobQueued_.notify_all();
    for (std::thread& t : threads_)
        t.join();
    threads_.clear();
    // The buffers go back to the grabber before it closes.
    for (Slot& slot : slots_)
        slot.buffer.reset();
}

EncoderPool::Counts EncoderPool::counts() const {
    std::lock_guard lock(mutex_);
    return counts_;
}

}  // namespace marrowdale
