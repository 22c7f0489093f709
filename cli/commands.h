// The commands of marrowdale-record. Each returns the process's exit status.
#pragma once

#include <string>

#include "cli/cli_options.h"
#include "platform/platform_services.h"

namespace marrowdale {

// Records the screen, the sound or both as the options say.
int runRecordCommand(const cli::Options& options, const PlatformServices& platform);

// Fills the skipped frame numbers of the recording in `dir` (the odd fill when `odd`).
int runFillCommand(const std::string& dir, bool odd);

// Writes the recording in --from (or --dir) as the video file --export names.
int runExportCommand(const cli::Options& options, const PlatformServices& platform);

// Prints the codec listing at `level` (1, 3 or 4).
int runListCodecsCommand(int level, const PlatformServices& platform);

}  // namespace marrowdale
