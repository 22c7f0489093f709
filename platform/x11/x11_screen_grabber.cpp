// Screen grabbing through Xlib. One shared-memory image (MIT-SHM) is made at open() and every
// grab lands in it; where shared memory is unavailable, XGetSubImage fills a client-side image.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/screen_grabber.h"

namespace marrowdale {

namespace {

// Xlib reports protocol errors through one process-wide handler, whose default ends the
// program. An ErrorTrap replaces it for the requests of one display while it lives: errors on
// that display are recorded, errors on any other display go on to the handler it replaced. The
// lock keeps two traps from interleaving their replacement.
class ErrorTrap {
  public:
    explicit ErrorTrap(Display* display) : lock_(mutex()) {
        trapped().store(display);
        hit().store(false);
        previous() = XSetErrorHandler(handle);
    }
    ~ErrorTrap() {
        XSetErrorHandler(previous());
        trapped().store(nullptr);
    }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    // Waits for the server to answer everything sent so far, so that late errors are counted.
    bool hitAfterSync(Display* display) const {
        XSync(display, False);
        return hit().load();
    }
    bool wasHit() const { return hit().load(); }

  private:
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static std::atomic<Display*>& trapped() {
        static std::atomic<Display*> d{nullptr};
        return d;
    }
    static std::atomic<bool>& hit() {
        static std::atomic<bool> h{false};
        return h;
    }
    static XErrorHandler& previous() {
        static XErrorHandler h = nullptr;
        return h;
    }
    static int handle(Display* display, XErrorEvent* event) {
        if (display == trapped().load()) {
            hit().store(true);
            return 0;
        }
        XErrorHandler next = previous();
        return next != nullptr ? next(display, event) : 0;
    }

    std::lock_guard<std::mutex> lock_;
};

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

class X11ScreenGrabber final : public ScreenGrabber {
  public:
    X11ScreenGrabber(std::string displayName, bool useSharedMemory)
        : displayName_(std::move(displayName)), useSharedMemory_(useSharedMemory) {}
    ~X11ScreenGrabber() override { close(); }

    bool open(std::int32_t width, std::int32_t height) override {
        close();
        if (width <= 0 || height <= 0)
            return false;
        display_ = XOpenDisplay(displayName_.empty() ? nullptr : displayName_.c_str());
        if (display_ == nullptr)
            return false;
        lost_ = false;
        // Without this, Xlib ends the whole program when the display server goes away.
        XSetIOErrorExitHandler(display_, onConnectionLost, this);
        LostDisplays::add(display_);
        const int screen = DefaultScreen(display_);
        root_ = RootWindow(display_, screen);
        visual_ = DefaultVisual(display_, screen);
        depth_ = DefaultDepth(display_, screen);
        if (!((useSharedMemory_ && openShared(width, height)) || openPlain(width, height))) {
            close();
            return false;
        }
        if (ximage_->bits_per_pixel != 32 || ximage_->byte_order != LSBFirst ||
            ximage_->red_mask != 0xff0000 || ximage_->green_mask != 0x00ff00 ||
            ximage_->blue_mask != 0x0000ff) {
            close();
            return false;
        }
        image_.pixels = reinterpret_cast<const std::uint8_t*>(ximage_->data);
        image_.width = width;
        image_.height = height;
        image_.strideBytes = static_cast<std::size_t>(ximage_->bytes_per_line);
        image_.planes = 1;
        image_.bitsPerPixel = 32;
        // Fault the whole image in now rather than during the first slot.
        std::memset(ximage_->data, 0, image_.strideBytes * static_cast<std::size_t>(height));
        (void)grab(0, 0);
        opened_ = true;
        return true;
    }

    bool grab(std::int32_t left, std::int32_t top) override {
        if (ximage_ == nullptr || lost_.load())
            return false;
        const int w = ximage_->width;
        const int h = ximage_->height;
        const int screenW = DisplayWidth(display_, DefaultScreen(display_));
        const int screenH = DisplayHeight(display_, DefaultScreen(display_));
        const Intersection r = intersect(left, top, w, h, screenW, screenH);
        if (r.width == 0) {
            clearAll();
            return true;
        }
        // Both requests wait for their reply, so an error (a screen made smaller since the
        // size above was read, for one) has reached the trap by the time they return.
        ErrorTrap trap(display_);
        if (r.width == w && r.height == h) {
            bool ok = false;
            if (shared_)
                ok = XShmGetImage(display_, root_, ximage_, r.srcX, r.srcY, AllPlanes);
            else
                ok = XGetSubImage(display_, root_, r.srcX, r.srcY, static_cast<unsigned>(w),
                                  static_cast<unsigned>(h), AllPlanes, ZPixmap, ximage_, 0,
                                  0) != nullptr;
            return ok && !trap.wasHit();
        }
        bool ok = false;
        if (shared_) {
            // The server writes a packed r.width x r.height image at the start of the segment;
            // the rows are then moved to their place, last row first (each row moves to a
            // higher or equal address, so no row is overwritten before it has moved).
            XImage part = *ximage_;
            part.width = r.width;
            part.height = r.height;
            part.bytes_per_line = r.width * 4;
            ok = XShmGetImage(display_, root_, &part, r.srcX, r.srcY, AllPlanes);
            if (ok)
                placePackedRows(r);
        } else {
            ok = XGetSubImage(display_, root_, r.srcX, r.srcY, static_cast<unsigned>(r.width),
                              static_cast<unsigned>(r.height), AllPlanes, ZPixmap, ximage_, r.dstX,
                              r.dstY) != nullptr;
        }
        blackenOutside(r);
        return ok && !trap.wasHit();
    }

    const ScreenImage* image() const override { return opened_ ? &image_ : nullptr; }

    bool connectionLost() const override { return lost_.load(); }

    void close() override {
        opened_ = false;
        image_ = ScreenImage{};
        if (ximage_ != nullptr) {
            if (shared_) {
                if (!lost_.load()) {
                    XShmDetach(display_, &shm_);
                    XSync(display_, False);
                }
                ximage_->data = nullptr;
                XDestroyImage(ximage_);
            } else {
                XDestroyImage(ximage_);  // frees the buffer too
            }
            ximage_ = nullptr;
        }
        if (shm_.shmaddr != nullptr && shm_.shmaddr != reinterpret_cast<char*>(-1)) {
            shmdt(shm_.shmaddr);
        }
        if (shm_.shmid >= 0)
            shmctl(shm_.shmid, IPC_RMID, nullptr);
        shm_ = XShmSegmentInfo{};
        shm_.shmid = -1;
        shared_ = false;
        if (display_ != nullptr) {
            LostDisplays::remove(display_);
            XCloseDisplay(display_);
            display_ = nullptr;
        }
    }

  private:
    // Called by Xlib on the grabbing thread after its I/O error handler has reported the
    // broken connection; returning leaves the display marked dead instead of exiting.
    static void onConnectionLost(Display*, void* self) {
        static_cast<X11ScreenGrabber*>(self)->lost_ = true;
    }

    bool openShared(int width, int height) {
        if (!XShmQueryExtension(display_))
            return false;
        shm_ = XShmSegmentInfo{};
        shm_.shmid = -1;
        ximage_ =
            XShmCreateImage(display_, visual_, static_cast<unsigned>(depth_), ZPixmap, nullptr,
                            &shm_, static_cast<unsigned>(width), static_cast<unsigned>(height));
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
            XSync(display_, False);
            ErrorTrap trap(display_);
            attached = XShmAttach(display_, &shm_) != 0;
            if (trap.hitAfterSync(display_))
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

    bool openPlain(int width, int height) {
        const std::size_t stride = static_cast<std::size_t>(width) * 4;
        char* data = static_cast<char*>(std::calloc(stride * static_cast<std::size_t>(height), 1));
        if (data == nullptr)
            return false;
        ximage_ = XCreateImage(display_, visual_, static_cast<unsigned>(depth_), ZPixmap, 0, data,
                               static_cast<unsigned>(width), static_cast<unsigned>(height), 32,
                               static_cast<int>(stride));
        if (ximage_ == nullptr) {
            std::free(data);
            return false;
        }
        shared_ = false;
        return true;
    }

    void placePackedRows(const Intersection& r) {
        char* base = ximage_->data;
        const std::size_t stride = static_cast<std::size_t>(ximage_->bytes_per_line);
        const std::size_t rowBytes = static_cast<std::size_t>(r.width) * 4;
        for (int row = r.height - 1; row >= 0; --row) {
            char* src = base + static_cast<std::size_t>(row) * rowBytes;
            char* dst = base + static_cast<std::size_t>(r.dstY + row) * stride +
                        static_cast<std::size_t>(r.dstX) * 4;
            if (src != dst)
                std::memmove(dst, src, rowBytes);
        }
    }

    void blackenOutside(const Intersection& r) {
        char* base = ximage_->data;
        const std::size_t stride = static_cast<std::size_t>(ximage_->bytes_per_line);
        const int h = ximage_->height;
        const std::size_t fullRow = static_cast<std::size_t>(ximage_->width) * 4;
        for (int y = 0; y < h; ++y) {
            char* row = base + static_cast<std::size_t>(y) * stride;
            if (y < r.dstY || y >= r.dstY + r.height) {
                std::memset(row, 0, fullRow);
                continue;
            }
            std::memset(row, 0, static_cast<std::size_t>(r.dstX) * 4);
            const std::size_t right = static_cast<std::size_t>(r.dstX + r.width) * 4;
            std::memset(row + right, 0, fullRow - right);
        }
    }

    void clearAll() {
        std::memset(ximage_->data, 0,
                    static_cast<std::size_t>(ximage_->bytes_per_line) *
                        static_cast<std::size_t>(ximage_->height));
    }

    std::string displayName_;
    bool useSharedMemory_;
    Display* display_ = nullptr;
    Window root_ = 0;
    Visual* visual_ = nullptr;
    int depth_ = 0;
    XImage* ximage_ = nullptr;
    XShmSegmentInfo shm_{0, -1, nullptr, False};
    bool shared_ = false;
    bool opened_ = false;
    std::atomic<bool> lost_{false};
    ScreenImage image_;
};

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
