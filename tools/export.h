// Export: from a recording's frame files and sound to one video file a player can play.
//
// Each frame file is shown from its slot's time: frame n of a recording with period P is shown
// at (n + a) x P / d, where one slot holds d numbers and a places the first one:
// - frame options 1 to 10 and 15 to 255 (that many grabs per slot): d = the count, a = count - 1,
//   so the grabs of one slot share it evenly (with one grab, frame n at n x P);
// - frame options 11 to 14 (one grab, then option - 10 free numbers): d = option - 9, a = 1.
// A free number is no frame: the frame before it is shown longer, so the video's timeline is
// the recording's without a fill. The sound starts at time zero, the recording's zero, which
// is one period before frame 1.
//
// The period, frame option and image format come from the recording's description
// (recording.ini); without one, from what the caller gives (the command line or the dialog).
// The file work goes through a VideoExporter (platform/video_export.h); this part is plain
// logic and runs on whatever thread calls it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/video_export.h"
#include "recorder/recording_folder.h"

namespace marrowdale {

// When frame `number` of a recording is shown, in 100-ns units from the recording's zero.
std::int64_t frameTime100ns(std::uint64_t number, std::uint32_t period100ns,
                            std::uint8_t frameOption);
// How many grabs one slot of `frameOption` makes (1 for 11 to 14, whose other numbers stay free).
std::uint32_t grabsPerSlot(std::uint8_t frameOption);

struct ExportFrame {
    std::string path;
    std::int64_t time100ns = 0;
    std::int64_t duration100ns = 0;  // until the next frame; the last one for its grab's share
                                     // of a slot
};

// The frames of `files` (in number order, inside `framesFolder`) with their times.
std::vector<ExportFrame> planExportFrames(const std::vector<FrameFile>& files,
                                          const std::string& framesFolder,
                                          std::uint32_t period100ns, std::uint8_t frameOption);

// What the caller knows when a recording has no description.
struct ExportFallback {
    std::uint32_t period100ns = 400000;
    std::uint8_t frameOption = 1;
    std::optional<ImageFormat> imageFormat;  // none: JPEG when the folder holds any, else BMP
};

// A recording found on disk.
struct ExportSource {
    std::string framesFolder;
    std::string soundPath;        // empty: no sound
    std::string descriptionPath;  // empty when the recording has none
    bool described = false;
    RecordingDescription description;  // as read, or made from the fallback
    std::vector<FrameFile> frames;
};

// Finds the recording `from` names: a working folder (holding vid1/), or a frame folder itself,
// such as vid1/ or one moved aside (vid1-STAMP/), whose description and sound are the ones
// beside it with the same stamp (recording-STAMP.ini, test-STAMP.wma). False with `error` set
// when it has no frame files or its description cannot be used.
bool findExportSource(const std::string& from, const ExportFallback& fallback, ExportSource* out,
                      std::string* error);

struct ExportProgress {
    std::uint64_t framesDone = 0;
    std::uint64_t framesTotal = 0;
};
// Called after every frame; returning false cancels the export there.
using ExportProgressFn = std::function<bool(const ExportProgress&)>;

enum class ExportOutcome { kFinished, kFailed, kCancelled };

struct ExportReport {
    ExportOutcome outcome = ExportOutcome::kFinished;
    std::string error;  // when failed
    ExportProgress progress;
    std::int64_t videoEnd100ns = 0;  // where the last frame ends
    bool withSound = false;
};

struct ExportRequest {
    std::string outputPath;
    ExportVideoCodec codec = ExportVideoCodec::kCopy;
    bool replace = false;  // the user agreed to replace an existing file
};

// Writes the video. A failed or cancelled export leaves no output file.
ExportReport exportRecording(VideoExporter& exporter, const ExportSource& source,
                             const ExportRequest& request, const ExportProgressFn& progress = {});

// "Exported 750 frames (30.0 s, sound from test.wma) to OUT"; for a cancelled export
// "Export cancelled after 120 of 750 frames; nothing was written"; for a failure the error.
std::string exportMessage(const ExportReport& report, const ExportRequest& request,
                          const ExportSource& source);

}  // namespace marrowdale
