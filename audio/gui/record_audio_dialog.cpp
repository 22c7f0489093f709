#include "audio/gui/record_audio_dialog.h"

namespace marrowdale {

CDialogRecordAudio::CDialogRecordAudio(QWidget* parent) : TemplateDialog(kTemplateId, parent) {
    onCommand(kSaveSettings, [] {});
}

bool OnCommandRecordAudio(RecordingCommandContext& ctx, const std::function<int()>& runDialog) {
    int result = 0;
    if (runDialog) {
        result = runDialog();
    } else {
        CDialogRecordAudio dlg;
        result = dlg.doModal();
    }
    if (result != IDOK)
        return false;
    return startAudioRecording(ctx) == StartResult::kStarted;
}

}  // namespace marrowdale
