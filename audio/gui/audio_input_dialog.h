// The audio input source dialog (template 322): "Sound mixer" (loopback of the default output)
// or "Microphone". Both radio buttons open unchecked whatever the setting holds; OK stores the
// checked source in audioStreamFlags, and with neither checked keeps it. GUI thread only.
#pragma once

#include "framework/template_dialog.h"
#include "recorder/state.h"

namespace marrowdale {

class CDIALOG_AUDIOINPUT : public TemplateDialog {
    Q_OBJECT
  public:
    static constexpr int kTemplateId = 322;
    static constexpr int kSoundMixerRadio = 1017;
    static constexpr int kMicrophoneRadio = 1018;

    explicit CDIALOG_AUDIOINPUT(CaptureSettings& settings = captureSettings(),
                                QWidget* parent = nullptr);

  protected:
    void onOK() override;

  private:
    CaptureSettings& settings_;
};

}  // namespace marrowdale
