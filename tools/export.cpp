#include "tools/export.h"

#include <sys/stat.h>

#include <cstdio>

#include "recorder/screen_capture_worker.h"
#include "recorder/state.h"

namespace marrowdale {

namespace {

bool isDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// Slot layout of a frame option: d numbers per slot, a places the first.
struct SlotLayout {
    std::int64_t perSlot;
    std::int64_t offset;
};

SlotLayout layoutOf(std::uint8_t frameOption) {
    if (frameOption >= 11 && frameOption <= 14)
        return {frameOption - 9, 1};
    const std::int64_t count = frameOption == 0 ? 1 : frameOption;
    return {count, count - 1};
}

}  // namespace

std::uint32_t grabsPerSlot(std::uint8_t frameOption) {
    if (frameOption >= 11 && frameOption <= 14)
        return 1;
    return frameOption == 0 ? 1 : frameOption;
}

std::int64_t frameTime100ns(std::uint64_t number, std::uint32_t period100ns,
                            std::uint8_t frameOption) {
    const SlotLayout slot = layoutOf(frameOption);
    // The capture loop's first slot is 40 ms after the zero whatever the period, each further
    // slot one period later: slot k lies at k periods less (period - 40 ms).
    const std::int64_t firstSlotShift =
        static_cast<std::int64_t>(kFirstSlotDelay100ns) - static_cast<std::int64_t>(period100ns);
    // Numbers stay far below 2^32 and periods below 2^32: the product fits.
    return (static_cast<std::int64_t>(number) + slot.offset) * period100ns / slot.perSlot +
           firstSlotShift;
}

std::vector<ExportFrame> planExportFrames(const std::vector<FrameFile>& files,
                                          const std::string& framesFolder,
                                          std::uint32_t period100ns, std::uint8_t frameOption) {
    std::vector<ExportFrame> plan;
    plan.reserve(files.size());
    // The last frame is shown for its grab's share of a slot.
    const std::int64_t share = static_cast<std::int64_t>(period100ns) / grabsPerSlot(frameOption);
    for (const FrameFile& f : files) {
        ExportFrame frame;
        frame.path = framesFolder + "/" + f.name;
        frame.time100ns = frameTime100ns(f.number, period100ns, frameOption);
        if (!plan.empty())
            plan.back().duration100ns = frame.time100ns - plan.back().time100ns;
        plan.push_back(std::move(frame));
    }
    if (!plan.empty())
        plan.back().duration100ns = share > 0 ? share : 1;
    return plan;
}

bool findExportSource(const std::string& fromText, const ExportFallback& fallback,
                      ExportSource* out, std::string* error) {
    *out = ExportSource{};
    const std::string from = withoutTrailingSlashes(fromText.empty() ? "." : fromText);
    std::string frames;
    std::string description;
    std::string sound;
    const std::string vid1(kFramesFolderName);
    if (isDirectory(from + "/" + vid1)) {
        frames = from + "/" + vid1;
        description = from + "/" + std::string(kDescriptionFileName);
        sound = from + "/" + std::string(kSoundFileName);
    } else if (isDirectory(from)) {
        // A frame folder: vid1 itself or one moved aside, vid1-STAMP.
        frames = from;
        const std::size_t slash = from.rfind('/');
        const std::string parent = slash == std::string::npos ? "." : from.substr(0, slash);
        const std::string name = slash == std::string::npos ? from : from.substr(slash + 1);
        if (name == vid1) {
            description = parent + "/" + std::string(kDescriptionFileName);
            sound = parent + "/" + std::string(kSoundFileName);
        } else if (name.starts_with(vid1 + "-")) {
            const std::string stamp = name.substr(vid1.size());
            description = parent + "/recording" + stamp + ".ini";
            sound = parent + "/test" + stamp + ".wma";
        }
    } else {
        *error = "there is no folder " + from;
        return false;
    }

    std::string why;
    if (!description.empty() && isFile(description)) {
        const auto read = readRecordingDescription(description, &why);
        if (!read) {
            *error = description + " cannot be used: " + why;
            return false;
        }
        out->described = true;
        out->descriptionPath = description;
        out->description = *read;
        // The description names the sound file beside it (for a recording moved aside, the
        // sound moved with it under the same stamp).
        if (!out->description.sound)
            sound.clear();
    } else {
        out->description.period100ns = fallback.period100ns;
        out->description.frameOption = fallback.frameOption;
    }
    out->framesFolder = frames;
    if (!sound.empty() && isFile(sound))
        out->soundPath = sound;

    ImageFormat format = out->described ? out->description.imageFormat
                                        : fallback.imageFormat.value_or(ImageFormat::kJpeg);
    if (!listFrameFiles(frames, format, &out->frames)) {
        *error = "the folder " + frames + " cannot be read";
        return false;
    }
    if (out->frames.empty() && !out->described && !fallback.imageFormat) {
        format = ImageFormat::kBmp;  // a folder of BMP frames
        (void)listFrameFiles(frames, format, &out->frames);
    }
    out->description.imageFormat = format;
    if (out->frames.empty()) {
        *error = "there are no " + std::string(format == ImageFormat::kBmp ? "BMP" : "JPEG") +
                 " frame files in " + frames + "/";
        return false;
    }
    return true;
}

ExportReport exportRecording(VideoExporter& exporter, const ExportSource& source,
                             const ExportRequest& request, const ExportProgressFn& progress) {
    ExportReport report;
    const RecordingDescription& d = source.description;
    const std::vector<ExportFrame> plan =
        planExportFrames(source.frames, source.framesFolder, d.period100ns, d.frameOption);
    report.progress.framesTotal = plan.size();
    report.withSound = !source.soundPath.empty();
    if (plan.empty()) {
        report.outcome = ExportOutcome::kFailed;
        report.error = "there are no frame files in " + source.framesFolder + "/";
        return report;
    }

    VideoExportSetup setup;
    setup.outputPath = request.outputPath;
    setup.codec = request.codec;
    setup.bmpFrames = d.imageFormat == ImageFormat::kBmp;
    setup.firstFramePath = plan.front().path;
    setup.frameSpacing100ns = d.period100ns / grabsPerSlot(d.frameOption);
    setup.soundPath = source.soundPath;
    setup.startedUtc = d.started;
    setup.replace = request.replace;
    std::unique_ptr<VideoExportWriter> writer = exporter.open(setup, &report.error);
    if (!writer) {
        report.outcome = ExportOutcome::kFailed;
        return report;
    }
    for (const ExportFrame& frame : plan) {
        if (!writer->addFrame(frame.path, frame.time100ns, frame.duration100ns, &report.error)) {
            report.outcome = ExportOutcome::kFailed;
            return report;
        }
        ++report.progress.framesDone;
        if (progress && !progress(report.progress)) {
            report.outcome = ExportOutcome::kCancelled;
            return report;
        }
    }
    if (!writer->finish(&report.error)) {
        report.outcome = ExportOutcome::kFailed;
        return report;
    }
    report.videoEnd100ns = plan.back().time100ns + plan.back().duration100ns;
    return report;
}

std::string exportMessage(const ExportReport& report, const ExportRequest& request,
                          const ExportSource& source) {
    switch (report.outcome) {
        case ExportOutcome::kFailed:
            return "The video could not be exported: " + report.error;
        case ExportOutcome::kCancelled:
            return "Export cancelled after " + std::to_string(report.progress.framesDone) + " of " +
                   std::to_string(report.progress.framesTotal) + " frames; nothing was written";
        case ExportOutcome::kFinished:
            break;
    }
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s",
                  static_cast<double>(report.videoEnd100ns) / 10'000'000.0);
    std::string sound = "no sound";
    if (report.withSound) {
        const std::size_t slash = source.soundPath.rfind('/');
        sound = "sound from " + (slash == std::string::npos ? source.soundPath
                                                            : source.soundPath.substr(slash + 1));
    }
    return "Exported " + std::to_string(report.progress.framesDone) + " frames (" + seconds + ", " +
           sound + ") to " + request.outputPath;
}

}  // namespace marrowdale
