// mdl-bench-jpeg: what each JPEG quality and chroma subsampling costs on this machine, on the
// picture now on the screen (the plasma) and on a screen of text, and how close the decoded
// picture stays to the original (PSNR over all pixels, and over the text pixels alone).
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <time.h>
#include <turbojpeg.h>

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

// A white 1920x1080 page of lines of text in the server's "fixed" font, as BGRX rows.
std::vector<std::uint8_t> textPage(Display* d, int w, int h) {
    const int screen = DefaultScreen(d);
    Pixmap pm =
        XCreatePixmap(d, RootWindow(d, screen), static_cast<unsigned>(w), static_cast<unsigned>(h),
                      static_cast<unsigned>(DefaultDepth(d, screen)));
    GC gc = XCreateGC(d, pm, 0, nullptr);
    XSetForeground(d, gc, 0xFFFFFF);
    XFillRectangle(d, pm, gc, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h));
    const unsigned long colours[] = {0x000000, 0x202020, 0x0000C0, 0xC00000, 0x008000};
    const std::string line =
        "int runScreenCaptureWorker(CaptureSettings& settings, RecorderState& state) { return 0; }"
        " // 0123456789 The quick brown fox jumps over the lazy dog.";
    int row = 0;
    for (int y = 14; y < h; y += 14, ++row) {
        XSetForeground(d, gc, colours[row % 5]);
        XDrawString(d, pm, gc, 4 + (row % 7) * 3, y, line.c_str(), static_cast<int>(line.size()));
    }
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
    } settings[] = {{75, ChromaSubsampling::k420, "4:2:0"}, {75, ChromaSubsampling::k444, "4:4:4"},
                    {85, ChromaSubsampling::k420, "4:2:0"}, {85, ChromaSubsampling::k444, "4:4:4"},
                    {90, ChromaSubsampling::k420, "4:2:0"}, {90, ChromaSubsampling::k444, "4:4:4"}};
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
        std::printf(
            "%-7s q%-3d %s  encode %6.2f ms CPU (%5.1f%% of a core at 25 fps)  %7.1f KB  "
            "PSNR %5.2f dB  luma %5.2f dB  ink %5.2f dB\n",
            pictureName, s.quality, s.name, ms, ms * 25 / 10, out.size / 1024.0, q.psnrAll,
            q.psnrLuma, q.psnrInk);
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

    std::vector<std::uint8_t> page = textPage(d, w, h);
    ScreenImage text;
    text.pixels = page.data();
    text.width = w;
    text.height = h;
    text.strideBytes = static_cast<std::size_t>(w) * 4;
    measure("text", text, rounds);
    XCloseDisplay(d);
    return 0;
}
