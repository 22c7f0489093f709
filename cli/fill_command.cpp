// --fill DIR and --fill-odd DIR: the fills of the "Fill skipped frames" dialog, with the same
// messages. The finished message goes to stdout; a failure, a missing or frameless folder, or a
// fill that left files alone (not regular files) goes to stderr and the exit status is 1.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "recorder/state.h"
#include "tools/fill.h"

namespace marrowdale {

int runFillCommand(const std::string& dir, bool odd) {
    PosixFillFiles files;
    const std::uint8_t imageFormat = captureSettings().imageFormat;
    const FillReport report =
        odd ? oddFill(files, dir, imageFormat) : autoFill(files, dir, imageFormat);
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
