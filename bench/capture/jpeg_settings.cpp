// mdl-bench-jpeg: what each JPEG quality and chroma subsampling costs on this machine, on the
// picture now on the screen (the plasma), on a page of text and on a desktop with a few windows:
// encode time, file size and the disk an hour of 1920x1080 at 25 frames per second takes when every
// frame changes, and how close the decoded picture stays to the original (PSNR over all pixels,
// brightness alone, and the text pixels alone).
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <time.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/jpeg/turbo_jpeg_encoder.h"
#include "platform/x11/x11_services.h"

using namespace marrowdale;

namespace {

// CPU time of this thread: what an encode costs, whatever else the machine is doing.
double nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

const std::string kLine =
    "int runScreenCaptureWorker(CaptureSettings& settings, RecorderState& state) { return 0; }"
    " // 0123456789 The quick brown fox jumps over the lazy dog.";
const unsigned long kInk[] = {0x000000, 0x202020, 0x0000C0, 0xC00000, 0x008000};

// Lines of text in the server's "fixed" font every 14 pixels inside a rectangle.
void drawText(Display* d, Drawable to, GC gc, int x, int y0, int y1, std::size_t chars) {
    int row = 0;
    for (int y = y0 + 14; y < y1; y += 14, ++row) {
        XSetForeground(d, gc, kInk[row % 5]);
        XDrawString(d, to, gc, x + (row % 7) * 3, y, kLine.c_str(),
                    static_cast<int>(std::min(chars, kLine.size())));
    }
}

// Draws a 1920x1080 picture with `paint` and reads it back as BGRX rows.
template <typename Paint>
std::vector<std::uint8_t> drawnPicture(Display* d, int w, int h, Paint paint) {
    const int screen = DefaultScreen(d);
    Pixmap pm =
        XCreatePixmap(d, RootWindow(d, screen), static_cast<unsigned>(w), static_cast<unsigned>(h),
                      static_cast<unsigned>(DefaultDepth(d, screen)));
    GC gc = XCreateGC(d, pm, 0, nullptr);
    paint(pm, gc);
    XImage* img = XGetImage(d, pm, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h),
                            AllPlanes, ZPixmap);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(w) * h * 4);
    for (int y = 0; y < h && img != nullptr; ++y) {
        std::memcpy(out.data() + static_cast<std::size_t>(y) * w * 4,
                    img->data + static_cast<std::size_t>(y) * img->bytes_per_line,
                    static_cast<std::size_t>(w) * 4);
    }
    if (img != nullptr)
        XDestroyImage(img);
    XFreeGC(d, gc);
    XFreePixmap(d, pm);
    return out;
}

// A white page covered with lines of text.
std::vector<std::uint8_t> textPage(Display* d, int w, int h) {
    return drawnPicture(d, w, h, [&](Pixmap pm, GC gc) {
        XSetForeground(d, gc, 0xFFFFFF);
        XFillRectangle(d, pm, gc, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h));
        drawText(d, pm, gc, 4, 0, h, kLine.size());
    });
}

// A desktop: a plain background, a panel, and three windows with title bars, two of them
// partly filled with text, one with a row of coloured buttons.
std::vector<std::uint8_t> desktop(Display* d, int w, int h) {
    return drawnPicture(d, w, h, [&](Pixmap pm, GC gc) {
        auto fill = [&](unsigned long colour, int x, int y, int width, int height) {
            XSetForeground(d, gc, colour);
            XFillRectangle(d, pm, gc, x, y, static_cast<unsigned>(width),
                           static_cast<unsigned>(height));
        };
        fill(0x3A6EA5, 0, 0, w, h);
        fill(0x2B2B2B, 0, h - 40, w, 40);
        struct Window {
            int x, y, width, height;
            unsigned long body;
            std::size_t chars;
        } windows[] = {{60, 50, 900, 700, 0xFFFFFF, 120},
                       {1020, 120, 820, 520, 0xFFFFFF, 70},
                       {420, 640, 760, 360, 0xECECEC, 0}};
        for (const Window& win : windows) {
            fill(0x1F3F6F, win.x, win.y, win.width, 28);
            fill(win.body, win.x, win.y + 28, win.width, win.height - 28);
            if (win.chars > 0)
                drawText(d, pm, gc, win.x + 8, win.y + 30, win.y + win.height * 2 / 3, win.chars);
        }
        const unsigned long buttons[] = {0xD04040, 0x40A040, 0x4060D0, 0xE0B020, 0x808080};
        for (int i = 0; i < 10; ++i)
            fill(buttons[i % 5], 440 + i * 70, 680, 56, 40);
    });
}

struct Quality {
    double psnrAll = 0;
    double psnrInk = 0;   // over pixels that are not white (the text), when there are any
    double psnrLuma = 0;  // brightness alone over all pixels: what makes text legible
};

Quality compare(const ScreenImage& src, const unsigned char* jpeg, unsigned long size) {
    Quality q;
    tjhandle h = tjInitDecompress();
    std::vector<unsigned char> bgrx(static_cast<std::size_t>(src.width) * src.height * 4);
    if (tjDecompress2(h, jpeg, size, bgrx.data(), src.width, 0, src.height, TJPF_BGRX, 0) != 0) {
        tjDestroy(h);
        return q;
    }
    tjDestroy(h);
    double seAll = 0, seInk = 0, seLuma = 0;
    std::size_t nAll = 0, nInk = 0, nLuma = 0;
    for (int y = 0; y < src.height; ++y) {
        const std::uint8_t* a = src.pixels + static_cast<std::size_t>(y) * src.strideBytes;
        const unsigned char* b = bgrx.data() + static_cast<std::size_t>(y) * src.width * 4;
        for (int x = 0; x < src.width; ++x) {
            const bool ink = !(a[x * 4] == 255 && a[x * 4 + 1] == 255 && a[x * 4 + 2] == 255);
            const double ya = 0.114 * a[x * 4] + 0.587 * a[x * 4 + 1] + 0.299 * a[x * 4 + 2];
            const double yb = 0.114 * b[x * 4] + 0.587 * b[x * 4 + 1] + 0.299 * b[x * 4 + 2];
            seLuma += (ya - yb) * (ya - yb);
            ++nLuma;
            for (int c = 0; c < 3; ++c) {
                const double e = static_cast<double>(a[x * 4 + c]) - b[x * 4 + c];
                seAll += e * e;
                ++nAll;
                if (ink) {
                    seInk += e * e;
                    ++nInk;
                }
            }
        }
    }
    auto psnr = [](double se, std::size_t n) {
        if (n == 0)
            return 0.0;
        const double mse = se / static_cast<double>(n);
        return mse <= 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
    };
    q.psnrAll = psnr(seAll, nAll);
    q.psnrInk = psnr(seInk, nInk);
    q.psnrLuma = psnr(seLuma, nLuma);
    return q;
}

void measure(const char* pictureName, const ScreenImage& image, int rounds) {
    const struct {
        int quality;
        ChromaSubsampling sub;
        const char* name;
    } settings[] = {{50, ChromaSubsampling::k420, "4:2:0"}, {60, ChromaSubsampling::k420, "4:2:0"},
                    {75, ChromaSubsampling::k420, "4:2:0"}, {75, ChromaSubsampling::k444, "4:4:4"},
                    {85, ChromaSubsampling::k420, "4:2:0"}, {85, ChromaSubsampling::k444, "4:4:4"},
                    {90, ChromaSubsampling::k420, "4:2:0"}, {90, ChromaSubsampling::k444, "4:4:4"},
                    {95, ChromaSubsampling::k420, "4:2:0"}};
    for (const auto& s : settings) {
        std::unique_ptr<JpegEncoder> enc = createTurboJpegEncoder({s.quality, s.sub});
        EncodedJpeg out;
        if (!enc || !enc->encode(image, out)) {
            std::printf("%-7s q%d %s: encode failed\n", pictureName, s.quality, s.name);
            continue;
        }
        const double t0 = nowMs();
        for (int i = 0; i < rounds; ++i)
            (void)enc->encode(image, out);
        const double ms = (nowMs() - t0) / rounds;
        const Quality q = compare(image, out.data, out.size);
        // A changing picture at 25 frames per second: 90000 files an hour.
        const double gbPerHour = static_cast<double>(out.size) * 90000 / 1e9;
        std::printf(
            "%-7s q%-3d %s  encode %6.2f ms CPU (%5.1f%% of a core at 25 fps)  %7.1f KB  "
            "%5.1f GB/h  PSNR %5.2f dB  luma %5.2f dB  ink %5.2f dB\n",
            pictureName, s.quality, s.name, ms, ms * 25 / 10, out.size / 1024.0, gbPerHour,
            q.psnrAll, q.psnrLuma, q.psnrInk);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 30;
    Display* d = XOpenDisplay(nullptr);
    if (d == nullptr) {
        std::fputs("mdl-bench-jpeg: no display\n", stderr);
        return 2;
    }
    const int w = 1920, h = 1080;
    std::unique_ptr<ScreenGrabber> grabber = createX11ScreenGrabber();
    if (!grabber->open(w, h) || !grabber->grab(0, 0)) {
        std::fputs("mdl-bench-jpeg: cannot grab the screen\n", stderr);
        return 2;
    }
    const double g0 = nowMs();
    for (int i = 0; i < rounds; ++i)
        (void)grabber->grab(0, 0);
    std::printf("grab 1920x1080: %.3f ms CPU of this process\n", (nowMs() - g0) / rounds);
    measure("screen", *grabber->image(), rounds);

    const struct {
        const char* name;
        std::vector<std::uint8_t> pixels;
    } pictures[] = {{"text", textPage(d, w, h)}, {"desktop", desktop(d, w, h)}};
    for (const auto& picture : pictures) {
        ScreenImage image;
        image.pixels = picture.pixels.data();
        image.width = w;
        image.height = h;
        image.strideBytes = static_cast<std::size_t>(w) * 4;
        measure(picture.name, image, rounds);
    }
    XCloseDisplay(d);
    return 0;
}
