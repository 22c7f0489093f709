// What a recording leaves in its working folder, as the start commands, the export and the
// summaries see it: the frame files in vid1/, the sound in test.wma, and a small description
// beside them (recording.ini, not inside vid1/, so nothing that reads the frame folder meets it)
// that tells how the frames were taken.
//
// A recording that starts where an earlier one left frames or sound first moves the earlier one
// aside under dated names (vid1-YYYYMMDD-HHMMSS/, test-YYYYMMDD-HHMMSS.wma,
// recording-YYYYMMDD-HHMMSS.ini, one stamp for the three, "-2", "-3" ... added when that stamp
// is taken), so a new recording never mixes with or replaces an earlier one.
//
// Plain file operations; any thread.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "recorder/state.h"

namespace marrowdale {

inline constexpr std::string_view kFramesFolderName = "vid1";
inline constexpr std::string_view kSoundFileName = "test.wma";
inline constexpr std::string_view kDescriptionFileName = "recording.ini";

// How a recording was made, as its start saw the settings.
struct RecordingDescription {
    bool screen = true;  // frames were recorded
    bool sound = false;  // test.wma was recorded
    std::uint32_t period100ns = kCaptureDefaults.framePeriod;
    std::uint8_t frameOption = kCaptureDefaults.frameOption;
    CaptureMode captureMode = kCaptureDefaults.captureMode;
    ImageFormat imageFormat = kCaptureDefaults.imageFormat;
    std::int32_t left = kCaptureDefaults.left, top = kCaptureDefaults.top;
    std::int32_t right = kCaptureDefaults.right, bottom = kCaptureDefaults.bottom;
    std::string started;    // wall-clock start, UTC, "YYYY-MM-DDTHH:MM:SSZ"; may be empty
    std::string soundFile;  // the sound file's name beside vid1/; empty without sound
};

// The text of recording.ini.
std::string formatRecordingDescription(const RecordingDescription& description);
// Reads that text back. Unknown keys, comments (# or ;) and section lines are passed over;
// false with `error` set when a known key has a value that cannot be used (a period of 0, a
// frame option of 0, a malformed number or area).
bool parseRecordingDescription(std::string_view text, RecordingDescription* out,
                               std::string* error);

// Writes `folder`/recording.ini whole or not at all (a temporary name, then a rename).
bool writeRecordingDescription(const std::string& folder, const RecordingDescription& description);
// Reads a description file; nothing when it does not exist or cannot be used (`error` tells
// why when it exists).
std::optional<RecordingDescription> readRecordingDescription(const std::string& path,
                                                             std::string* error = nullptr);

// "YYYY-MM-DDTHH:MM:SSZ" of `when`.
std::string utcTimestamp(std::time_t when);

// One frame file of a folder.
struct FrameFile {
    std::uint64_t number = 0;
    std::string name;  // the file's name inside the folder
};

// The frame files of `folder` in the given image format (names of six or more digits and
// ".jpg" or ".bmp"), in the order of their numbers. Other names are passed over. False when
// the folder cannot be read.
bool listFrameFiles(const std::string& folder, ImageFormat imageFormat,
                    std::vector<FrameFile>* out);
// Whether `folder` holds frame files of either format.
bool holdsFrameFiles(const std::string& folder);

// What moving an earlier recording aside did.
struct MoveAside {
    struct Move {
        std::string from;  // names inside the working folder
        std::string to;
    };
    std::vector<Move> moves;  // empty when there was nothing to move
    bool failed = false;
    std::string error;  // when failed: what could not be moved, and why
};

// Moves the earlier recording in `workingFolder` aside: vid1/ when it holds frame files,
// test.wma when it exists, and recording.ini with them. `now` gives the stamp (local time).
// Nothing existing is ever replaced: a taken stamp gets "-2", "-3" ... until every name is
// free. On a failure the moves made so far stay (nothing is lost either way).
MoveAside moveEarlierRecordingAside(const std::string& workingFolder, std::time_t now);

// The line that tells the user, e.g. "The earlier recording was moved aside: vid1/ to
// vid1-20240501-120000/, test.wma to test-20240501-120000.wma". Empty when nothing moved.
std::string moveAsideNotice(const MoveAside& moved);

// A finished recording in a working folder, counted from the files on disk.
struct RecordingSummary {
    std::string folder;             // the working folder
    std::uint64_t frames = 0;       // frame files in vid1/
    std::uint64_t firstNumber = 0;  // lowest frame number (0 without frames)
    std::uint64_t lastNumber = 0;   // highest frame number
    std::uint64_t freeNumbers = 0;  // numbers between the first and the last without a file
    std::string soundFile;          // path of the sound file; empty when there is none
    std::uint64_t soundBytes = 0;
};

RecordingSummary summarizeRecording(const std::string& workingFolder, ImageFormat imageFormat,
                                    bool withSound);
// One line, e.g. "Recorded 750 frames in /home/me/rec/vid1/ (numbers 1-752, 2 free; fill them
// before an editor, or export), sound in /home/me/rec/test.wma".
std::string recordingSummaryLine(const RecordingSummary& summary);

}  // namespace marrowdale
