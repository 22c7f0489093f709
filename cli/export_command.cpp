// --export OUT [--from DIR] [--video copy|h264]: the recording as one video file. Progress goes
// to stderr while it is a terminal; Ctrl+C or SIGTERM cancels, and nothing is left behind.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/stop_signals.h"
#include "tools/export.h"

namespace marrowdale {

namespace {

void printLine(const std::string& text) {
    std::fprintf(stderr, "marrowdale-record: %s\n", text.c_str());
}

}  // namespace

int runExportCommand(const cli::Options& options, const PlatformServices& platform) {
    ExportFallback fallback;
    if (options.framePeriod)
        fallback.period100ns = *options.framePeriod;
    if (options.frameOption)
        fallback.frameOption = *options.frameOption;
    if (options.imageFormatGiven)
        fallback.imageFormat = options.imageFormat;
    ExportSource source;
    std::string error;
    if (!findExportSource(options.exportFrom.value_or(options.dir), fallback, &source, &error)) {
        printLine("nothing to export: " + error);
        return 2;
    }
    if (!source.described && !options.quiet) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "no recording.ini beside the frames: exported at %.3f ms per slot, frame "
                      "option %u",
                      static_cast<double>(fallback.period100ns) / 10000.0,
                      static_cast<unsigned>(fallback.frameOption));
        printLine(text);
    }

    StopSignals signals;
    if (!signals.blocked()) {
        printLine("cannot take over SIGINT and SIGTERM");
        return 1;
    }
    ExportRequest request;
    request.outputPath = options.exportOut;
    request.codec = options.exportH264 ? ExportVideoCodec::kH264 : ExportVideoCodec::kCopy;
    const bool showProgress = !options.quiet && ::isatty(STDERR_FILENO) == 1;
    auto lastShown = std::chrono::steady_clock::now();
    std::uint32_t sinceCheck = 0;
    const ExportProgressFn progress = [&](const ExportProgress& p) {
        // A look at the signals costs a system call: every few frames is soon enough.
        if (++sinceCheck >= 8) {
            sinceCheck = 0;
            if (signals.arrived())
                return false;
        }
        if (showProgress) {
            const auto now = std::chrono::steady_clock::now();
            if (now - lastShown >= std::chrono::milliseconds(250) ||
                p.framesDone == p.framesTotal) {
                lastShown = now;
                std::fprintf(stderr, "\rmarrowdale-record: exporting frame %llu of %llu",
                             static_cast<unsigned long long>(p.framesDone),
                             static_cast<unsigned long long>(p.framesTotal));
                std::fflush(stderr);
            }
        }
        return true;
    };
    const std::unique_ptr<VideoExporter> exporter =
        platform.videoExporter ? platform.videoExporter() : nullptr;
    if (!exporter) {
        printLine("no video writer can be had here");
        return 1;
    }
    const ExportReport report = exportRecording(*exporter, source, request, progress);
    if (showProgress)
        std::fputc('\n', stderr);
    const std::string message = exportMessage(report, request, source);
    switch (report.outcome) {
        case ExportOutcome::kFinished:
            if (!options.quiet)
                printLine(message);
            return 0;
        case ExportOutcome::kCancelled:
            printLine(message);
            return 1;
        case ExportOutcome::kFailed:
            break;
    }
    printLine(message);
    return 1;
}

}  // namespace marrowdale
