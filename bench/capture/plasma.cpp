// mdl-plasma: a busy picture for recording benchmarks and demonstrations. Covers the whole
// screen with an override-redirect window showing a plasma pattern with fine detail, and keeps
// changing it at a fixed rate until it is killed (or for --seconds).
//
//   mdl-plasma [--fps N] [--seconds S] [--band H] [--band-bottom Y] [--stripe W]
//              [--stripe-right X]
//
//   --fps N          changes per second (default 25); 0 draws the picture once and keeps it still
//   --band H         redraw only a band of H rows each time, the rest staying as first drawn:
//                    the picture still differs from one change to the next, at a fraction of
//                    the drawing cost (default 0: the whole screen moves)
//   --band-bottom Y  the band ends above row Y (default: the bottom of the screen)
//   --stripe W       redraw only W columns of the band each time, ending left of column X
//   --stripe-right X (default: the right edge of the screen): every row of the band still
//                    changes, so no band of rows of the picture stays as it was
//
// Prints "ready" once the first picture is on the screen.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <time.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::uint64_t nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1'000'000'000ull +
           static_cast<std::uint64_t>(ts.tv_nsec);
}

void sleepUntilNs(std::uint64_t t) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(t / 1'000'000'000ull);
    ts.tv_nsec = static_cast<long>(t % 1'000'000'000ull);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) != 0) {
    }
}

}  // namespace

int main(int argc, char** argv) {
    double fps = 25;
    double seconds = 0;  // 0: until killed
    int band = 0;
    int bandBottom = -1;
    int stripe = 0;
    int stripeRight = -1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--fps")
            fps = std::atof(argv[i + 1]);
        if (a == "--seconds")
            seconds = std::atof(argv[i + 1]);
        if (a == "--band")
            band = std::atoi(argv[i + 1]);
        if (a == "--band-bottom")
            bandBottom = std::atoi(argv[i + 1]);
        if (a == "--stripe")
            stripe = std::atoi(argv[i + 1]);
        if (a == "--stripe-right")
            stripeRight = std::atoi(argv[i + 1]);
    }
    const bool still = fps <= 0;

    Display* d = XOpenDisplay(nullptr);
    if (d == nullptr) {
        std::fputs("mdl-plasma: cannot open the display\n", stderr);
        return 2;
    }
    const int screen = DefaultScreen(d);
    const int w = DisplayWidth(d, screen);
    const int h = DisplayHeight(d, screen);
    XSetWindowAttributes attrs{};
    attrs.override_redirect = True;
    attrs.background_pixel = BlackPixel(d, screen);
    const Window win = XCreateWindow(d, RootWindow(d, screen), 0, 0, static_cast<unsigned>(w),
                                     static_cast<unsigned>(h), 0, CopyFromParent, InputOutput,
                                     CopyFromParent, CWOverrideRedirect | CWBackPixel, &attrs);
    XMapRaised(d, win);
    GC gc = XCreateGC(d, win, 0, nullptr);

    XShmSegmentInfo shm{};
    XImage* img = nullptr;
    const bool useShm = XShmQueryExtension(d);
    if (useShm) {
        img = XShmCreateImage(d, DefaultVisual(d, screen),
                              static_cast<unsigned>(DefaultDepth(d, screen)), ZPixmap, nullptr,
                              &shm, static_cast<unsigned>(w), static_cast<unsigned>(h));
        shm.shmid = shmget(IPC_PRIVATE, static_cast<std::size_t>(img->bytes_per_line) * h,
                           IPC_CREAT | 0600);
        shm.shmaddr = img->data = static_cast<char*>(shmat(shm.shmid, nullptr, 0));
        shm.readOnly = False;
        XShmAttach(d, &shm);
        XSync(d, False);
        shmctl(shm.shmid, IPC_RMID, nullptr);
    } else {
        char* data = static_cast<char*>(std::malloc(static_cast<std::size_t>(w) * h * 4));
        img = XCreateImage(d, DefaultVisual(d, screen),
                           static_cast<unsigned>(DefaultDepth(d, screen)), ZPixmap, 0, data,
                           static_cast<unsigned>(w), static_cast<unsigned>(h), 32, w * 4);
    }

    // Tables: sines over 1024 steps, a distance field, a colour palette.
    std::vector<std::uint8_t> sine(1024);
    for (int i = 0; i < 1024; ++i) {
        sine[i] = static_cast<std::uint8_t>(63.5 + 63.5 * std::sin(i * 2 * M_PI / 1024));
    }
    std::vector<std::uint16_t> dist(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double dx = x - w * 0.6, dy = y - h * 0.4;
            dist[static_cast<std::size_t>(y) * w + x] =
                static_cast<std::uint16_t>(std::sqrt(dx * dx + dy * dy) * 7.0);
        }
    }
    std::uint32_t palette[512];
    for (int i = 0; i < 512; ++i) {
        const double t = i * 2 * M_PI / 512;
        const auto r = static_cast<std::uint32_t>(127.5 + 127.5 * std::sin(t));
        const auto g = static_cast<std::uint32_t>(127.5 + 127.5 * std::sin(t * 3 + 2));
        const auto b = static_cast<std::uint32_t>(127.5 + 127.5 * std::sin(t * 5 + 4));
        palette[i] = r << 16 | g << 8 | b;
    }

    // The rows drawn at each change after the first picture.
    if (bandBottom < 0 || bandBottom > h)
        bandBottom = h;
    if (band <= 0 || band > bandBottom)
        band = bandBottom;
    const int bandTop = bandBottom - band;
    if (stripeRight < 0 || stripeRight > w)
        stripeRight = w;
    if (stripe <= 0 || stripe > stripeRight)
        stripe = stripeRight;
    const int stripeLeft = stripeRight - stripe;

    const std::uint64_t period = still ? 0 : static_cast<std::uint64_t>(1e9 / fps);
    const std::uint64_t start = nowNs();
    const std::uint64_t end = seconds > 0 ? start + static_cast<std::uint64_t>(seconds * 1e9) : 0;
    std::uint64_t next = start;
    bool announced = false;
    for (unsigned t = 0;; ++t) {
        const int y0 = t == 0 ? 0 : bandTop;
        const int y1 = t == 0 ? h : bandBottom;
        const int x0 = t == 0 ? 0 : stripeLeft;
        const int x1 = t == 0 ? w : stripeRight;
        for (int y = y0; y < y1; ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(img->data + static_cast<std::size_t>(y) *
                                                                         img->bytes_per_line);
            const std::uint16_t* drow = dist.data() + static_cast<std::size_t>(y) * w;
            const unsigned yTerm = sine[(y * 5 - t * 7) & 1023];
            for (int x = x0; x < x1; ++x) {
                const unsigned v = sine[(x * 3 + t * 11) & 1023] + yTerm +
                                   sine[((x + y) * 2 + t * 5) & 1023] +
                                   sine[(drow[x] + t * 13) & 1023];
                row[x] = palette[(v + ((x ^ y) & 7)) & 511];
            }
        }
        if (useShm) {
            XShmPutImage(d, win, gc, img, x0, y0, x0, y0, static_cast<unsigned>(x1 - x0),
                         static_cast<unsigned>(y1 - y0), False);
        } else {
            XPutImage(d, win, gc, img, x0, y0, x0, y0, static_cast<unsigned>(x1 - x0),
                      static_cast<unsigned>(y1 - y0));
        }
        XSync(d, False);
        if (!announced) {
            std::puts("ready");
            std::fflush(stdout);
            announced = true;
        }
        if (still) {
            // Keeps the window (and so the picture) until killed or the time is up.
            if (end != 0) {
                sleepUntilNs(end);
                break;
            }
            for (;;)
                pause();
        }
        next += period;
        const std::uint64_t now = nowNs();
        if (end != 0 && now >= end)
            break;
        if (next > now) {
            sleepUntilNs(next);
        } else {
            next = now;
        }
    }
    if (useShm) {
        XShmDetach(d, &shm);
        shmdt(shm.shmaddr);
        img->data = nullptr;
    }
    XDestroyImage(img);
    XFreeGC(d, gc);
    XDestroyWindow(d, win);
    XCloseDisplay(d);
    return 0;
}
