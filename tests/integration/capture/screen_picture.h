// The picture the capture suites put on the screen: coloured blocks in an override-redirect
// window that covers the whole screen, black elsewhere.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace capture_test {

struct Rgb {
    int r, g, b;
};
struct Block {
    int x0, y0, x1, y1;  // screen pixels, right and bottom exclusive
    Rgb color;
};

// The picture: four blocks filling the default capture area, one in the bottom-right corner of
// the screen, black everywhere else.
inline const Block kBlocks[] = {
    {100, 100, 450, 350, {255, 0, 0}},       {450, 100, 800, 350, {0, 255, 0}},
    {100, 350, 450, 600, {0, 0, 255}},       {450, 350, 800, 600, {255, 255, 255}},
    {1800, 1000, 1920, 1080, {255, 255, 0}}, {0, 0, 60, 60, {0, 255, 255}},
};

inline Rgb screenColor(int x, int y) {
    for (const Block& b : kBlocks) {
        if (x >= b.x0 && x < b.x1 && y >= b.y0 && y < b.y1)
            return b.color;
    }
    return {0, 0, 0};
}

// A full-screen override-redirect window showing the picture for as long as it lives.
class Picture {
  public:
    Picture() {
        display_ = XOpenDisplay(nullptr);
        if (display_ == nullptr)
            return;
        const int screen = DefaultScreen(display_);
        width_ = DisplayWidth(display_, screen);
        height_ = DisplayHeight(display_, screen);
        XSetWindowAttributes attrs{};
        attrs.override_redirect = True;
        attrs.background_pixel = BlackPixel(display_, screen);
        attrs.event_mask = ExposureMask | StructureNotifyMask;
        window_ = XCreateWindow(display_, RootWindow(display_, screen), 0, 0,
                                static_cast<unsigned>(width_), static_cast<unsigned>(height_), 0,
                                CopyFromParent, InputOutput, CopyFromParent,
                                CWOverrideRedirect | CWBackPixel | CWEventMask, &attrs);
        XMapRaised(display_, window_);
        XEvent ev;
        do {
            XWindowEvent(display_, window_, ExposureMask | StructureNotifyMask, &ev);
        } while (ev.type != Expose);
        GC gc = XCreateGC(display_, window_, 0, nullptr);
        for (const Block& b : kBlocks) {
            XSetForeground(
                display_, gc,
                static_cast<unsigned long>(b.color.r << 16 | b.color.g << 8 | b.color.b));
            XFillRectangle(display_, window_, gc, b.x0, b.y0, static_cast<unsigned>(b.x1 - b.x0),
                           static_cast<unsigned>(b.y1 - b.y0));
        }
        XFreeGC(display_, gc);
        XSync(display_, False);
        ready_ = true;
    }
    ~Picture() {
        if (display_ == nullptr)
            return;
        if (window_ != 0)
            XDestroyWindow(display_, window_);
        XCloseDisplay(display_);
    }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;
    bool ready() const { return ready_; }
    int width() const { return width_; }
    int height() const { return height_; }

  private:
    Display* display_ = nullptr;
    Window window_ = 0;
    int width_ = 0, height_ = 0;
    bool ready_ = false;
};

}  // namespace capture_test
