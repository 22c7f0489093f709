#include "options/gui/record_mode_dialog.h"

#include "options/option_settings.h"

namespace marrowdale {

CDialogScreenSaveMode::CDialogScreenSaveMode(CaptureSettings& settings, QWidget* parent)
    : TemplateDialog(kTemplateId, parent), settings_(settings) {}

void CDialogScreenSaveMode::onOK() {
    settings_.captureMode =
        captureModeFromChecks(settings_.captureMode, isButtonChecked(kMode0Radio) != 0,
                              isButtonChecked(kMode2Radio) != 0, isButtonChecked(kMode3Radio) != 0);
    TemplateDialog::onOK();
}

}  // namespace marrowdale
