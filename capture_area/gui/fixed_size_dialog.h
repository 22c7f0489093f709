// The fixed-size capture area dialog (template 311): four preset sizes that only fill the width
// and height boxes, and OK, which moves the right and bottom edges of the capture rectangle to
// its top-left corner plus the typed size. It opens with empty boxes and no preset checked.
// GUI thread only.
#pragma once

#include <cstdint>

#include "framework/template_dialog.h"
#include "recorder/state.h"

namespace marrowdale {

class ClassDlgFillSize : public TemplateDialog {
    Q_OBJECT
  public:
    static constexpr int kTemplateId = 311;
    static constexpr int kWidthEdit = 1030;
    static constexpr int kHeightEdit = 1031;

    explicit ClassDlgFillSize(CaptureSettings& settings = captureSettings(),
                              QWidget* parent = nullptr);

  protected:
    void onOK() override;

  private:
    CaptureSettings& settings_;
};

// The fixed-size command: runs the dialog and, however it was closed, copies captureRight and
// captureBottom into the view's display copy (`shownRight`, `shownBottom`). The caller repaints
// the view afterwards.
void runFixedSizeCommand(std::int32_t& shownRight, std::int32_t& shownBottom,
                         CaptureSettings& settings = captureSettings());

}  // namespace marrowdale
