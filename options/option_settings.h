// What the three options dialogs (frame rate and frame options, maximum frames, screen record
// mode) do with the texts and check states they hold: opening texts, preset texts and the
// conversion of the final texts into settings. No widget is touched here; the dialogs in
// options/gui/ only move texts between their controls and these functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "recorder/state.h"

namespace marrowdale {

// ---- Frame rate and frame options -------------------------------------------------------

// The texts the frame rate dialog always opens with.
inline constexpr std::u16string_view kFrameRateOpeningPeriodText = u"40";
inline constexpr std::u16string_view kFrameRateOpeningOptionText = u"1";

// The period falls back to 40 ms when the typed milliseconds, taken as unsigned, are below 5,
// and also when the period would come out as 0 (a multiple of 2^28 milliseconds).
inline constexpr std::uint32_t kMinimumPeriodMs = 5;
inline constexpr std::uint32_t kFallbackPeriodMs = 40;
inline constexpr std::uint32_t kPeriodUnitsPerMs = 10000;

// The period text (the edit box's whole text; only its first 19 characters are read) to
// framePeriod in 100-ns units.
std::uint32_t framePeriodFromText(std::u16string_view periodMsText);

// The frame option text to frameOption: the low byte of the number, 1 when that byte is 0.
std::uint8_t frameOptionFromText(std::u16string_view optionText);

// OK of the frame rate dialog: both settings at once.
void applyFrameRateTexts(CaptureSettings& settings, std::u16string_view periodMsText,
                         std::u16string_view optionText);

// ---- Maximum frames -----------------------------------------------------------------------

inline constexpr std::uint32_t kFramesPerMinuteAt25Fps = 1500;
inline constexpr std::uint32_t kDefaultMaxFrames = kCaptureDefaults.maxFrames;
inline constexpr std::u16string_view kMaxFramesOpeningRateText = u"25";
inline constexpr std::string_view kMessageFpsBelowOne = "FPS is < 1, please set the required FPS.";
inline constexpr std::string_view kMessageTotalFramesReset =
    "The total frames is < 1, and has been reset to 90000.";

struct MaxFramesOpening {
    std::u16string framesText;   // edit 1012
    std::u16string minutesText;  // edit 1011
    std::u16string rateText;     // edit 1010
    bool closeOthersTicked = false;
    bool showCloseOthersTicked = false;
};
MaxFramesOpening maxFramesOpening(const CaptureSettings& settings);

// "Calculate number of frames": the rate and minutes as narrow texts (only their first 19
// bytes are read), (minutes x 60) x rate in single precision, shown as an unsigned number.
std::u16string framesFromRateAndMinutes(std::string_view rateText, std::string_view minutesText);

// "Calculate number of minutes": the rate read as a whole number; nothing when it is not above
// 0 (the caller then shows kMessageFpsBelowOne and changes nothing).
std::optional<std::u16string> minutesFromRateAndFrames(std::u16string_view rateText,
                                                       std::u16string_view framesText);

// OK of the maximum frames dialog. Returns true when the total was 0 and has been replaced by
// 90000 (the caller shows kMessageTotalFramesReset).
bool applyMaxFramesOk(CaptureSettings& settings, std::u16string_view framesText,
                      bool closeOthersTicked, bool showCloseOthersTicked);

// ---- Screen record mode -------------------------------------------------------------------

// OK of the screen record mode dialog: the three tests in order, each overriding the one
// before; with no button checked the mode stays as it is.
CaptureMode captureModeFromChecks(CaptureMode currentMode, bool mode0Checked, bool mode2Checked,
                                  bool mode3Checked);

}  // namespace marrowdale
