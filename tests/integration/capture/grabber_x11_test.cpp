// The X11 screen grabber on its own, with shared memory and without: every pixel of the grab
// against the picture on the screen, rectangles inside, across the edges and outside it.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/x11/x11_services.h"
#include "private_xvfb.h"
#include "screen_picture.h"

namespace {

using capture_test::Picture;
using capture_test::Rgb;
using capture_test::screenColor;
using marrowdale::createX11ScreenGrabber;
using marrowdale::GrabBuffer;
using marrowdale::ScreenGrabber;
using marrowdale::ScreenImage;

// Every pixel of the image against the screen; the first mismatch is reported.
::testing::AssertionResult showsScreen(const ScreenImage& img, int left, int top, int screenW,
                                       int screenH) {
    for (int y = 0; y < img.height; ++y) {
        const std::uint8_t* row = img.pixels + static_cast<std::size_t>(y) * img.strideBytes;
        for (int x = 0; x < img.width; ++x) {
            const int sx = left + x, sy = top + y;
            const bool onScreen = sx >= 0 && sy >= 0 && sx < screenW && sy < screenH;
            const Rgb want = onScreen ? screenColor(sx, sy) : Rgb{0, 0, 0};
            const std::uint8_t* p = row + static_cast<std::size_t>(x) * 4;
            if (p[0] != want.b || p[1] != want.g || p[2] != want.r) {
                return ::testing::AssertionFailure()
                       << "pixel (" << x << "," << y << ") of the grab at (" << left << "," << top
                       << "): got (" << int(p[2]) << "," << int(p[1]) << "," << int(p[0])
                       << ") want (" << want.r << "," << want.g << "," << want.b << ")";
            }
        }
    }
    return ::testing::AssertionSuccess();
}

struct Rect {
    const char* what;
    int left, top, width, height;
};

class GrabberOnX11 : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "these tests need an X display";
        ASSERT_TRUE(picture.ready());
    }
    Picture picture;
};

TEST_P(GrabberOnX11, EveryPixelOfEveryRectangle) {
    const Rect rects[] = {
        {"default area", 100, 100, 700, 500},
        {"full screen", 0, 0, 1920, 1080},
        {"across the bottom-right corner", 1800, 1000, 200, 200},
        {"across the top-left corner", -40, -30, 160, 120},
        {"across the right edge", 1850, 500, 300, 40},
        {"wholly outside", 3000, 3000, 64, 48},
        {"wholly left of the screen", -500, 10, 100, 100},
        {"odd size", 431, 347, 37, 13},
    };
    for (const Rect& r : rects) {
        SCOPED_TRACE(r.what);
        std::unique_ptr<ScreenGrabber> g = createX11ScreenGrabber({}, GetParam());
        ASSERT_TRUE(g->open(r.width, r.height));
        const ScreenImage* img = g->image();
        ASSERT_NE(img, nullptr);
        EXPECT_EQ(img->width, r.width);
        EXPECT_EQ(img->height, r.height);
        EXPECT_EQ(img->bitsPerPixel, 32);
        EXPECT_EQ(img->planes, 1);
        EXPECT_GE(img->strideBytes, static_cast<std::size_t>(r.width) * 4);
        ASSERT_TRUE(g->grab(r.left, r.top));
        EXPECT_TRUE(showsScreen(*img, r.left, r.top, picture.width(), picture.height()));
        g->close();
        EXPECT_EQ(g->image(), nullptr);
    }
}

TEST_P(GrabberOnX11, OneImageFollowsTheCornerFromGrabToGrab) {
    std::unique_ptr<ScreenGrabber> g = createX11ScreenGrabber({}, GetParam());
    ASSERT_TRUE(g->open(200, 150));
    const ScreenImage* img = g->image();
    const std::uint8_t* pixels = img->pixels;
    // Inside, then partly outside (the outside must be black again, not what the grab before
    // left there), then inside once more.
    const int corners[][2] = {{350, 250}, {1850, 1000}, {-100, -100}, {400, 300}, {1800, 1000}};
    for (const auto& c : corners) {
        SCOPED_TRACE(std::to_string(c[0]) + "," + std::to_string(c[1]));
        ASSERT_TRUE(g->grab(c[0], c[1]));
        EXPECT_EQ(g->image(), img);
        EXPECT_EQ(img->pixels, pixels);  // the same memory all along
        EXPECT_TRUE(showsScreen(*img, c[0], c[1], picture.width(), picture.height()));
    }
}

// Grab buffers: each holds its own grab, at its own address, while the others are grabbed
// into; a buffer still held when the grabber closes keeps its last picture.
TEST_P(GrabberOnX11, EachBufferHoldsItsOwnGrab) {
    std::unique_ptr<ScreenGrabber> g = createX11ScreenGrabber({}, GetParam());
    EXPECT_EQ(g->makeBuffer(), nullptr) << "no buffer before open()";
    ASSERT_TRUE(g->open(200, 150));
    std::unique_ptr<GrabBuffer> a = g->makeBuffer();
    std::unique_ptr<GrabBuffer> b = g->makeBuffer();
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a->image().pixels, b->image().pixels);
    EXPECT_NE(a->image().pixels, g->image()->pixels);
    EXPECT_EQ(a->image().width, 200);
    EXPECT_EQ(a->image().height, 150);
    ASSERT_TRUE(g->grab(400, 300));
    const int corners[][2] = {{350, 250}, {1850, 1000}, {-100, -100}, {60, 20}};
    for (const auto& c : corners) {
        SCOPED_TRACE(std::to_string(c[0]) + "," + std::to_string(c[1]));
        ASSERT_TRUE(g->grabInto(c[0], c[1], *a));
        ASSERT_TRUE(g->grabInto(c[0] + 7, c[1] + 5, *b));
        EXPECT_TRUE(showsScreen(a->image(), c[0], c[1], picture.width(), picture.height()));
        EXPECT_TRUE(showsScreen(b->image(), c[0] + 7, c[1] + 5, picture.width(), picture.height()));
    }
    EXPECT_TRUE(showsScreen(*g->image(), 400, 300, picture.width(), picture.height()))
        << "grabs into buffers leave the grabber's own image alone";
    b.reset();
    g->close();
    EXPECT_FALSE(g->grabInto(0, 0, *a));
    EXPECT_TRUE(showsScreen(a->image(), 60, 20, picture.width(), picture.height()));
    a.reset();
}

// Drawing into a window of its own on `display`, from a connection of its own.
class Painter {
  public:
    explicit Painter(const std::string& display) : d_(XOpenDisplay(display.c_str())) {
        if (d_ == nullptr)
            return;
        XSetWindowAttributes attrs{};
        attrs.override_redirect = True;
        attrs.background_pixel = BlackPixel(d_, DefaultScreen(d_));
        w_ = XCreateWindow(d_, DefaultRootWindow(d_), 0, 0, 1024, 768, 0, CopyFromParent,
                           InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &attrs);
        XMapRaised(d_, w_);
        gc_ = XCreateGC(d_, w_, 0, nullptr);
        XSync(d_, False);
    }
    ~Painter() {
        if (d_ != nullptr)
            XCloseDisplay(d_);
    }
    Painter(const Painter&) = delete;
    Painter& operator=(const Painter&) = delete;
    bool ready() const { return d_ != nullptr; }
    void fill(int x, int y, int width, int height, unsigned long color) {
        XSetForeground(d_, gc_, color);
        XFillRectangle(d_, w_, gc_, x, y, static_cast<unsigned>(width),
                       static_cast<unsigned>(height));
        XSync(d_, False);
    }

  private:
    Display* d_;
    Window w_ = 0;
    GC gc_ = nullptr;
};

// The grabber tells whether anything was drawn into the rectangle since its last grab: only
// drawing inside it counts, and only a grab that succeeded at the same corner is a reference.
TEST_P(GrabberOnX11, TellsWhetherTheRectangleWasDrawnIntoSinceTheLastGrab) {
    using marrowdale::ScreenChange;
    capture_test::PrivateXvfb server;
    ASSERT_TRUE(server.ready()) << "could not start a private Xvfb";
    auto painter = std::make_unique<Painter>(server.name());
    ASSERT_TRUE(painter->ready());
    std::unique_ptr<ScreenGrabber> g = createX11ScreenGrabber(server.name(), GetParam());
    EXPECT_EQ(g->changeSinceLastGrab(100, 100), ScreenChange::kUnknown) << "not open";
    ASSERT_TRUE(g->open(200, 150));
    EXPECT_EQ(g->changeSinceLastGrab(100, 100), ScreenChange::kUnknown) << "no grab there yet";
    ASSERT_TRUE(g->grab(100, 100));
    EXPECT_EQ(g->changeSinceLastGrab(100, 100), ScreenChange::kNone);
    painter->fill(500, 400, 50, 50, 0x00FF00);  // outside
    painter->fill(300, 100, 10, 10, 0x00FF00);  // just right of it
    EXPECT_EQ(g->changeSinceLastGrab(100, 100), ScreenChange::kNone);
    painter->fill(299, 249, 10, 10, 0xFF0000);  // its bottom-right pixel
    EXPECT_EQ(g->changeSinceLastGrab(100, 100), ScreenChange::kSome);
    ASSERT_TRUE(g->grab(100, 100));
    EXPECT_EQ(g->changeSinceLastGrab(100, 100), ScreenChange::kNone);
    EXPECT_EQ(g->changeSinceLastGrab(101, 100), ScreenChange::kUnknown) << "another corner";

    // A grab into a buffer is a last grab too.
    std::unique_ptr<GrabBuffer> buffer = g->makeBuffer();
    ASSERT_NE(buffer, nullptr);
    ASSERT_TRUE(g->grabInto(40, 30, *buffer));
    painter->fill(40, 30, 1, 1, 0x0000FF);
    EXPECT_EQ(g->changeSinceLastGrab(40, 30), ScreenChange::kSome);
    ASSERT_TRUE(g->grabInto(40, 30, *buffer));
    EXPECT_EQ(g->changeSinceLastGrab(40, 30), ScreenChange::kNone);

    // A screen that changed its size shows the rectangle anew, drawn into or not.
    ASSERT_TRUE(server.resize("640x480"));
    EXPECT_EQ(g->changeSinceLastGrab(40, 30), ScreenChange::kUnknown);
    ASSERT_TRUE(g->grabInto(40, 30, *buffer));
    EXPECT_EQ(g->changeSinceLastGrab(40, 30), ScreenChange::kNone);

    // A grab that failed is no reference (the painter's connection goes first: Xlib would end
    // the test with it).
    painter.reset();
    server.kill();
    EXPECT_FALSE(g->grab(600, 400));
    EXPECT_EQ(g->changeSinceLastGrab(600, 400), ScreenChange::kUnknown);
    buffer.reset();
    g->close();
}

TEST_P(GrabberOnX11, NoImageWithoutAPositiveSize) {
    std::unique_ptr<ScreenGrabber> g = createX11ScreenGrabber({}, GetParam());
    EXPECT_EQ(g->image(), nullptr);
    EXPECT_FALSE(g->grab(0, 0));
    EXPECT_FALSE(g->open(0, 100));
    EXPECT_FALSE(g->open(100, -1));
    EXPECT_EQ(g->image(), nullptr);
    EXPECT_FALSE(g->grab(0, 0));
    g->close();
    g->close();
}

// Paints blocks of colour straight onto the root window of a private server, in whatever pixel
// layout its screen has; black elsewhere.
struct Paint {
    int x, y, width, height;
    capture_test::Rgb colour;
};
bool paintRoot(const std::string& displayName, const std::vector<Paint>& blocks) {
    Display* d = XOpenDisplay(displayName.c_str());
    if (d == nullptr)
        return false;
    const int screen = DefaultScreen(d);
    const Window root = RootWindow(d, screen);
    GC gc = XCreateGC(d, root, 0, nullptr);
    std::vector<Paint> all{{0, 0, DisplayWidth(d, screen), DisplayHeight(d, screen), {0, 0, 0}}};
    all.insert(all.end(), blocks.begin(), blocks.end());
    bool ok = true;
    for (const Paint& p : all) {
        XColor colour{};
        colour.red = static_cast<unsigned short>(p.colour.r * 257);
        colour.green = static_cast<unsigned short>(p.colour.g * 257);
        colour.blue = static_cast<unsigned short>(p.colour.b * 257);
        ok = ok && XAllocColor(d, DefaultColormap(d, screen), &colour) != 0;
        XSetForeground(d, gc, colour.pixel);
        XFillRectangle(d, root, gc, p.x, p.y, static_cast<unsigned>(p.width),
                       static_cast<unsigned>(p.height));
    }
    XFreeGC(d, gc);
    XSync(d, False);
    XCloseDisplay(d);
    return ok;
}

// Every pixel of a grab at (left, top) against painted blocks on a screen of the given size.
::testing::AssertionResult showsPaint(const ScreenImage& img, int left, int top, int screenW,
                                      int screenH, const std::vector<Paint>& blocks) {
    for (int y = 0; y < img.height; ++y) {
        for (int x = 0; x < img.width; ++x) {
            const int sx = left + x, sy = top + y;
            Rgb want{0, 0, 0};
            if (sx >= 0 && sy >= 0 && sx < screenW && sy < screenH)
                for (const Paint& b : blocks)
                    if (sx >= b.x && sx < b.x + b.width && sy >= b.y && sy < b.y + b.height)
                        want = b.colour;
            const std::uint8_t* p =
                img.pixels + static_cast<std::size_t>(y) * img.strideBytes + x * 4u;
            if (p[0] != want.b || p[1] != want.g || p[2] != want.r)
                return ::testing::AssertionFailure()
                       << "pixel (" << x << "," << y << "): got (" << int(p[2]) << "," << int(p[1])
                       << "," << int(p[0]) << ") want (" << want.r << "," << want.g << "," << want.b
                       << ")";
        }
    }
    return ::testing::AssertionSuccess();
}

// The screen changes its size under a running grabber (RandR, as xrandr --fb does): each grab
// copies what of the rectangle is on the screen now and blacks the rest, whether the screen
// shrank (a grab past the old edge would fail) or grew (the new part would stay black).
TEST_P(GrabberOnX11, ScreenChangingItsSizeIsFollowed) {
    capture_test::PrivateXvfb server("1024x768x24");
    ASSERT_TRUE(server.ready()) << "could not start a private Xvfb";
    const std::vector<Paint> green{{0, 0, 1024, 768, {0, 255, 0}}};
    ASSERT_TRUE(server.resize("640x480"));
    ASSERT_TRUE(paintRoot(server.name(), green));
    std::unique_ptr<ScreenGrabber> g = createX11ScreenGrabber(server.name(), GetParam());
    ASSERT_TRUE(g->open(700, 500));
    ASSERT_TRUE(g->grab(300, 200));
    EXPECT_TRUE(showsPaint(*g->image(), 300, 200, 640, 480, green));

    ASSERT_TRUE(server.resize("1024x768"));
    ASSERT_TRUE(paintRoot(server.name(), green));
    ASSERT_TRUE(g->grab(300, 200));
    EXPECT_TRUE(showsPaint(*g->image(), 300, 200, 1024, 768, green)) << "after growing";
    std::unique_ptr<GrabBuffer> buffer = g->makeBuffer();
    ASSERT_NE(buffer, nullptr);

    ASSERT_TRUE(server.resize("640x480"));
    ASSERT_TRUE(paintRoot(server.name(), green));  // the server drops the picture as it resizes
    ASSERT_TRUE(g->grab(300, 200)) << "after shrinking";
    EXPECT_TRUE(showsPaint(*g->image(), 300, 200, 640, 480, green)) << "after shrinking";
    ASSERT_TRUE(g->grabInto(250, 150, *buffer));
    EXPECT_TRUE(showsPaint(buffer->image(), 250, 150, 640, 480, green)) << "into a buffer";
    buffer.reset();
    g->close();
}

struct LayoutCase {
    const char* name;
    const char* screen;
    bool sharedMemory;
};

class GrabberLayouts : public ::testing::TestWithParam<LayoutCase> {};

// Screens of 16 and 30 bits per pixel are grabbed into the 32-bit pictures the writers take,
// every pixel its colour, for the grabber's own image and for its buffers, inside the screen
// and hanging off its edge (an odd width, whose 16-bit rows the server pads).
TEST_P(GrabberLayouts, PixelsAreConvertedToThirtyTwoBits) {
    const LayoutCase& c = GetParam();
    capture_test::PrivateXvfb server(c.screen);
    ASSERT_TRUE(server.ready()) << "could not start a private Xvfb " << c.screen;
    const std::vector<Paint> blocks{
        {0, 0, 320, 240, {255, 0, 0}},       {320, 0, 320, 240, {0, 255, 0}},
        {0, 240, 320, 240, {0, 0, 255}},     {320, 240, 320, 240, {255, 255, 0}},
        {100, 100, 31, 17, {255, 255, 255}}, {600, 440, 40, 40, {0, 255, 255}}};
    ASSERT_TRUE(paintRoot(server.name(), blocks));
    std::unique_ptr<ScreenGrabber> g = createX11ScreenGrabber(server.name(), c.sharedMemory);
    ASSERT_TRUE(g->open(201, 151)) << g->openError();
    EXPECT_EQ(g->image()->bitsPerPixel, 32);
    ASSERT_TRUE(g->grab(230, 170));
    EXPECT_TRUE(showsPaint(*g->image(), 230, 170, 640, 480, blocks));
    std::unique_ptr<GrabBuffer> buffer = g->makeBuffer();
    ASSERT_NE(buffer, nullptr);
    ASSERT_TRUE(g->grabInto(501, 377, *buffer));
    EXPECT_TRUE(showsPaint(buffer->image(), 501, 377, 640, 480, blocks)) << "off the edge";
    ASSERT_TRUE(g->grab(-7, 90));
    EXPECT_TRUE(showsPaint(*g->image(), -7, 90, 640, 480, blocks)) << "off the left edge";
    buffer.reset();
    g->close();
}

INSTANTIATE_TEST_SUITE_P(Depths, GrabberLayouts,
                         ::testing::Values(LayoutCase{"depth16_shared", "640x480x16", true},
                                           LayoutCase{"depth16_plain", "640x480x16", false},
                                           LayoutCase{"depth30_shared", "640x480x30", true}),
                         [](const auto& test) { return std::string(test.param.name); });

// A screen whose pixels are colour numbers of a palette cannot be recorded: open() says so.
TEST(GrabberOnX11Palette, EightBitScreenIsRefusedWithTheReason) {
    capture_test::PrivateXvfb server("640x480x8");
    ASSERT_TRUE(server.ready()) << "could not start a private Xvfb";
    std::unique_ptr<ScreenGrabber> g = createX11ScreenGrabber(server.name());
    EXPECT_FALSE(g->open(100, 100));
    EXPECT_EQ(g->image(), nullptr);
    EXPECT_NE(g->openError().find("cannot be recorded"), std::string::npos) << g->openError();
}

// The display server goes away under a running grabber: grabs fail from then on, the loss is
// reported, and neither the grabs nor close() end the program (Xlib's default would).
TEST_P(GrabberOnX11, DisplayServerEndingFailsTheGrabsOnly) {
    capture_test::PrivateXvfb server;
    ASSERT_TRUE(server.ready()) << "could not start a private Xvfb";
    std::unique_ptr<ScreenGrabber> g = createX11ScreenGrabber(server.name(), GetParam());
    ASSERT_TRUE(g->open(320, 240));
    ASSERT_TRUE(g->grab(10, 10));
    std::unique_ptr<GrabBuffer> buffer = g->makeBuffer();
    EXPECT_FALSE(g->connectionLost());
    server.kill();
    EXPECT_FALSE(g->grab(10, 10));
    EXPECT_TRUE(g->connectionLost());
    EXPECT_FALSE(g->grab(20, 20));
    EXPECT_NE(g->image(), nullptr) << "the last picture stays for the writers";
    ASSERT_NE(buffer, nullptr);
    EXPECT_FALSE(g->grabInto(10, 10, *buffer));
    EXPECT_EQ(g->makeBuffer(), nullptr);
    buffer.reset();
    g->close();
    EXPECT_EQ(g->image(), nullptr);
}

TEST(GrabberOnX11NoDisplay, OpenFailsOnAMissingDisplay) {
    std::unique_ptr<ScreenGrabber> g = createX11ScreenGrabber(":4321");
    EXPECT_FALSE(g->open(10, 10));
    EXPECT_EQ(g->image(), nullptr);
    std::string error;
    EXPECT_FALSE(marrowdale::x11DisplayAvailable(":4321", error));
    EXPECT_NE(error.find(":4321"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Memory, GrabberOnX11, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& test) {
                             return test.param ? std::string("SharedMemory")
                                               : std::string("PlainGetImage");
                         });

}  // namespace
