#include "audio/gui/audio_input_dialog.h"

namespace marrowdale {

CDIALOG_AUDIOINPUT::CDIALOG_AUDIOINPUT(CaptureSettings& settings, QWidget* parent)
    : TemplateDialog(kTemplateId, parent), settings_(settings) {}

void CDIALOG_AUDIOINPUT::onOK() {
    if (isButtonChecked(kSoundMixerRadio))
        settings_.audioStreamFlags = kAudioStreamFlagsLoopback;
    if (isButtonChecked(kMicrophoneRadio))
        settings_.audioStreamFlags = 0;
    TemplateDialog::onOK();
}

}  // namespace marrowdale
