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
    if (refuseStart(ctx, /*needsScreen=*/false, /*needsAudio=*/true))
        return false;
    ctx.workers.startAudioWorker(ctx.host.currentDirectory());
    return true;
}

}  // namespace marrowdale
