#include "capture_area/gui/fixed_size_dialog.h"

#include <string_view>

#include "capture_area/fixed_size.h"

namespace marrowdale {

namespace {

std::u16string_view wide(const QString& text) {
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

QString toQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

ClassDlgFillSize::ClassDlgFillSize(CaptureSettings& settings, QWidget* parent)
    : TemplateDialog(kTemplateId, parent), settings_(settings) {
    for (const FixedSizePreset& preset : kFixedSizePresets) {
        const QString width = toQString(preset.width);
        const QString height = toQString(preset.height);
        onCommand(preset.radioId, [this, width, height] {
            setItemText(kWidthEdit, width);
            setItemText(kHeightEdit, height);
        });
    }
}

void ClassDlgFillSize::onOK() {
    const QString width = itemText(kWidthEdit);
    const QString height = itemText(kHeightEdit);
    applyFixedSize(settings_, wide(width), wide(height));
    TemplateDialog::onOK();
}

void runFixedSizeCommand(std::int32_t& shownRight, std::int32_t& shownBottom,
                         CaptureSettings& settings) {
    {
        ClassDlgFillSize dlg(settings);
        dlg.doModal();
    }
    shownRight = settings.captureRight;
    shownBottom = settings.captureBottom;
}

}  // namespace marrowdale
