#include "options/option_settings.h"

#include "options/text_conversions.h"

namespace marrowdale {

std::uint32_t framePeriodFromText(std::u16string_view periodMsText) {
    std::uint32_t ms = static_cast<std::uint32_t>(wtoi(firstChars(periodMsText)));
    if (ms < kMinimumPeriodMs)
        ms = kFallbackPeriodMs;
    std::uint32_t period = ms * kPeriodUnitsPerMs;  // modulo 2^32
    // The capture loop divides by the period: an entry that wraps to exactly 0 is treated like
    // one below the minimum.
    if (period == 0)
        period = kFallbackPeriodMs * kPeriodUnitsPerMs;
    return period;
}

std::uint8_t frameOptionFromText(std::u16string_view optionText) {
    const auto low =
        static_cast<std::uint8_t>(static_cast<std::uint32_t>(wtoi(firstChars(optionText))) & 0xFFu);
    return low == 0 ? std::uint8_t{1} : low;
}

void applyFrameRateTexts(CaptureSettings& settings, std::u16string_view periodMsText,
                         std::u16string_view optionText) {
    settings.framePeriod = framePeriodFromText(periodMsText);
    settings.frameOption = frameOptionFromText(optionText);
}

MaxFramesOpening maxFramesOpening(const CaptureSettings& settings) {
    const std::uint32_t frames = settings.maxFrames;
    MaxFramesOpening opening;
    opening.framesText = decimalText(frames);
    opening.minutesText = decimalText(frames / kFramesPerMinuteAt25Fps);
    opening.rateText = std::u16string(kMaxFramesOpeningRateText);
    opening.closeOthersTicked = settings.closeOthersOnStop != 0;
    opening.showCloseOthersTicked = settings.showCloseOthersOnStop != 0;
    return opening;
}

std::u16string framesFromRateAndMinutes(std::string_view rateText, std::string_view minutesText) {
    const float rate = atoflt(firstChars(rateText));
    const float minutes = atoflt(firstChars(minutesText));
    const float seconds = minutes * 60.0f;
    const float frames = seconds * rate;
    return decimalText(floatToU32(frames));
}

std::optional<std::u16string> minutesFromRateAndFrames(std::u16string_view rateText,
                                                       std::u16string_view framesText) {
    const auto rate = static_cast<float>(wtoi(firstChars(rateText)));
    const auto frames = static_cast<float>(wtoi(firstChars(framesText)));
    if (!(rate > 0.0f))
        return std::nullopt;
    const float framesPerMinute = rate * 60.0f;
    return decimalText(floatToU32(frames / framesPerMinute));
}

bool applyMaxFramesOk(CaptureSettings& settings, std::u16string_view framesText,
                      bool closeOthersTicked, bool showCloseOthersTicked) {
    std::uint32_t total = static_cast<std::uint32_t>(wtoi(firstChars(framesText)));
    const bool reset = total == 0;
    if (reset)
        total = kDefaultMaxFrames;
    settings.maxFrames = total;
    settings.closeOthersOnStop = closeOthersTicked ? 1 : 0;
    settings.showCloseOthersOnStop = showCloseOthersTicked ? 1 : 0;
    return reset;
}

CaptureMode captureModeFromChecks(CaptureMode currentMode, bool mode0Checked, bool mode2Checked,
                                  bool mode3Checked) {
    CaptureMode mode = currentMode;
    if (mode0Checked)
        mode = CaptureMode::kEverySlot;
    if (mode2Checked)
        mode = CaptureMode::kSkipLateSlots;
    if (mode3Checked)
        mode = CaptureMode::kSkipByThrees;
    return mode;
}

}  // namespace marrowdale
