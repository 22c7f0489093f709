#include "cli/cli_options.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "options/option_settings.h"

namespace marrowdale::cli {

namespace {

constexpr std::string_view kHelp =
    "Usage: marrowdale-record [OPTION]...\n"
    "Records a rectangle of the screen into numbered image files, DIR/vid1/000001.jpg,\n"
    "000002.jpg, ... where each number is a time slot of the frame period.\n"
    "\n"
    "  --dir DIR              working folder: frames in DIR/vid1/, audio in DIR/test.wma\n"
    "                         (default: the current folder)\n"
    "  --seconds S            stop after S seconds, as the stop command does (decimals allowed)\n"
    "  --max-frames N         frame numbers stay below N (default 90000; 0 gives 90000)\n"
    "  --area L,T,R,B         capture rectangle in screen pixels (default 100,100,800,600)\n"
    "  --period-ms MS         time between frame slots in milliseconds, 0-429496 (default\n"
    "                         40; below 5 gives 40)\n"
    "  --frame-option N       1-10, 15-255: grabs per slot; 11-14: one grab per slot with\n"
    "                         N-10 numbers left free after it (default 1)\n"
    "  --mode 0|2|3           late slots: 0 catch up, 2 skip, 3 jump three numbers (default 3)\n"
    "  --format jpg|bmp       image format of the frames (default jpg)\n"
    "  --quality Q            JPEG quality from 1 (smallest files) to 100 (default 85)\n"
    "  --audio none|mixer|mic|both\n"
    "                         record the screen and, with mixer, mic or both (the mixer and\n"
    "                         the microphone mixed together), audio together\n"
    "  --audio-only           record audio without the screen (from the mixer, or from the\n"
    "                         source --audio names)\n"
    "  --fill DIR             fill the skipped frame numbers in DIR and exit\n"
    "  --fill-odd DIR         the odd fill of DIR and exit\n"
    "  --list-codecs [LEVEL]  print the codec listing at level 1, 3 or 4 (default 4) and exit\n"
    "  --stats                print one summary line when the recording ends\n"
    "  --quiet                no summary line after a recording or an export, no notices\n"
    "  --export OUT           write the recording as one video file OUT (.mkv: Matroska) and\n"
    "                         exit; frames are shown at their slot times, test.wma is the\n"
    "                         sound; --period-ms, --frame-option and --format are used only\n"
    "                         for a recording without recording.ini\n"
    "  --from DIR             the recording to export: a working folder or a frame folder\n"
    "                         (default: --dir)\n"
    "  --video copy|h264      copy: JPEG frames as they are (Motion JPEG, the default);\n"
    "                         h264: re-encoded with x264, a third of the size or less\n"
    "  --backend x11|portal   how the screen is read: the X server, or the screen-cast portal\n"
    "                         of a Wayland desktop (default: portal when WAYLAND_DISPLAY is\n"
    "                         set, else x11)\n"
    "  --help                 show this help and exit\n"
    "  --version              show the version and exit\n"
    "\n"
    "Ctrl+C or SIGTERM stops the recording; the files are finished. Without --seconds the\n"
    "recording runs until the frame limit or a signal. Exit status: 0 nothing lost, 1 failed,\n"
    "2 usage, 3 permission refused, 4 frames lost, 5 the disk too full (see the manual page).\n";

// The longest period whose count of 100-ns units fits 32 bits.
constexpr std::uint32_t kMaxPeriodMs = 429496;

std::u16string widen(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (const char c : text)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return out;
}

template <typename T>
bool parseInteger(std::string_view text, T& value) {
    if (text.empty())
        return false;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

bool parseArea(std::string_view text, Options& o) {
    std::int32_t v[4];
    for (int i = 0; i < 4; ++i) {
        const std::size_t comma = text.find(',');
        const std::string_view part = i < 3 ? text.substr(0, comma) : text;
        if ((i < 3 && comma == std::string_view::npos) || !parseInteger(part, v[i]))
            return false;
        if (i < 3)
            text.remove_prefix(comma + 1);
    }
    o.left = v[0];
    o.top = v[1];
    o.right = v[2];
    o.bottom = v[3];
    return true;
}

bool parseSeconds(std::string_view text, double& seconds) {
    if (text.empty() || text.size() > 64)
        return false;
    const std::string copy(text);
    char* end = nullptr;
    const double v = std::strtod(copy.c_str(), &end);
    // Up to about 31 years: the stop time stays well inside a 64-bit count of 100 ns.
    if (end != copy.c_str() + copy.size() || !std::isfinite(v) || v < 0 || v > 1e9)
        return false;
    seconds = v;
    return true;
}

ParseResult failure(std::string message) {
    ParseResult r;
    r.ok = false;
    r.error = std::move(message);
    return r;
}

}  // namespace

std::string_view helpText() {
    return kHelp;
}

ParseResult parseCommandLine(const std::vector<std::string_view>& args) {
    ParseResult result;
    Options& o = result.options;
    bool fillSeen = false;
    bool audioNone = false;  // --audio none was given
    bool codecsSeen = false;
    bool exportSeen = false;
    bool videoSeen = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        std::string_view inlineValue;
        bool hasInline = false;
        if (arg.starts_with("--")) {
            const std::size_t eq = arg.find('=');
            if (eq != std::string_view::npos) {
                inlineValue = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                hasInline = true;
            }
        }
        // The value of an option that needs one.
        std::string_view value;
        auto takeValue = [&]() -> bool {
            if (hasInline) {
                value = inlineValue;
                return true;
            }
            if (i + 1 >= args.size())
                return false;
            value = args[++i];
            return true;
        };
        auto missing = [&] { return failure("option " + std::string(arg) + " needs a value"); };
        auto bad = [&] {
            return failure("invalid value '" + std::string(value) + "' for " + std::string(arg));
        };

        if (arg == "--help" || arg == "-h") {
            o.action = Action::kHelp;
        } else if (arg == "--version") {
            if (o.action != Action::kHelp)
                o.action = Action::kVersion;
        } else if (arg == "--stats") {
            o.stats = true;
        } else if (arg == "--quiet") {
            o.quiet = true;
        } else if (arg == "--export" || arg == "--from") {
            if (!takeValue())
                return missing();
            if (value.empty())
                return bad();
            if (arg == "--export") {
                exportSeen = true;
                o.exportOut = std::string(value);
            } else {
                o.exportFrom = std::string(value);
            }
        } else if (arg == "--video") {
            if (!takeValue())
                return missing();
            if (value == "copy")
                o.exportH264 = false;
            else if (value == "h264")
                o.exportH264 = true;
            else
                return bad();
            videoSeen = true;
        } else if (arg == "--audio-only") {
            o.audioOnly = true;
        } else if (arg == "--dir") {
            if (!takeValue())
                return missing();
            if (value.empty())
                return bad();
            o.dir = std::string(value);
        } else if (arg == "--seconds") {
            if (!takeValue())
                return missing();
            double s = 0;
            if (!parseSeconds(value, s))
                return bad();
            o.seconds = s;
        } else if (arg == "--max-frames") {
            if (!takeValue())
                return missing();
            std::uint32_t n = 0;
            if (!parseInteger(value, n))
                return bad();
            o.maxFrames = n == 0 ? kDefaultMaxFrames : n;
        } else if (arg == "--area") {
            if (!takeValue())
                return missing();
            if (!parseArea(value, o))
                return bad();
        } else if (arg == "--period-ms") {
            if (!takeValue())
                return missing();
            // A number of milliseconds whose period in 100-ns units fits 32 bits; then the
            // dialog's conversion (below 5 gives 40).
            std::uint32_t ms = 0;
            if (!parseInteger(value, ms) || ms > kMaxPeriodMs)
                return bad();
            o.framePeriod = framePeriodFromText(widen(value));
        } else if (arg == "--frame-option") {
            if (!takeValue())
                return missing();
            // 0 to 255; then the dialog's conversion (0 gives 1).
            std::uint32_t option = 0;
            if (!parseInteger(value, option) || option > 255)
                return bad();
            o.frameOption = frameOptionFromText(widen(value));
        } else if (arg == "--mode") {
            if (!takeValue())
                return missing();
            if (value == "0" || value == "2" || value == "3") {
                o.captureMode = static_cast<CaptureMode>(value[0] - '0');
            } else {
                return bad();
            }
        } else if (arg == "--format") {
            if (!takeValue())
                return missing();
            o.imageFormatGiven = true;
            if (value == "jpg") {
                o.imageFormat = ImageFormat::kJpeg;
            } else if (value == "bmp") {
                o.imageFormat = ImageFormat::kBmp;
            } else {
                return bad();
            }
        } else if (arg == "--quality") {
            if (!takeValue())
                return missing();
            int quality = 0;
            if (!parseInteger(value, quality) || quality < 1 || quality > 100)
                return bad();
            o.jpegQuality = quality;
        } else if (arg == "--audio") {
            if (!takeValue())
                return missing();
            audioNone = value == "none";
            if (value == "none") {
                o.audio = AudioSource::kNone;
            } else if (value == "mixer") {
                o.audio = AudioSource::kMixer;
            } else if (value == "mic") {
                o.audio = AudioSource::kMicrophone;
            } else if (value == "both") {
                o.audio = AudioSource::kBoth;
            } else {
                return bad();
            }
        } else if (arg == "--backend") {
            if (!takeValue())
                return missing();
            o.backend = parseScreenBackend(value);
            if (!o.backend)
                return bad();
        } else if (arg == "--fill" || arg == "--fill-odd") {
            if (!takeValue())
                return missing();
            if (value.empty())
                return bad();
            fillSeen = true;
            o.fillDir = std::string(value);
            o.fillOdd = arg == "--fill-odd";
        } else if (arg == "--list-codecs") {
            codecsSeen = true;
            if (hasInline) {
                value = inlineValue;
            } else if (i + 1 < args.size() && !args[i + 1].starts_with("-")) {
                value = args[++i];
            } else {
                value = "4";
            }
            int level = 0;
            if (!parseInteger(value, level) || (level != 1 && level != 3 && level != 4)) {
                return bad();
            }
            o.codecLevel = level;
        } else {
            return failure("unknown option '" + std::string(args[i]) + "'");
        }
    }
    if (fillSeen && codecsSeen)
        return failure("--fill and --list-codecs cannot be combined");
    if (exportSeen && (fillSeen || codecsSeen))
        return failure("--export cannot be combined with --fill or --list-codecs");
    if (!exportSeen && (o.exportFrom || videoSeen))
        return failure(std::string(o.exportFrom ? "--from" : "--video") + " needs --export");
    if (o.audioOnly && audioNone) {
        return failure("--audio-only records sound: --audio none cannot be combined with it");
    }
    if (o.action != Action::kHelp && o.action != Action::kVersion) {
        if (fillSeen)
            o.action = Action::kFill;
        if (codecsSeen)
            o.action = Action::kListCodecs;
        if (exportSeen)
            o.action = Action::kExport;
    }
    result.ok = true;
    return result;
}

}  // namespace marrowdale::cli
