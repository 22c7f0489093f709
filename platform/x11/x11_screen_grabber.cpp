// Screen grabbing through Xlib. One shared-memory image (MIT-SHM) is made at open() for grab(),
// and one more for every grab buffer, so that a grab lands straight in the buffer it was asked
// for; where shared memory is unavailable, XGetSubImage fills client-side images. The DAMAGE
// extension, watching the root window and so every window on it, tells whether anything was
// drawn since the last grab.
//
// The screen's size is followed during a recording: the root window's size changes
// (ConfigureNotify, as RandR resizes the screen) are read before every grab, and a grab that
// fails makes the grabber ask the server for the size again and try once more. What of the
// rectangle is on the screen is copied, the rest is black.
//
// Displays whose pixels are not 32-bit blue-green-red (16-bit, 30-bit, 24-bit packed true
// colour) are grabbed into one image of the server's layout and converted into the 32-bit
// images the writers take.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/Xfixes.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "platform/x11/x11_error_trap.h"
#include "platform/x11/x11_services.h"

namespace marrowdale {

namespace {

// When a display connection breaks, Xlib first calls the process-wide I/O error handler, whose
// default prints a line and ends the program, then the display's own exit handler. Displays of
// grabbers are registered here: for them the handler returns, so that their exit handler
// (which only marks the grabber) runs instead; any other display goes to the handler that was
// there before, as it always did.
class LostDisplays {
  public:
    static void add(Display* display) {
        std::call_once(installed(), [] { previous() = XSetIOErrorHandler(handle); });
        std::lock_guard lock(mutex());
        for (Display*& d : slots())
            if (d == nullptr) {
                d = display;
                return;
            }
    }
    static void remove(Display* display) {
        std::lock_guard lock(mutex());
        for (Display*& d : slots())
            if (d == display)
                d = nullptr;
    }

  private:
    static constexpr int kSlots = 8;
    static std::once_flag& installed() {
        static std::once_flag f;
        return f;
    }
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static std::array<Display*, kSlots>& slots() {
        static std::array<Display*, kSlots> s{};
        return s;
    }
    static XIOErrorHandler& previous() {
        static XIOErrorHandler h = nullptr;
        return h;
    }
    static int handle(Display* display) {
        {
            std::lock_guard lock(mutex());
            for (Display* d : slots())
                if (d == display)
                    return 0;
        }
        XIOErrorHandler next = previous();
        if (next != nullptr)
            return next(display);
        std::_Exit(1);
    }
};

struct Intersection {
    int srcX = 0, srcY = 0;  // on the screen
    int dstX = 0, dstY = 0;  // in the image
    int width = 0, height = 0;
};

Intersection intersect(int left, int top, int width, int height, int screenW, int screenH) {
    Intersection r;
    const long x0 = std::max<long>(left, 0);
    const long y0 = std::max<long>(top, 0);
    const long x1 = std::min<long>(static_cast<long>(left) + width, screenW);
    const long y1 = std::min<long>(static_cast<long>(top) + height, screenH);
    if (x1 <= x0 || y1 <= y0)
        return r;
    r.srcX = static_cast<int>(x0);
    r.srcY = static_cast<int>(y0);
    r.dstX = static_cast<int>(x0 - left);
    r.dstY = static_cast<int>(y0 - top);
    r.width = static_cast<int>(x1 - x0);
    r.height = static_cast<int>(y1 - y0);
    return r;
}

// One image the server can copy the screen into: a shared-memory segment attached to the
// display (MIT-SHM), or client memory that XGetSubImage fills.
class X11Image {
  public:
    X11Image() { shm_.shmid = -1; }
    ~X11Image() { release(nullptr, true); }
    X11Image(const X11Image&) = delete;
    X11Image& operator=(const X11Image&) = delete;

    // Makes the image on `display` in the server's layout for `depth`; tries shared memory
    // first when `shared` is asked for.
    bool make(Display* display, Visual* visual, int depth, int width, int height, bool shared) {
        if (!((shared && makeShared(display, visual, depth, width, height)) ||
              makePlain(display, visual, depth, width, height))) {
            return false;
        }
        // Fault the whole image in now rather than during a slot.
        std::memset(ximage_->data, 0, stride() * static_cast<std::size_t>(height));
        return true;
    }

    // Whether the image holds 32-bit pixels in blue, green, red, unused byte order: the layout
    // the writers take, so that grabs need no conversion.
    bool writersLayout() const {
        return ximage_->bits_per_pixel == 32 && ximage_->byte_order == LSBFirst &&
               ximage_->red_mask == 0xff0000 && ximage_->green_mask == 0x00ff00 &&
               ximage_->blue_mask == 0x0000ff;
    }

    // Gives back what make() acquired. `display` may be null or `lost`: the server side is then
    // left alone (a broken connection takes it away by itself).
    void release(Display* display, bool lost) {
        if (ximage_ != nullptr) {
            if (shared_) {
                if (display != nullptr && !lost) {
                    XShmDetach(display, &shm_);
                    XSync(display, False);
                }
                ximage_->data = nullptr;
                XDestroyImage(ximage_);
            } else {
                XDestroyImage(ximage_);  // frees the buffer too
            }
            ximage_ = nullptr;
        }
        if (shm_.shmaddr != nullptr && shm_.shmaddr != reinterpret_cast<char*>(-1))
            shmdt(shm_.shmaddr);
        if (shm_.shmid >= 0)
            shmctl(shm_.shmid, IPC_RMID, nullptr);
        shm_ = XShmSegmentInfo{};
        shm_.shmid = -1;
        shared_ = false;
    }

    // Leaves the server side alone from now on but keeps the pixels readable until release():
    // the display the image was attached to is closing.
    void detachFrom(Display* display, bool lost) {
        if (ximage_ != nullptr && shared_ && display != nullptr && !lost) {
            XShmDetach(display, &shm_);
            XSync(display, False);
        }
    }

    XImage* ximage() const { return ximage_; }
    bool shared() const { return shared_; }
    std::uint8_t* data() const { return reinterpret_cast<std::uint8_t*>(ximage_->data); }
    std::size_t stride() const { return static_cast<std::size_t>(ximage_->bytes_per_line); }

  private:
    bool makeShared(Display* display, Visual* visual, int depth, int width, int height) {
        if (!XShmQueryExtension(display))
            return false;
        shm_ = XShmSegmentInfo{};
        shm_.shmid = -1;
        ximage_ =
            XShmCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, nullptr, &shm_,
                            static_cast<unsigned>(width), static_cast<unsigned>(height));
        if (ximage_ == nullptr)
            return false;
        const std::size_t bytes =
            static_cast<std::size_t>(ximage_->bytes_per_line) * static_cast<std::size_t>(height);
        shm_.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (shm_.shmid < 0)
            return dropShared();
        shm_.shmaddr = static_cast<char*>(shmat(shm_.shmid, nullptr, 0));
        if (shm_.shmaddr == reinterpret_cast<char*>(-1)) {
            shm_.shmaddr = nullptr;
            return dropShared();
        }
        ximage_->data = shm_.shmaddr;
        shm_.readOnly = False;
        bool attached = false;
        {
            XSync(display, False);
            ErrorTrap trap(display);
            attached = XShmAttach(display, &shm_) != 0;
            if (trap.hitAfterSync(display))
                attached = false;
        }
        // The segment goes away by itself once both sides have detached.
        shmctl(shm_.shmid, IPC_RMID, nullptr);
        shm_.shmid = -1;
        if (!attached)
            return dropShared();
        shared_ = true;
        return true;
    }

    bool dropShared() {
        if (ximage_ != nullptr) {
            ximage_->data = nullptr;
            XDestroyImage(ximage_);
            ximage_ = nullptr;
        }
        if (shm_.shmaddr != nullptr)
            shmdt(shm_.shmaddr);
        if (shm_.shmid >= 0)
            shmctl(shm_.shmid, IPC_RMID, nullptr);
        shm_ = XShmSegmentInfo{};
        shm_.shmid = -1;
        return false;
    }

    bool makePlain(Display* display, Visual* visual, int depth, int width, int height) {
        ximage_ = XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                               static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
        if (ximage_ == nullptr)
            return false;
        char* data =
            static_cast<char*>(std::calloc(stride() * static_cast<std::size_t>(height), 1));
        if (data == nullptr) {
            XDestroyImage(ximage_);
            ximage_ = nullptr;
            return false;
        }
        ximage_->data = data;
        shared_ = false;
        return true;
    }

    XImage* ximage_ = nullptr;
    XShmSegmentInfo shm_{};
    bool shared_ = false;
};

// Turns rows of a true-colour image of the server's layout (16, 24 or 32 bits per pixel, any
// channel masks, either byte order) into 32-bit blue, green, red, zero pixels.
class PixelConverter {
  public:
    // False for layouts it cannot turn into colours (palettes, fewer than 15 bits).
    bool init(const XImage& image) {
        bytesPerPixel_ = image.bits_per_pixel / 8;
        msbFirst_ = image.byte_order == MSBFirst;
        if ((image.bits_per_pixel != 16 && image.bits_per_pixel != 24 &&
             image.bits_per_pixel != 32) ||
            image.red_mask == 0 || image.green_mask == 0 || image.blue_mask == 0)
            return false;
        channels_[0] = Channel::of(image.blue_mask);
        channels_[1] = Channel::of(image.green_mask);
        channels_[2] = Channel::of(image.red_mask);
        if (bytesPerPixel_ == 2) {
            // Every 16-bit value at once.
            table16_.resize(65536);
            for (std::uint32_t v = 0; v < 65536; ++v)
                table16_[v] = colour(v);
        }
        return true;
    }

    void convertRow(const std::uint8_t* src, std::uint8_t* dst, int width) const {
        auto* out = reinterpret_cast<std::uint32_t*>(dst);
        if (bytesPerPixel_ == 2) {
            for (int x = 0; x < width; ++x, src += 2) {
                const std::uint32_t v = msbFirst_ ? (src[0] << 8 | src[1]) : (src[0] | src[1] << 8);
                out[x] = table16_[v];
            }
            return;
        }
        for (int x = 0; x < width; ++x, src += bytesPerPixel_) {
            std::uint32_t v = 0;
            for (int i = 0; i < bytesPerPixel_; ++i) {
                const int at = msbFirst_ ? i : bytesPerPixel_ - 1 - i;
                v = v << 8 | src[at];
            }
            out[x] = colour(v);
        }
    }

  private:
    struct Channel {
        int shift = 0;
        int bits = 8;
        std::uint32_t max = 255;
        static Channel of(unsigned long mask) {
            Channel c;
            c.shift = std::countr_zero(static_cast<std::uint32_t>(mask));
            c.bits = std::popcount(static_cast<std::uint32_t>(mask));
            c.max = (std::uint32_t{1} << c.bits) - 1;
            return c;
        }
        // The channel's value in 8 bits: the top 8 bits of a wider one, a narrower one scaled
        // so that its full value is 255.
        std::uint32_t eightBits(std::uint32_t pixel) const {
            const std::uint32_t v = (pixel >> shift) & max;
            if (bits >= 8)
                return v >> (bits - 8);
            return (v * 255 + max / 2) / max;
        }
    };
    std::uint32_t colour(std::uint32_t pixel) const {
        return channels_[0].eightBits(pixel) | channels_[1].eightBits(pixel) << 8 |
               channels_[2].eightBits(pixel) << 16;
    }

    int bytesPerPixel_ = 4;
    bool msbFirst_ = false;
    std::array<Channel, 3> channels_{};
    std::vector<std::uint32_t> table16_;
};

// 32-bit pixels in ordinary memory, touched when made.
class PlainPixels {
  public:
    bool make(int width, int height) {
        stride_ = static_cast<std::size_t>(width) * 4;
        memory_.reset(new (std::nothrow) std::uint8_t[stride_ * static_cast<std::size_t>(height)]);
        if (!memory_)
            return false;
        std::memset(memory_.get(), 0, stride_ * static_cast<std::size_t>(height));
        return true;
    }
    std::uint8_t* data() const { return memory_.get(); }
    std::size_t stride() const { return stride_; }

  private:
    std::unique_ptr<std::uint8_t[]> memory_;
    std::size_t stride_ = 0;
};

class X11ScreenGrabber;

// A grab buffer filled by the grabber's display: an image of its own the server writes into,
// or, on a display whose pixels have to be converted, 32-bit pixels the conversion fills.
class X11GrabBuffer final : public GrabBuffer {
  public:
    explicit X11GrabBuffer(X11ScreenGrabber* owner) : owner_(owner) {}
    ~X11GrabBuffer() override;

    X11Image& x11() { return image_; }
    PlainPixels& plain() { return plain_; }
    bool converted() const { return plain_.data() != nullptr; }
    X11ScreenGrabber* owner() const { return owner_; }
    void publish(std::int32_t width, std::int32_t height) {
        if (converted())
            setImage(plain_.data(), width, height, plain_.stride());
        else
            setImage(image_.data(), width, height, image_.stride());
    }
    // The grabber is closing: the buffer keeps its pixels but is no longer filled.
    void orphan(Display* display, bool lost) {
        image_.detachFrom(display, lost);
        owner_ = nullptr;
    }

  private:
    X11ScreenGrabber* owner_;
    X11Image image_;
    PlainPixels plain_;
};

class X11ScreenGrabber final : public ScreenGrabber {
  public:
    X11ScreenGrabber(std::string displayName, bool useSharedMemory)
        : displayName_(std::move(displayName)), useSharedMemory_(useSharedMemory) {}
    ~X11ScreenGrabber() override { close(); }

    bool open(std::int32_t width, std::int32_t height) override {
        close();
        error_.clear();
        if (width <= 0 || height <= 0) {
            error_ = "the capture area has no width or height";
            return false;
        }
        // Xlib keeps the row length in an int.
        if (width > INT_MAX / 4 || static_cast<std::uint64_t>(width) * 4 * height > SIZE_MAX / 2) {
            error_ = "the capture area is too large for one picture";
            return false;
        }
        display_ = XOpenDisplay(displayName_.empty() ? nullptr : displayName_.c_str());
        if (display_ == nullptr) {
            error_ = "cannot open the display";
            return false;
        }
        lost_ = false;
        // Without this, Xlib ends the whole program when the display server goes away.
        XSetIOErrorExitHandler(display_, onConnectionLost, this);
        LostDisplays::add(display_);
        const int screen = DefaultScreen(display_);
        root_ = RootWindow(display_, screen);
        visual_ = DefaultVisual(display_, screen);
        depth_ = DefaultDepth(display_, screen);
        screenWidth_ = DisplayWidth(display_, screen);
        screenHeight_ = DisplayHeight(display_, screen);
        // The root window's size changes come as events, read before every grab.
        XSelectInput(display_, root_, StructureNotifyMask);
        if (!own_.make(display_, visual_, depth_, width, height, useSharedMemory_)) {
            error_ = "not enough memory for a picture of the capture area";
            close();
            return false;
        }
        watchDamage();
        convert_ = !own_.writersLayout();
        if (convert_) {
            // The server writes into `own_` in its layout; every picture is converted from there.
            if (visual_->c_class != TrueColor || !converter_.init(*own_.ximage())) {
                error_ = "the display's pixels (depth " + std::to_string(depth_) + ", " +
                         std::to_string(own_.ximage()->bits_per_pixel) +
                         " bits per pixel) cannot be recorded";
                close();
                return false;
            }
            if (!pixels_.make(width, height)) {
                error_ = "not enough memory for a picture of the capture area";
                close();
                return false;
            }
        }
        image_.pixels = convert_ ? pixels_.data() : own_.data();
        image_.width = width;
        image_.height = height;
        image_.strideBytes = convert_ ? pixels_.stride() : own_.stride();
        image_.planes = 1;
        image_.bitsPerPixel = 32;
        opened_ = true;
        (void)grab(0, 0);
        return true;
    }

    std::string openError() const override { return error_; }

    bool grab(std::int32_t left, std::int32_t top) override {
        if (!opened_)
            return false;
        if (!grabTo(own_, left, top))
            return false;
        if (convert_)
            convertInto(pixels_.data(), pixels_.stride());
        return true;
    }

    const ScreenImage* image() const override { return opened_ ? &image_ : nullptr; }

    bool connectionLost() const override { return lost_.load(); }

    std::unique_ptr<GrabBuffer> makeBuffer() override {
        if (!opened_ || lost_.load())
            return nullptr;
        auto buffer = std::make_unique<X11GrabBuffer>(this);
        if (convert_) {
            // Filled by converting the grabber's own image.
            if (!buffer->plain().make(image_.width, image_.height))
                return nullptr;
        } else if (!buffer->x11().make(display_, visual_, depth_, image_.width, image_.height,
                                       own_.shared())) {
            // Shared memory only where the grabber's own image has it too.
            return nullptr;
        }
        buffer->publish(image_.width, image_.height);
        buffers_.push_back(buffer.get());
        // The server touches its side of the memory now too.
        (void)grabInto(0, 0, *buffer);
        return buffer;
    }

    bool grabInto(std::int32_t left, std::int32_t top, GrabBuffer& target) override {
        auto* buffer = dynamic_cast<X11GrabBuffer*>(&target);
        if (!opened_ || buffer == nullptr || buffer->owner() != this)
            return false;
        if (!buffer->converted())
            return grabTo(buffer->x11(), left, top);
        if (!grabTo(own_, left, top))
            return false;
        convertInto(buffer->plain().data(), buffer->plain().stride());
        return true;
    }

    bool grabIntoLeavesImage() const override { return true; }

    ScreenChange changeSinceLastGrab(std::int32_t left, std::int32_t top) override {
        if (!opened_ || damage_ == 0 || lost_.load())
            return ScreenChange::kUnknown;
        // Takes everything drawn since the last call and starts afresh; the reply comes after
        // every event sent before it, so the notices can be dropped right away.
        ErrorTrap trap(display_);
        XDamageSubtract(display_, damage_, 0, parts_);
        int count = 0;
        XRectangle bounds{};
        XRectangle* drawn = XFixesFetchRegionAndBounds(display_, parts_, &count, &bounds);
        while (XEventsQueued(display_, QueuedAfterReading) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            noteEvent(event);
        }
        bool touched = false;
        long firstRow = image_.height;
        long endRow = 0;
        for (int i = 0; i < count && drawn != nullptr; ++i) {
            const long x0 = std::max<long>(drawn[i].x, left);
            const long y0 = std::max<long>(drawn[i].y, top);
            const long x1 = std::min<long>(static_cast<long>(drawn[i].x) + drawn[i].width,
                                           static_cast<long>(left) + image_.width);
            const long y1 = std::min<long>(static_cast<long>(drawn[i].y) + drawn[i].height,
                                           static_cast<long>(top) + image_.height);
            if (x0 < x1 && y0 < y1) {
                touched = true;
                firstRow = std::min(firstRow, y0 - top);
                endRow = std::max(endRow, y1 - top);
            }
        }
        drawnFirst_ = static_cast<std::int32_t>(firstRow);
        drawnEnd_ = static_cast<std::int32_t>(endRow);
        if (drawn != nullptr)
            XFree(drawn);
        // A screen that changed its size shows the rectangle differently even where nothing
        // was drawn.
        if (trap.wasHit() || !lastGrabOk_ || left != lastLeft_ || top != lastTop_ || sizeChanged_)
            return ScreenChange::kUnknown;
        return touched ? ScreenChange::kSome : ScreenChange::kNone;
    }

    bool drawnRows(std::int32_t& first, std::int32_t& end) const override {
        if (drawnFirst_ >= drawnEnd_)
            return false;
        first = drawnFirst_;
        end = drawnEnd_;
        return true;
    }

    void close() override {
        opened_ = false;
        convert_ = false;
        image_ = ScreenImage{};
        for (X11GrabBuffer* b : buffers_)
            b->orphan(display_, lost_.load());
        buffers_.clear();
        if (display_ != nullptr && !lost_.load()) {
            if (damage_ != 0)
                XDamageDestroy(display_, damage_);
            if (parts_ != 0)
                XFixesDestroyRegion(display_, parts_);
        }
        damage_ = 0;
        parts_ = 0;
        lastGrabOk_ = false;
        own_.release(display_, lost_.load());
        pixels_ = PlainPixels{};
        if (display_ != nullptr) {
            LostDisplays::remove(display_);
            XCloseDisplay(display_);
            display_ = nullptr;
        }
    }

    // A buffer going away before close().
    void forget(X11GrabBuffer* buffer) {
        buffer->x11().release(display_, lost_.load());
        buffers_.erase(std::remove(buffers_.begin(), buffers_.end(), buffer), buffers_.end());
    }

  private:
    // Called by Xlib on the grabbing thread after its I/O error handler has reported the
    // broken connection; returning leaves the display marked dead instead of exiting.
    static void onConnectionLost(Display*, void* self) {
        static_cast<X11ScreenGrabber*>(self)->lost_ = true;
    }

    // Watches the root window for drawing; without the extensions nothing is watched.
    void watchDamage() {
        int event = 0, error = 0, major = 1, minor = 1;
        if (!XDamageQueryExtension(display_, &event, &error) ||
            !XDamageQueryVersion(display_, &major, &minor) ||
            !XFixesQueryExtension(display_, &event, &error)) {
            return;
        }
        major = 2;
        minor = 0;
        if (!XFixesQueryVersion(display_, &major, &minor) || major < 2)
            return;
        ErrorTrap trap(display_);
        damage_ = XDamageCreate(display_, root_, XDamageReportNonEmpty);
        parts_ = XFixesCreateRegion(display_, nullptr, 0);
        if (trap.hitAfterSync(display_)) {
            damage_ = 0;
            parts_ = 0;
        }
    }

    // Copies the rectangle at (left, top) of the image's size into `img`, and remembers it as
    // the last grab.
    bool grabTo(X11Image& img, std::int32_t left, std::int32_t top) {
        lastLeft_ = left;
        lastTop_ = top;
        lastGrabOk_ = grabPixels(img, left, top);
        sizeChanged_ = false;
        return lastGrabOk_;
    }

    // A size change of the root window: the screen as the next grab will see it.
    void noteEvent(const XEvent& event) {
        if (event.type == ConfigureNotify && event.xconfigure.window == root_ &&
            (event.xconfigure.width != screenWidth_ || event.xconfigure.height != screenHeight_)) {
            screenWidth_ = event.xconfigure.width;
            screenHeight_ = event.xconfigure.height;
            sizeChanged_ = true;
        }
    }

    // Takes in the root window's size changes that have arrived (a read that does not wait).
    void followScreenSize() {
        while (XEventsQueued(display_, QueuedAfterReading) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            noteEvent(event);
        }
    }

    // Asks the server for the screen's size; true when it differs from the one in use.
    bool rereadScreenSize() {
        Window rootOfRoot = 0;
        int x = 0, y = 0;
        unsigned w = 0, h = 0, border = 0, depth = 0;
        ErrorTrap trap(display_);
        if (!XGetGeometry(display_, root_, &rootOfRoot, &x, &y, &w, &h, &border, &depth) ||
            trap.wasHit())
            return false;
        const bool changed =
            static_cast<int>(w) != screenWidth_ || static_cast<int>(h) != screenHeight_;
        screenWidth_ = static_cast<int>(w);
        screenHeight_ = static_cast<int>(h);
        return changed;
    }

    // Copies the rectangle at (left, top) of the image's size into `img`. A grab that fails
    // because the screen changed its size since it was last read is made again at the new
    // size.
    bool grabPixels(X11Image& img, std::int32_t left, std::int32_t top) {
        if (img.ximage() == nullptr || lost_.load())
            return false;
        followScreenSize();
        if (grabOnce(img, left, top))
            return true;
        return !lost_.load() && rereadScreenSize() && grabOnce(img, left, top);
    }

    bool grabOnce(X11Image& img, std::int32_t left, std::int32_t top) {
        XImage* ximage = img.ximage();
        if (lost_.load())
            return false;
        const int w = ximage->width;
        const int h = ximage->height;
        const Intersection r = intersect(left, top, w, h, screenWidth_, screenHeight_);
        if (r.width == 0) {
            clearAll(ximage);
            return true;
        }
        // Both requests wait for their reply, so an error (a screen made smaller since the
        // size above was read, for one) has reached the trap by the time they return.
        ErrorTrap trap(display_);
        if (r.width == w && r.height == h) {
            bool ok = false;
            if (img.shared())
                ok = XShmGetImage(display_, root_, ximage, r.srcX, r.srcY, AllPlanes);
            else
                ok = XGetSubImage(display_, root_, r.srcX, r.srcY, static_cast<unsigned>(w),
                                  static_cast<unsigned>(h), AllPlanes, ZPixmap, ximage, 0,
                                  0) != nullptr;
            return ok && !trap.wasHit();
        }
        bool ok = false;
        if (img.shared()) {
            // The server writes a packed r.width x r.height image at the start of the segment,
            // its rows padded as the server pads them; the rows are then moved to their place,
            // last row first (each row moves to a higher or equal address, so no row is
            // overwritten before it has moved).
            XImage part = *ximage;
            part.width = r.width;
            part.height = r.height;
            part.bytes_per_line = paddedRowBytes(*ximage, r.width);
            ok = XShmGetImage(display_, root_, &part, r.srcX, r.srcY, AllPlanes);
            if (ok)
                placePackedRows(ximage, part.bytes_per_line, r);
        } else {
            ok = XGetSubImage(display_, root_, r.srcX, r.srcY, static_cast<unsigned>(r.width),
                              static_cast<unsigned>(r.height), AllPlanes, ZPixmap, ximage, r.dstX,
                              r.dstY) != nullptr;
        }
        blackenOutside(ximage, r);
        return ok && !trap.wasHit();
    }

    void convertInto(std::uint8_t* pixels, std::size_t stride) const {
        const XImage* ximage = own_.ximage();
        for (int y = 0; y < ximage->height; ++y) {
            converter_.convertRow(
                reinterpret_cast<const std::uint8_t*>(ximage->data) +
                    static_cast<std::size_t>(y) * static_cast<std::size_t>(ximage->bytes_per_line),
                pixels + static_cast<std::size_t>(y) * stride, ximage->width);
        }
    }

    static std::size_t pixelBytes(const XImage* ximage) {
        return static_cast<std::size_t>(ximage->bits_per_pixel) / 8;
    }

    static int paddedRowBytes(const XImage& ximage, int width) {
        const int pad = ximage.bitmap_pad > 0 ? ximage.bitmap_pad : 32;
        const long bits = static_cast<long>(width) * ximage.bits_per_pixel;
        return static_cast<int>((bits + pad - 1) / pad * pad / 8);
    }

    static void placePackedRows(XImage* ximage, int packedRowBytes, const Intersection& r) {
        char* base = ximage->data;
        const std::size_t stride = static_cast<std::size_t>(ximage->bytes_per_line);
        const std::size_t px = pixelBytes(ximage);
        const std::size_t rowBytes = static_cast<std::size_t>(r.width) * px;
        for (int row = r.height - 1; row >= 0; --row) {
            char* src =
                base + static_cast<std::size_t>(row) * static_cast<std::size_t>(packedRowBytes);
            char* dst = base + static_cast<std::size_t>(r.dstY + row) * stride +
                        static_cast<std::size_t>(r.dstX) * px;
            if (src != dst)
                std::memmove(dst, src, rowBytes);
        }
    }

    static void blackenOutside(XImage* ximage, const Intersection& r) {
        char* base = ximage->data;
        const std::size_t stride = static_cast<std::size_t>(ximage->bytes_per_line);
        const std::size_t px = pixelBytes(ximage);
        const int h = ximage->height;
        const std::size_t fullRow = static_cast<std::size_t>(ximage->width) * px;
        for (int y = 0; y < h; ++y) {
            char* row = base + static_cast<std::size_t>(y) * stride;
            if (y < r.dstY || y >= r.dstY + r.height) {
                std::memset(row, 0, fullRow);
                continue;
            }
            std::memset(row, 0, static_cast<std::size_t>(r.dstX) * px);
            const std::size_t right = (static_cast<std::size_t>(r.dstX) + r.width) * px;
            std::memset(row + right, 0, fullRow - right);
        }
    }

    static void clearAll(XImage* ximage) {
        std::memset(ximage->data, 0,
                    static_cast<std::size_t>(ximage->bytes_per_line) *
                        static_cast<std::size_t>(ximage->height));
    }

    std::string displayName_;
    bool useSharedMemory_;
    Display* display_ = nullptr;
    Window root_ = 0;
    Visual* visual_ = nullptr;
    int depth_ = 0;
    int screenWidth_ = 0;
    int screenHeight_ = 0;
    X11Image own_;
    bool convert_ = false;      // the display's pixels are converted into `pixels_`
    PixelConverter converter_;  // when converting
    PlainPixels pixels_;        // when converting: the 32-bit image
    std::vector<X11GrabBuffer*> buffers_;
    Damage damage_ = 0;
    // The rows of the rectangle the last changeSinceLastGrab() found drawn on.
    std::int32_t drawnFirst_ = 0;
    std::int32_t drawnEnd_ = 0;
    XserverRegion parts_ = 0;
    bool lastGrabOk_ = false;
    bool sizeChanged_ = false;  // the screen's size changed since the last grab
    std::int32_t lastLeft_ = 0;
    std::int32_t lastTop_ = 0;
    bool opened_ = false;
    std::atomic<bool> lost_{false};
    ScreenImage image_;
    std::string error_;
};

X11GrabBuffer::~X11GrabBuffer() {
    if (owner_ != nullptr)
        owner_->forget(this);
    // An orphan's image has left the server already; release() frees the rest.
}

}  // namespace

std::unique_ptr<ScreenGrabber> createX11ScreenGrabber(std::string displayName,
                                                      bool useSharedMemory) {
    return std::make_unique<X11ScreenGrabber>(std::move(displayName), useSharedMemory);
}

bool x11DisplayAvailable(const std::string& displayName, std::string& error) {
    const char* name = displayName.empty() ? std::getenv("DISPLAY") : displayName.c_str();
    if (name == nullptr || *name == '\0') {
        error = "no display: DISPLAY is not set";
        return false;
    }
    Display* display = XOpenDisplay(name);
    if (display == nullptr) {
        error = std::string("cannot open display ") + name;
        return false;
    }
    XCloseDisplay(display);
    return true;
}

}  // namespace marrowdale
