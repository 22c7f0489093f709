// marrowdale-record: the command-line recorder. Its composition root: the platform services of
// this machine are built here and handed to the commands.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_options.h"
#include "cli/commands.h"
#include "platform/loader/platform_loader.h"
#include "recorder/state.h"

int main(int argc, char** argv) {
    std::vector<std::string_view> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    const marrowdale::cli::ParseResult parsed = marrowdale::cli::parseCommandLine(args);
    if (!parsed.ok) {
        std::fprintf(stderr,
                     "marrowdale-record: %s\nTry 'marrowdale-record --help' for more "
                     "information.\n",
                     parsed.error.c_str());
        return 2;
    }
    const marrowdale::cli::Options& options = parsed.options;
    const marrowdale::PlatformServices platform = marrowdale::loadPlatformServices();
    switch (options.action) {
        case marrowdale::cli::Action::kHelp: {
            const std::string_view help = marrowdale::cli::helpText();
            std::fwrite(help.data(), 1, help.size(), stdout);
            return 0;
        }
        case marrowdale::cli::Action::kVersion:
            std::printf("marrowdale-record %s\n", MARROWDALE_VERSION);
            return 0;
        case marrowdale::cli::Action::kFill:
            marrowdale::captureSettings().imageFormat = options.imageFormat;
            return marrowdale::runFillCommand(options.fillDir, options.fillOdd);
        case marrowdale::cli::Action::kListCodecs:
            return marrowdale::runListCodecsCommand(options.codecLevel, platform);
        case marrowdale::cli::Action::kExport:
            return marrowdale::runExportCommand(options, platform);
        case marrowdale::cli::Action::kRecord:
            break;
    }
    return marrowdale::runRecordCommand(options, platform);
}
