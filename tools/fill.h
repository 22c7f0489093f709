// Filling skipped frames: the file logic of the auto fill and the odd fill, free of any
// widget. A fill probes frame files by name in a folder the user names (the folder's files are
// never listed) and duplicates existing frames into missing numbers.
//
// A fill runs on whatever thread calls it; it touches no shared record (the image format is a
// parameter) and reports through its return value and an optional progress callback, so the
// desktop program can run it beside its GUI thread and the command-line recorder in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "recorder/state.h"

namespace marrowdale {

inline constexpr std::string_view kFillFinishedMessage = "Finished filling empty frame slots";
inline constexpr std::string_view kFillOpenFailedMessage =
    "File Open:\nError: failed to open the file";
inline constexpr std::string_view kFillNoFolderMessage =
    "The folder to fill does not exist or is not a folder.\nNothing was filled.";

// Frame numbers 1 .. kFillLastNumber are considered.
inline constexpr std::uint32_t kFillLastNumber = 500000;
// The auto fill ends when this many numbers from the one examined are all missing.
inline constexpr std::uint32_t kFillEndProbeCount = 300;
// A frame name holds at most this many characters (UTF-16 code units, as the edit box counts
// them); a longer one is never used.
inline constexpr std::size_t kFrameNameLimit = 249;
// The folder text is read from its edit box with at most this many characters.
inline constexpr std::size_t kFillFolderTextLimit = 499;

enum class CopyResult {
    Copied,
    OpenFailed,   // the source could not be opened for reading or the destination for writing
    ReadFailed,   // the source failed in the middle
    WriteFailed,  // the destination refused bytes (or failed to close)
    // Skipped: the source, or the destination that would be replaced, is not a regular file (a
    // link, a named pipe, a device, a folder). Nothing was read from it or written through it.
    SourceNotRegular,
    DestinationNotRegular,
};

// What a folder holds, before a fill begins.
enum class FolderCheck {
    HasFrames,  // at least one frame file of the format
    Missing,    // no folder of that name (or not a folder)
    NoFrames,   // a folder without any frame file of the format
};

// The file operations a fill needs. Tests substitute a layer that injects faults.
class FillFiles {
  public:
    virtual ~FillFiles() = default;
    // True when something exists under the name (a status query that succeeds).
    virtual bool exists(const std::string& path) = 0;
    // Duplicates `source` byte for byte as `destination` (made, or replaced when it exists),
    // copying only a regular file over nothing or a regular file (the NotRegular results
    // otherwise). The
    // destination appears whole or not at all: never written through a link, nothing left on a
    // read or write failure.
    virtual CopyResult copy(const std::string& source, const std::string& destination) = 0;
    // What `folder` (the folder text as typed) holds in frame files of `imageFormat`.
    virtual FolderCheck checkFolder(const std::string& folder, ImageFormat imageFormat) = 0;
    // A fill begins: nothing learnt about the files before may be relied on any more.
    virtual void startFill() {}
};

// POSIX files. Every name that exists counts as existing, whatever it is (a link that leads
// nowhere too: it is not a free number). A copy reads the source through links but only when
// it is a regular file, opened so that it cannot block; it writes a temporary file in the
// destination's folder (the destination's name with a leading dot and ".part" after it, made
// anew, never through a link) and renames it over the destination. A copy between regular files is
// made inside the kernel (copy_file_range) when `kernelCopy` is set and the file systems allow it;
// otherwise it goes in large blocks through one buffer reused for every copy.
//
// Within one fill, the frame names of a folder ("NNNNNN.jpg", "NNNNNN.bmp") are answered from
// one reading of the folder, kept up to date with the copies made: a folder of a finished
// recording does not change under the fill except through it. An entry whose kind the listing
// does not tell (a link, an unknown kind), any other name, and a folder that cannot be listed
// are asked about one by one.
class PosixFillFiles final : public FillFiles {
  public:
    explicit PosixFillFiles(std::size_t bufferBytes = 256 * 1024, bool kernelCopy = true);
    ~PosixFillFiles() override;
    PosixFillFiles(const PosixFillFiles&) = delete;
    PosixFillFiles& operator=(const PosixFillFiles&) = delete;

    bool exists(const std::string& path) override;
    CopyResult copy(const std::string& source, const std::string& destination) override;
    FolderCheck checkFolder(const std::string& folder, ImageFormat imageFormat) override;
    void startFill() override;

  private:
    // A name as a folder handle and the part after the folder's last separator. The folder of
    // the previous name stays open, so each further name in it is looked up by its last part
    // only; a folder that cannot be opened leaves the whole name to the current directory.
    struct Location {
        int folder;
        const char* name;
    };
    Location locate(const std::string& path);
    void forgetFolder();
    void readFolder();
    // The state of a frame name in the open folder from its reading; null when that is not
    // known (no reading, or not a frame name).
    std::uint8_t* indexEntry(const Location& where, std::uint8_t* bit);

    std::vector<char> buffer_;
    bool kernelCopy_;
    std::string folderText_;
    int folderFd_ = -1;
    bool folderKnown_ = false;
    bool folderRead_ = false;
    std::vector<std::uint8_t> index_;  // per frame number: present and ask bits of .jpg, .bmp
    std::string temporary_;            // the temporary name of the copy being made
};

struct FillProgress {
    std::uint32_t examined = 0;  // frame numbers looked at
    std::uint32_t copied = 0;    // copies made
};

// Called after every examined number; returning false cancels the fill there (after the file
// that was being made is complete).
using FillProgressFn = std::function<bool(const FillProgress&)>;

enum class FillOutcome {
    Finished,   // ran to its normal end
    Failed,     // a copy failed; the fill stopped there
    Cancelled,  // the progress callback asked to stop
    NoFolder,   // the folder does not exist: nothing was done
    NoFrames,   // the folder holds no frame file of the format: nothing was done
};

struct FillReport {
    FillOutcome outcome = FillOutcome::Finished;
    FillProgress progress;
    CopyResult failure = CopyResult::Copied;  // what failed, when outcome is Failed
    ImageFormat imageFormat = ImageFormat::kJpeg;
    // Files named like frames that are not regular files, left alone (with the numbers that a
    // copy of them would have filled), and the number of the first.
    std::uint32_t skipped = 0;
    std::uint32_t firstSkipped = 0;
};

// The name of frame `number` in `folder`: the folder text as given, "/", six digits and the
// extension of `imageFormat` (".jpg" for JPEG, ".bmp" for BMP). Empty when the name would be
// longer than kFrameNameLimit characters.
std::string fillFrameName(std::string_view folder, std::uint32_t number, ImageFormat imageFormat);

// Auto fill: every missing number between existing frames receives a copy of the frame before
// it, starting at 2; ends when the 300 numbers from the one examined are all missing, when
// frame 1 is missing, or after number 500000. A frame that is not a regular file is skipped:
// the gap after it stays free. A missing folder, or one without any frame file, is an error.
FillReport autoFill(FillFiles& files, std::string_view folder, ImageFormat imageFormat,
                    const FillProgressFn& progress = {});

// Odd fill: each odd frame 1, 3, 5, ... is copied into the even number after it (replacing
// a regular file there), until an odd frame is missing or 499999 has been copied into 500000.
// Files that are not regular are skipped; a missing or frameless folder is an error.
FillReport oddFill(FillFiles& files, std::string_view folder, ImageFormat imageFormat,
                   const FillProgressFn& progress = {});

// The message that ends a fill: the finished text (with what was skipped), the open-failure
// text, the missing-folder or no-frames text, or for a cancelled fill how far it got
// ("Fill cancelled: 120 frames examined, 7 copied").
std::string fillMessage(const FillReport& report);

}  // namespace marrowdale
