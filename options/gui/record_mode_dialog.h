// The screen record mode dialog (template 320): modes 0, 2 and 3 of the capture loop. It opens
// with no button checked; OK stores the checked mode, or keeps captureMode when none is
// checked. GUI thread only.
#pragma once

#include "framework/template_dialog.h"
#include "recorder/state.h"

namespace marrowdale {

class CDialogScreenSaveMode : public TemplateDialog {
    Q_OBJECT
  public:
    static constexpr int kTemplateId = 320;
    static constexpr int kMode0Radio = 1014;
    static constexpr int kMode2Radio = 1015;
    static constexpr int kMode3Radio = 1016;

    explicit CDialogScreenSaveMode(CaptureSettings& settings = captureSettings(),
                                   QWidget* parent = nullptr);

  protected:
    void onOK() override;

  private:
    CaptureSettings& settings_;
};

}  // namespace marrowdale
