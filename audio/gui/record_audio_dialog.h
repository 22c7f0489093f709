// The record-audio dialog (template 312) and the "Record audio only" command that opens it.
// "Start recording" closes the dialog with OK, "Cancel" with Cancel, and "Save settings" does
// nothing and leaves it open. GUI thread only.
#pragma once

#include <functional>

#include "framework/template_dialog.h"
#include "recorder/commands.h"

namespace marrowdale {

class CDialogRecordAudio : public TemplateDialog {
    Q_OBJECT
  public:
    static constexpr int kTemplateId = 312;
    static constexpr int kSaveSettings = 1002;

    explicit CDialogRecordAudio(QWidget* parent = nullptr);
};

// "Record audio only": runs the dialog (by default a CDialogRecordAudio; `runDialog` returns
// its result) and, when it was closed with "Start recording", starts the audio worker on its
// own, after the refusals every start makes. Cancel and the close box start nothing. No flag,
// title or status is changed here. Returns true when a worker was started.
bool OnCommandRecordAudio(RecordingCommandContext& ctx, const std::function<int()>& runDialog = {});

}  // namespace marrowdale
