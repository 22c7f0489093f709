// The command line of marrowdale-record.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/jpeg_encoder.h"
#include "platform/screen_backend.h"
#include "recorder/state.h"

namespace marrowdale::cli {

enum class Action { kRecord, kHelp, kVersion, kFill, kListCodecs, kExport };
enum class AudioSource { kNone, kMixer, kMicrophone, kBoth };

struct Options {
    Action action = Action::kRecord;
    std::string dir = ".";
    std::optional<double> seconds;
    std::optional<std::uint32_t> maxFrames;
    std::int32_t left = kCaptureDefaults.left, top = kCaptureDefaults.top;
    std::int32_t right = kCaptureDefaults.right, bottom = kCaptureDefaults.bottom;
    std::optional<std::uint32_t> framePeriod;  // 100-ns units, after the dialog's conversion
    std::optional<std::uint8_t> frameOption;   // after the dialog's conversion
    std::optional<CaptureMode> captureMode;
    ImageFormat imageFormat = kCaptureDefaults.imageFormat;
    bool imageFormatGiven = false;                  // --format was given
    int jpegQuality = kDefaultJpegQuality.quality;  // 1..100
    AudioSource audio = AudioSource::kNone;
    bool audioOnly = false;
    std::string fillDir;
    bool fillOdd = false;
    int codecLevel = 4;
    bool stats = false;
    bool quiet = false;     // no summary or notice lines on stderr (errors still go there)
    std::string exportOut;  // --export OUT
    std::optional<std::string> exportFrom;  // --from DIR (default: --dir)
    bool exportH264 = false;                // --video h264
    std::optional<ScreenBackend> backend;   // none: by the session (WAYLAND_DISPLAY)
};

struct ParseResult {
    bool ok = false;
    Options options;
    std::string error;  // what was wrong, when !ok
};

// Parses the arguments after the program name. Options take their value as the next argument
// or after "=" ("--mode 2", "--mode=2").
ParseResult parseCommandLine(const std::vector<std::string_view>& args);

// The text of --help.
std::string_view helpText();

}  // namespace marrowdale::cli
