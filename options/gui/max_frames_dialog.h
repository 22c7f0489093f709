// The maximum frames dialog (template 318): the frame limit of a recording, two calculators
// between minutes and frames that only fill edit boxes, and the two close-other-windows check
// boxes. It opens with the current limit, its minutes at 25 frames per second, the rate 25 and
// the current check states; OK stores maxFrames and the two flags. GUI thread only.
#pragma once

#include <functional>

#include <QString>

#include "framework/template_dialog.h"
#include "recorder/state.h"

namespace marrowdale {

class CMAXFRAMES : public TemplateDialog {
    Q_OBJECT
  public:
    static constexpr int kTemplateId = 318;
    static constexpr int kRateEdit = 1010;
    static constexpr int kMinutesEdit = 1011;
    static constexpr int kFramesEdit = 1012;
    static constexpr int kCalculateMinutes = 1013;
    static constexpr int kCalculateFrames = 1014;
    static constexpr int kCloseOthersCheck = 1020;
    static constexpr int kShowCloseOthersCheck = 1021;

    // Appended to the close-other-windows check box where this desktop does not let the program
    // close other windows (a Wayland desktop without the foreign-toplevel protocol); the box is
    // then cleared and disabled.
    static constexpr const char* kNotAvailableSuffix = " (not available on this desktop)";

    // `message` shows the dialog's two messages (by default the program's message box);
    // `closeOthersAvailable` says whether other windows can be closed on this desktop (by
    // default they can).
    explicit CMAXFRAMES(CaptureSettings& settings = captureSettings(), QWidget* parent = nullptr,
                        std::function<void(const QString&)> message = {},
                        std::function<bool()> closeOthersAvailable = {});

  protected:
    bool onInitDialog() override;
    void onOK() override;

  private:
    void calculateFrames();
    void calculateMinutes();

    CaptureSettings& settings_;
    std::function<void(const QString&)> message_;
    std::function<bool()> closeOthersAvailable_;
};

}  // namespace marrowdale
