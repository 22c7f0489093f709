// The frame rate and frame options dialog (template 314): the time between frames in
// milliseconds and the frame option code. It always opens with "40" and "1"; the preset buttons
// only fill the edit boxes; OK stores framePeriod and frameOption. GUI thread only.
#pragma once

#include "framework/template_dialog.h"
#include "recorder/state.h"

namespace marrowdale {

class CDIALOGFRAMERATE : public TemplateDialog {
    Q_OBJECT
  public:
    static constexpr int kTemplateId = 314;
    static constexpr int kPeriodEdit = 1005;
    static constexpr int kOptionEdit = 1006;

    explicit CDIALOGFRAMERATE(CaptureSettings& settings = captureSettings(),
                              QWidget* parent = nullptr);

  protected:
    bool onInitDialog() override;
    void onOK() override;

  private:
    CaptureSettings& settings_;
};

}  // namespace marrowdale
