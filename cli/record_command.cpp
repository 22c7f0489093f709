// The recording run of marrowdale-record: the settings a new view starts with, the options on
// top, the start command's checks, the capture worker, and the stop command on a signal, on
// --seconds or when the worker ends by itself.
#include <signal.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "audio/audio_capture_worker.h"
#include "cli/cli_ui_bridge.h"
#include "cli/commands.h"
#include "platform/clock.h"
#include "platform/ffmpeg/ffmpeg_media.h"
#include "platform/jpeg_encoder.h"
#include "platform/pulse/pulse_audio.h"
#include "platform/screen_grabber.h"
#include "platform/screen_grabber_loader.h"
#include "recorder/capture_stats.h"
#include "recorder/frame_names.h"
#include "recorder/frame_writers.h"
#include "recorder/output_folder.h"
#include "recorder/screen_capture_worker.h"
#include "recorder/state.h"

namespace marrowdale {

namespace {

constexpr std::string_view kNoAreaMessage = "The capture area has no width or height.";

void printError(const std::string& text) {
    std::fprintf(stderr, "marrowdale-record: %s\n", text.c_str());
}

// The working folder as an absolute path, created when missing. Empty on failure.
std::string workingFolder(const std::string& dir) {
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(dir, ec);
    if (ec)
        return {};
    std::filesystem::create_directories(path, ec);
    if (ec || !std::filesystem::is_directory(path, ec))
        return {};
    path = std::filesystem::weakly_canonical(path, ec);
    if (ec)
        return {};
    std::string text = path.string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

void applyOptions(const cli::Options& o, CaptureSettings& settings) {
    settings.captureLeft = o.left;
    settings.captureTop = o.top;
    settings.captureRight = o.right;
    settings.captureBottom = o.bottom;
    if (o.framePeriod)
        settings.framePeriod = *o.framePeriod;
    if (o.frameOption)
        settings.frameOption = *o.frameOption;
    if (o.captureMode)
        settings.captureMode = *o.captureMode;
    if (o.maxFrames)
        settings.maxFrames = *o.maxFrames;
    settings.imageFormat = o.imageFormat;
}

// SIGINT and SIGTERM are blocked in every thread and taken by the main thread with
// sigtimedwait, so a signal only ever turns into the stop command.
class StopSignals {
  public:
    StopSignals() {
        sigemptyset(&set_);
        sigaddset(&set_, SIGINT);
        sigaddset(&set_, SIGTERM);
        blocked_ = pthread_sigmask(SIG_BLOCK, &set_, &previous_) == 0;
    }
    ~StopSignals() {
        if (blocked_)
            pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool blocked() const { return blocked_; }
    // Waits up to `timeoutMs` for a stop signal; true when one came.
    bool wait(long timeoutMs) {
        timespec timeout{};
        timeout.tv_sec = timeoutMs / 1000;
        timeout.tv_nsec = (timeoutMs % 1000) * 1'000'000L;
        return sigtimedwait(&set_, nullptr, &timeout) > 0;
    }

  private:
    sigset_t set_{};
    sigset_t previous_{};
    bool blocked_ = false;
};

// No display or portal: 2, as for a missing display; permission refused: 3; a service that is
// there but failed: 1.
int screenSourceExitStatus(ScreenSourceStatus status) {
    switch (status) {
        case ScreenSourceStatus::kOk:
            return 0;
        case ScreenSourceStatus::kUnavailable:
            return 2;
        case ScreenSourceStatus::kRefused:
            return 3;
        case ScreenSourceStatus::kFailed:
            break;
    }
    return 1;
}

// The stop command: both flags; the worker leaves its loop at its next pass.
void stopRecording(RecorderState& state) {
    state.screenStopped = 1;
    state.screenFinished = 1;
}

void printStats(const CaptureRunStats& stats, const FileFrameWriters& writers,
                const std::string& prefix) {
    const std::uint64_t files = writers.filesWritten();
    const std::uint64_t free = stats.highestNumber > files ? stats.highestNumber - files : 0;
    const double seconds =
        static_cast<double>(stats.endTime100ns - stats.startTime100ns.load()) / 10'000'000.0;
    std::printf("stats: files=%" PRIu64 " grabs=%" PRIu64 " failed=%" PRIu64 " last=%" PRIu64
                " free=%" PRIu64 " skipped_by_mode=%" PRIu64 " reused=%" PRIu64
                " seconds=%.3f late_p50_ms=%.3f late_p99_ms=%.3f late_max_ms=%.3f folder=%s\n",
                files, stats.grabs, writers.failedWrites(), stats.highestNumber, free,
                stats.skippedByMode, stats.reusedFrames, seconds,
                static_cast<double>(stats.lateness.quantile100ns(0.5)) / 10'000.0,
                static_cast<double>(stats.lateness.quantile100ns(0.99)) / 10'000.0,
                static_cast<double>(stats.lateness.quantile100ns(1.0)) / 10'000.0, prefix.c_str());
    std::fflush(stdout);
}

// The audio side of a recording: the audio worker on its thread, over PulseAudio and the
// FFmpeg writer. test.wma goes into the current directory, which start() sets to the working
// folder.
class AudioRecording {
  public:
    AudioRecording() {
        // The encoder catalogue is probed once; doing it now keeps it out of the recording.
        (void)ffmpegCodecCatalogue();
    }
    ~AudioRecording() {
        if (thread_.joinable())
            thread_.join();
    }
    AudioRecording(const AudioRecording&) = delete;
    AudioRecording& operator=(const AudioRecording&) = delete;

    bool start(CaptureSettings& settings, RecorderState& state, Clock& clock, UiBridge& ui,
               const std::string& dir) {
        if (chdir(dir.c_str()) != 0) {
            printError("cannot use the folder '" + dir + "' for test.wma");
            return false;
        }
        const AudioWorkerServices services{clock, *audio_, *media_, ui};
        thread_ = startAudioCaptureWorker(settings, state, services, &outcome_, &done_);
        return true;
    }
    bool done() const { return done_.load(); }
    // The end of the screen recording (or the stop command) ends the audio worker: the signal
    // is given again until it has ended, in case it was still setting up the first time.
    void finish(RecorderState& state) {
        while (thread_.joinable() && !done_.load()) {
            state.screenFinished = 1;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (thread_.joinable())
            thread_.join();
        reportSilentFailure();
    }
    bool failed() const { return !outcome_.normalEnd || outcome_.exitCode < 0; }
    // A failure that showed no message of its own (the worker's silent exits) is told here.
    void reportSilentFailure() const {
        if (!failed() || outcome_.errorShown)
            return;
        char text[96];
        std::snprintf(text, sizeof text, "the audio recording ended early (0x%08X)",
                      static_cast<unsigned>(outcome_.exitCode));
        printError(text);
    }
    void printStats() const {
        const double seconds =
            outcome_.sampleRate == 0
                ? 0.0
                : static_cast<double>(outcome_.framesWritten) / outcome_.sampleRate;
        const double clockSeconds =
            outcome_.lastDrainTime100ns > outcome_.startTime100ns
                ? static_cast<double>(outcome_.lastDrainTime100ns - outcome_.startTime100ns) /
                      10'000'000.0
                : 0.0;
        std::printf("audio: frames=%" PRIu64
                    " seconds=%.3f clock_seconds=%.3f rate=%u channels=%u wakeups=%u "
                    "exit=%d\n",
                    outcome_.framesWritten, seconds, clockSeconds,
                    static_cast<unsigned>(outcome_.sampleRate),
                    static_cast<unsigned>(outcome_.channels),
                    static_cast<unsigned>(outcome_.wakeCount), static_cast<int>(outcome_.exitCode));
        std::fflush(stdout);
    }

  private:
    std::unique_ptr<AudioSystem> audio_ = createPulseAudioSystem();
    std::unique_ptr<MediaFormatService> media_ = createFfmpegMediaFormatService();
    AudioWorkerOutcome outcome_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// --audio-only: "Record audio only" without the screen, until --seconds or a stop signal.
int runAudioOnlyCommand(const cli::Options& options) {
    const std::string dir = workingFolder(options.dir);
    if (dir.empty()) {
        printError("cannot use the folder '" + options.dir + "'");
        return 2;
    }
    CaptureSettings& settings = captureSettings();
    RecorderState& state = recorderState();
    cli::StderrUiBridge ui;
    resetForNewView(settings, state);
    (void)timeBeginPeriod(1);
    clearStopRequests(state);

    StopSignals signals;
    if (!signals.blocked()) {
        printError("cannot take over SIGINT and SIGTERM");
        return 1;
    }
    MonotonicClock clock;
    AudioRecording audio;
    state.screenFinished = 0;
    if (!audio.start(settings, state, clock, ui, dir))
        return 1;
    const std::uint64_t startedAt = clock.now100ns();
    const bool timed = options.seconds.has_value();
    const std::uint64_t stopAt =
        startedAt + (timed ? static_cast<std::uint64_t>(*options.seconds * 10'000'000.0) : 0);
    while (!audio.done()) {
        long waitMs = 50;
        if (timed) {
            const std::uint64_t now = clock.now100ns();
            if (now >= stopAt)
                break;
            waitMs = std::min<long>(waitMs, static_cast<long>((stopAt - now + 9'999) / 10'000));
        }
        if (signals.wait(waitMs))
            break;
    }
    stopRecording(state);
    audio.finish(state);
    (void)timeEndPeriod(1);
    if (options.stats)
        audio.printStats();
    return audio.failed() ? 1 : 0;
}

}  // namespace

int runRecordCommand(const cli::Options& options) {
    if (options.audioOnly)
        return runAudioOnlyCommand(options);
    const bool withAudio = options.audio != cli::AudioSource::kNone;
    // The screen's service; for the portal this asks the desktop for permission.
    std::unique_ptr<ScreenGrabberLoader> screens = loadScreenGrabbers(options.backend);
    const ScreenSourceResult source = screens->prepare();
    if (source.status != ScreenSourceStatus::kOk) {
        printError(source.error);
        return screenSourceExitStatus(source.status);
    }
    const std::string dir = workingFolder(options.dir);
    if (dir.empty()) {
        printError("cannot use the folder '" + options.dir + "'");
        return 2;
    }

    CaptureSettings& settings = captureSettings();
    RecorderState& state = recorderState();
    cli::StderrUiBridge ui;

    // What a new view does, then the options the user gave.
    resetForNewView(settings, state);
    (void)timeBeginPeriod(1);
    clearStopRequests(state);
    applyOptions(options, settings);

    if (settings.captureRight.load() - settings.captureLeft.load() <= 0 ||
        settings.captureBottom.load() - settings.captureTop.load() <= 0) {
        printError(std::string(kNoAreaMessage));
        return 2;
    }

    // The start command.
    state.stopScreenRequested = 0;
    state.stopAudioRequested = 0;
    state.screenStopped = 0;
    const OutputFolder folder = prepareOutputFolder(dir);
    if (folder.result != OutputFolderResult::kOk) {
        ui.messageBox(nullptr, outputFolderMessage(folder.result), kCaptionPlumet);
        return 1;
    }
    if (!prefixFitsFrameNames(folder.prefix)) {
        ui.messageBox(nullptr, outputFolderMessage(OutputFolderResult::kAppendVid1Failed),
                      kCaptionPlumet);
        return 1;
    }

    StopSignals signals;
    if (!signals.blocked()) {
        printError("cannot take over SIGINT and SIGTERM");
        return 1;
    }

    MonotonicClock clock;
    std::unique_ptr<ScreenGrabber> grabber = screens->createGrabber();
    std::unique_ptr<JpegEncoder> encoder =
        createTurboJpegEncoder({options.jpegQuality, kDefaultJpegQuality.subsampling});
    if (!encoder) {
        printError("the JPEG encoder cannot be initialised");
        return 1;
    }
    FileFrameWriters writers(encoder.get(), ui, state);
    const ScreenCaptureServices services{clock, *grabber, writers, ui};
    CaptureRunStats stats;
    std::atomic<bool> workerDone{false};

    // Start-both: the audio worker first, then the screen worker.
    std::unique_ptr<AudioRecording> audio;
    if (withAudio) {
        settings.audioStreamFlags =
            options.audio == cli::AudioSource::kMixer ? kAudioStreamFlagsLoopback : 0;
        state.screenStopped = 0;
        state.screenFinished = 0;
        audio = std::make_unique<AudioRecording>();
        if (!audio->start(settings, state, clock, ui, dir))
            return 1;
    }

    std::thread worker([&] {
        runScreenCaptureWorker(settings, state, services, dir, &stats);
        workerDone = true;
    });

    // --seconds counts from the first slot's start, once the worker's set-up is done.
    const bool timed = options.seconds.has_value();
    const std::uint64_t duration =
        timed ? static_cast<std::uint64_t>(*options.seconds * 10'000'000.0) : 0;
    bool stopped = false;
    bool displayLost = false;
    while (!workerDone.load()) {
        // The worker clears screenStopped as it starts; a stop given before that is given again.
        if (stopped)
            stopRecording(state);
        long waitMs = 50;
        const std::uint64_t startedAt = stats.startTime100ns.load();
        if (timed && !stopped && startedAt != 0) {
            const std::uint64_t now = clock.now100ns();
            const std::uint64_t stopAt = startedAt + duration;
            if (now >= stopAt) {
                stopRecording(state);
                stopped = true;
                continue;
            }
            const std::uint64_t leftMs = (stopAt - now + 9'999) / 10'000;
            if (leftMs < static_cast<std::uint64_t>(waitMs))
                waitMs = static_cast<long>(leftMs);
        } else if (timed && !stopped) {
            waitMs = 1;
        }
        if (signals.wait(waitMs) && !stopped) {
            stopRecording(state);
            stopped = true;
        }
        if (!stopped && grabber->connectionLost()) {
            // Every further frame would repeat the last picture: end the recording cleanly.
            printError(screens->lostMessage());
            displayLost = true;
            stopRecording(state);
            stopped = true;
        }
    }
    worker.join();
    if (audio)
        audio->finish(state);
    (void)timeEndPeriod(1);

    if (options.stats)
        printStats(stats, writers, folder.prefix);
    if (audio && options.stats)
        audio->printStats();
    if (stats.grabs > 0 && writers.filesWritten() == 0) {
        printError("no frame file could be written in " + folder.prefix);
        return 1;
    }
    if (audio && audio->failed())
        return 1;
    return displayLost ? 1 : 0;
}

}  // namespace marrowdale
