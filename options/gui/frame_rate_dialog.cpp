#include "options/gui/frame_rate_dialog.h"

#include <string_view>

#include "options/option_settings.h"

namespace marrowdale {

namespace {

std::u16string_view wide(const QString& text) {
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

QString toQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

struct Preset {
    int button;
    int edit;
    const char16_t* text;
};

constexpr Preset kPresets[] = {
    {1003, CDIALOGFRAMERATE::kPeriodEdit, u"40"},   // "25 FPS"
    {1004, CDIALOGFRAMERATE::kPeriodEdit, u"80"},   // "12.5 FPS 1/2"
    {1011, CDIALOGFRAMERATE::kPeriodEdit, u"160"},  // "6.25 FPS  1/4"
    {1009, CDIALOGFRAMERATE::kOptionEdit, u"1"},    // "1 frame only"
    {1010, CDIALOGFRAMERATE::kOptionEdit, u"2"},    // "2 frames copy"
    {1012, CDIALOGFRAMERATE::kOptionEdit, u"4"},    // "4 frames copy"
    {1013, CDIALOGFRAMERATE::kOptionEdit, u"11"},   // "Skip one frame"
    {1014, CDIALOGFRAMERATE::kOptionEdit, u"12"},   // "Skip two frames"
    {1015, CDIALOGFRAMERATE::kOptionEdit, u"13"},   // "Skip three frames"
};

}  // namespace

CDIALOGFRAMERATE::CDIALOGFRAMERATE(CaptureSettings& settings, QWidget* parent)
    : TemplateDialog(kTemplateId, parent), settings_(settings) {
    for (const Preset& preset : kPresets) {
        const int edit = preset.edit;
        const QString text = toQString(preset.text);
        onCommand(preset.button, [this, edit, text] { setItemText(edit, text); });
    }
}

bool CDIALOGFRAMERATE::onInitDialog() {
    TemplateDialog::onInitDialog();
    setItemText(kPeriodEdit, toQString(kFrameRateOpeningPeriodText));
    setItemText(kOptionEdit, toQString(kFrameRateOpeningOptionText));
    return true;
}

void CDIALOGFRAMERATE::onOK() {
    const QString period = itemText(kPeriodEdit);
    const QString option = itemText(kOptionEdit);
    applyFrameRateTexts(settings_, wide(period), wide(option));
    TemplateDialog::onOK();
}

}  // namespace marrowdale
