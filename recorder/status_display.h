// The status display of the main view: a few lines at the top left of its client area that say
// whether a recording was started or stopped, or show the capture area. The drawing itself is
// the view's (a StatusCanvas); which lines, where, and the foreground request are decided here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui_bridge.h"
#include "recorder/state.h"

namespace marrowdale {

// The font and colours of the lines: "Times New Roman" (or the system's substitute), a cell
// height of 24 pixels, normal weight; light grey text on an opaque dark grey band as wide as
// the text and as high as the font.
inline constexpr std::string_view kStatusFontFace = "Times New Roman";
inline constexpr int kStatusFontHeightPx = 24;
inline constexpr int kStatusFontWeight = 400;
inline constexpr std::uint32_t kStatusBandRgb = 0x323232;  // RGB(50, 50, 50)
inline constexpr std::uint32_t kStatusTextRgb = 0xC8C8C8;  // RGB(200, 200, 200)

// Each numeric line is formatted into a buffer of this many characters.
inline constexpr std::size_t kStatusLineBufferChars = 160;

struct StatusLine {
    int x = 0;
    int y = 0;  // top of the text cell
    std::string text;
    bool operator==(const StatusLine&) const = default;
};

// The view's display copy of the capture area, in the view's declaration order.
struct ShownArea {
    std::int32_t top = kCaptureDefaults.top;
    std::int32_t left = kCaptureDefaults.left;
    std::int32_t right = kCaptureDefaults.right;
    std::int32_t bottom = kCaptureDefaults.bottom;
};

// The lines for a status code, in drawing order: 1 "Stopped recording audio", 3 "Started video
// and audio recording", 2/4/5 the texts kept for codes that nothing sets at present, every other
// code the capture area ("Capture area", Top, Left, Bottom, Right, 20 pixels apart from (15, 15)).
std::vector<StatusLine> statusLines(StatusCode statusCode, const ShownArea& area);

// Where the lines are drawn. begin() creates and selects the font and sets the band and text
// colours, end() puts the previous font back and releases the created one.
class StatusCanvas {
  public:
    virtual ~StatusCanvas() = default;
    virtual void begin() = 0;
    virtual void drawLine(const StatusLine& line) = 0;
    virtual void end() = 0;
};

// GUI thread. One paint of the status display:
// 1. without a document nothing is drawn (and raiseOnDraw stays as it is);
// 2. a pending raiseOnDraw brings frameWindow to the foreground and is cleared;
// 3. the lines of the current statusCode (read once) are drawn between begin() and end().
void paintStatus(bool hasDocument, RecorderState& state, UiBridge& ui, const ShownArea& area,
                 StatusCanvas& canvas);

}  // namespace marrowdale
