// The output folder of a screen recording: "<current directory>/vid1/", whose path with its
// terminator has to fit 500 characters. The start commands and the capture worker build it the
// same way; the commands report a failure, the worker ends silently.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace marrowdale {

inline constexpr std::size_t kFolderPathBufferChars = 500;

enum class OutputFolderResult {
    kOk,
    kAppendVid1Failed,   // "<cwd>/vid1" does not fit
    kAppendSlashFailed,  // "<cwd>/vid1/" does not fit
};

struct OutputFolder {
    OutputFolderResult result = OutputFolderResult::kOk;
    std::string prefix;  // "<cwd>/vid1/" when result is kOk
};

// The message a start command shows (caption "Plumet") for a failed step; empty for kOk.
std::string_view outputFolderMessage(OutputFolderResult result);

// Builds the path from `currentDirectory` and creates the folder between the two appends, as
// the start commands do: append "/vid1" (fails when it would not fit), create that folder
// (its result does not matter: an existing folder is fine, a missing one shows up as failing
// writes), append "/" (fails when it would not fit). A current directory that does not fit the
// buffer itself fails at the first append.
OutputFolder prepareOutputFolder(std::string_view currentDirectory);

// The process's current directory, empty when it cannot be read.
std::string currentDirectory();

}  // namespace marrowdale
