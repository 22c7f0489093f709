// --fill DIR and --fill-odd DIR: the fills of the "Fill skipped frames" dialog, with the same
// messages. The finished message goes to stdout; a failure, a missing or frameless folder, or a
// fill that left files alone (not regular files) goes to stderr and the exit status is 1.
// Ctrl+C or SIGTERM cancels after the file being made, and stderr says how far the fill got
// (exit status 1).
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/stop_signals.h"
#include "recorder/state.h"
#include "tools/fill.h"

namespace marrowdale {

int runFillCommand(const std::string& dir, bool odd) {
    PosixFillFiles files;
    const ImageFormat imageFormat = captureSettings().imageFormat;
    StopSignals signals;
    // A look at the signals costs a system call: every 64 numbers, and at the first.
    const FillProgressFn progress = [&signals](const FillProgress& p) {
        return p.examined % 64 != 1 || !signals.arrived();
    };
    const FillReport report = odd ? oddFill(files, dir, imageFormat, progress)
                                  : autoFill(files, dir, imageFormat, progress);
    const std::string message = fillMessage(report);
    if (report.outcome == FillOutcome::Finished && report.skipped == 0) {
        std::fprintf(stdout, "%.*s\n", static_cast<int>(message.size()), message.data());
        std::fflush(stdout);
        return 0;
    }
    std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
    return 1;
}

}  // namespace marrowdale
