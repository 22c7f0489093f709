#include "options/gui/max_frames_dialog.h"

#include <QByteArray>
#include <string_view>

#include "framework/message_box.h"
#include "options/option_settings.h"

namespace marrowdale {

namespace {

std::u16string_view wide(const QString& text) {
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

QString toQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CMAXFRAMES::CMAXFRAMES(CaptureSettings& settings, QWidget* parent,
                       std::function<void(const QString&)> message,
                       std::function<bool()> closeOthersAvailable)
    : TemplateDialog(kTemplateId, parent),
      settings_(settings),
      message_(std::move(message)),
      closeOthersAvailable_(std::move(closeOthersAvailable)) {
    if (!message_)
        message_ = [](const QString& text) { afxMessageBox(text); };
    if (!closeOthersAvailable_)
        closeOthersAvailable_ = [] { return true; };
    onCommand(kCalculateFrames, [this] { calculateFrames(); });
    onCommand(kCalculateMinutes, [this] { calculateMinutes(); });
}

bool CMAXFRAMES::onInitDialog() {
    TemplateDialog::onInitDialog();
    const MaxFramesOpening opening = maxFramesOpening(settings_);
    setItemText(kFramesEdit, toQString(opening.framesText));
    setItemText(kMinutesEdit, toQString(opening.minutesText));
    setItemText(kRateEdit, toQString(opening.rateText));
    if (opening.closeOthersTicked)
        checkButton(kCloseOthersCheck, 1);
    if (opening.showCloseOthersTicked)
        checkButton(kShowCloseOthersCheck, 1);
    if (!closeOthersAvailable_()) {
        // Said here rather than ticked and then doing nothing.
        setItemText(kCloseOthersCheck,
                    itemText(kCloseOthersCheck) + QString::fromLatin1(kNotAvailableSuffix));
        checkButton(kCloseOthersCheck, 0);
        enableItem(kCloseOthersCheck, false);
    }
    return true;
}

void CMAXFRAMES::calculateFrames() {
    // The two fields are read as narrow text, as the single-precision conversion expects.
    const QByteArray rate = itemText(kRateEdit).toLocal8Bit();
    const QByteArray minutes = itemText(kMinutesEdit).toLocal8Bit();
    const std::u16string frames =
        framesFromRateAndMinutes(std::string_view(rate.constData(), rate.size()),
                                 std::string_view(minutes.constData(), minutes.size()));
    setItemText(kFramesEdit, toQString(frames));
}

void CMAXFRAMES::calculateMinutes() {
    const QString rate = itemText(kRateEdit);
    const QString frames = itemText(kFramesEdit);
    const auto minutes = minutesFromRateAndFrames(wide(rate), wide(frames));
    if (!minutes) {
        message_(toQString(kMessageFpsBelowOne));
        return;
    }
    setItemText(kMinutesEdit, toQString(*minutes));
}

void CMAXFRAMES::onOK() {
    const QString frames = itemText(kFramesEdit);
    const bool closeOthers = isButtonChecked(kCloseOthersCheck) > 0;
    const bool showCloseOthers = isButtonChecked(kShowCloseOthersCheck) > 0;
    if (applyMaxFramesOk(settings_, wide(frames), closeOthers, showCloseOthers))
        message_(toQString(kMessageTotalFramesReset));
    TemplateDialog::onOK();
}

}  // namespace marrowdale
