// The view that a capture-area selection runs for, as the selection sees it: where its prompts
// go, the display copy of the rectangle it keeps, its repaint. The desktop program's recorder
// view implements it; RecorderState records the view of the last command (commandView).
#pragma once

#include <cstdint>

#include "platform/handles.h"

namespace marrowdale {

// GUI thread only.
class CaptureView {
  public:
    virtual ~CaptureView() = default;

    // The top-level frame that contains the view (null when it has none).
    virtual WindowHandle topLevelFrameHandle() = 0;
    // The view's own window.
    virtual WindowHandle viewWindowHandle() = 0;

    // The view's display copy of the rectangle (shownTop, shownLeft, shownRight, shownBottom).
    virtual void setShownTopLeft(std::int32_t x, std::int32_t y) = 0;
    virtual void setShownBottomRight(std::int32_t x, std::int32_t y) = 0;

    // Repaints the whole client area of the view, background erased.
    virtual void repaintErase() = 0;
};

}  // namespace marrowdale
