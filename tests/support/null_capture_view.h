// A view that tests only point at (the recorded commandView): it answers nothing and draws
// nothing.
#pragma once

#include <cstdint>

#include "capture_area/capture_view.h"

namespace marrowdale::test {

class NullCaptureView final : public CaptureView {
  public:
    WindowHandle topLevelFrameHandle() override { return nullptr; }
    WindowHandle viewWindowHandle() override { return nullptr; }
    void setShownTopLeft(std::int32_t, std::int32_t) override {}
    void setShownBottomRight(std::int32_t, std::int32_t) override {}
    void repaintErase() override {}
};

}  // namespace marrowdale::test
