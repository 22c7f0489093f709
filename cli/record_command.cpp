// The recording run of marrowdale-record: the settings a new view starts with, the options on
// top, then the same start commands and recording session as the desktop program, and the stop
// command on a signal, on --seconds or when the workers end by themselves.
#include <signal.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "audio/audio_capture_worker.h"
#include "audio/audio_profile.h"
#include "cli/cli_ui_bridge.h"
#include "cli/commands.h"
#include "cli/stop_signals.h"
#include "platform/clock.h"
#include "platform/platform_services.h"
#include "recorder/capture_stats.h"
#include "recorder/commands.h"
#include "recorder/disk_space.h"
#include "recorder/frame_writers.h"
#include "recorder/recording_folder.h"
#include "recorder/recording_session.h"
#include "recorder/screen_capture_worker.h"
#include "recorder/state.h"
#include "tools/close_others_arming.h"

namespace marrowdale {

namespace {

// The exit statuses of a recording (the README and the manual page list them).
constexpr int kExitOk = 0;          // finished, every slot's picture on the disk
constexpr int kExitFailed = 1;      // failed (see the message)
constexpr int kExitUsage = 2;       // usage error, no display, nothing could start
constexpr int kExitFramesLost = 4;  // finished, but frames were lost or stand in for others
constexpr int kExitDiskLow = 5;     // the disk was too full to start, or ran low and stopped it

std::uint32_t audioSourceFlags(cli::AudioSource source) {
    switch (source) {
        case cli::AudioSource::kMicrophone:
            return 0;
        case cli::AudioSource::kBoth:
            return kAudioStreamFlagsBoth;
        case cli::AudioSource::kNone:
        case cli::AudioSource::kMixer:
            break;
    }
    return kAudioStreamFlagsLoopback;
}

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

// The one summary line of --stats: the screen's figures (when the screen was recorded), the
// sound's (when sound was), and the space the recording's files take and the space left.
void printStats(const CaptureRunStats* stats, const FileFrameWriters* writers,
                const AudioWorkerOutcome* audio, const std::string& folder) {
    std::string line = "stats:";
    char field[160];
    const auto add = [&](const char* format, auto... values) {
        std::snprintf(field, sizeof field, format, values...);
        line += ' ';
        line += field;
    };
    std::uint64_t usedBytes = 0;
    if (stats != nullptr && writers != nullptr) {
        const std::uint64_t files = writers->filesWritten();
        const std::uint64_t highest = stats->highestNumber.load();
        const std::uint64_t free = highest > files ? highest - files : 0;
        const double seconds =
            stats->startTime100ns.load() == 0
                ? 0.0
                : static_cast<double>(stats->endTime100ns - stats->startTime100ns.load()) /
                      10'000'000.0;
        add("files=%" PRIu64, files);
        add("grabs=%" PRIu64, stats->grabs.load());
        add("failed=%" PRIu64, writers->failedWrites());
        add("write_failed=%" PRIu64, writers->failedWrites());
        add("grab_failed=%" PRIu64, stats->failedGrabs);
        add("last=%" PRIu64, highest);
        add("free=%" PRIu64, free);
        add("skipped_by_mode=%" PRIu64, stats->skippedByMode);
        add("reused=%" PRIu64, stats->reusedFrames);
        add("partly_reused=%" PRIu64, stats->partlyReusedFrames);
        add("ring_waits=%" PRIu64, stats->ringWaits);
        add("seconds=%.3f", seconds);
        add("zero_s=%.6f", static_cast<double>(stats->startTime100ns.load()) / 1e7);
        add("late_p50_ms=%.3f", static_cast<double>(stats->lateness.quantile100ns(0.5)) / 10'000.0);
        add("late_p99_ms=%.3f",
            static_cast<double>(stats->lateness.quantile100ns(0.99)) / 10'000.0);
        add("late_max_ms=%.3f", static_cast<double>(stats->lateness.quantile100ns(1.0)) / 10'000.0);
        usedBytes += writers->bytesWritten();
    }
    if (audio != nullptr) {
        const double rate = audio->sampleRate == 0 ? 1.0 : audio->sampleRate;
        const double clockSeconds =
            audio->end100ns > audio->zero100ns && audio->zero100ns != 0
                ? static_cast<double>(audio->end100ns - audio->zero100ns) / 10'000'000.0
                : 0.0;
        add("audio_frames=%" PRIu64, audio->framesWritten);
        add("audio_seconds=%.3f", static_cast<double>(audio->framesWritten) / rate);
        add("clock_seconds=%.3f", clockSeconds);
        add("silence_seconds=%.3f", static_cast<double>(audio->silenceFrames) / rate);
        add("dropped_seconds=%.3f", static_cast<double>(audio->droppedFrames) / rate);
        add("rate=%u", static_cast<unsigned>(audio->sampleRate));
        add("channels=%u", static_cast<unsigned>(audio->channels));
        add("wakeups=%u", static_cast<unsigned>(audio->wakeCount));
        add("audio_exit=%d", static_cast<int>(audio->exitCode));
        std::error_code ec;
        const auto wma = std::filesystem::file_size(audioFilePath(folder), ec);
        if (!ec)
            usedBytes += wma;
    }
    add("disk_used_mb=%.1f", static_cast<double>(usedBytes) / (1024.0 * 1024.0));
    const std::optional<std::uint64_t> left = freeDiskBytes(folder);
    add("disk_free_mb=%.1f", left ? static_cast<double>(*left) / (1024.0 * 1024.0) : -1.0);
    if (stats != nullptr)
        line += " folder=" + folder + "/vid1/";
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

// The start commands' view of marrowdale-record: no windows, the working folder as the
// current directory.
class CliCommandHost final : public CommandHost {
  public:
    explicit CliCommandHost(std::string folder) : folder_(std::move(folder)) {}
    CaptureView* view() override { return nullptr; }
    WindowHandle viewWindow() override { return nullptr; }
    WindowHandle parentWindow() override { return nullptr; }
    WindowHandle mainFrame() override { return nullptr; }
    void minimizeMainFrame() override {}
    std::string currentDirectory() override { return folder_; }

  private:
    std::string folder_;
};

// The platform services of a recording and the bodies of its workers. They are made on the
// main thread before the recording starts, so that a failure is told first and the encoder
// catalogue is probed outside the recording.
class CliWorkers {
  public:
    CliWorkers(const PlatformServices& platform, CaptureSettings& settings, RecorderState& state,
               UiBridge& ui)
        : platform_(platform), settings_(settings), state_(state), ui_(ui) {}

    bool prepareScreen(ScreenGrabberLoader& screens, int jpegQuality) {
        screens_ = &screens;
        grabber_ = screens.createGrabber();
        if (platform_.jpegEncoder)
            encoder_ = platform_.jpegEncoder({jpegQuality, kDefaultJpegQuality.subsampling});
        if (!grabber_ || !encoder_) {
            printError("the JPEG encoder cannot be initialised");
            return false;
        }
        writers_ = std::make_unique<FileFrameWriters>(encoder_.get(), ui_, state_);
        return true;
    }
    void prepareAudio() {
        if (platform_.mediaFormat)
            media_ = platform_.mediaFormat();
        if (platform_.audioSystem)
            audio_ = platform_.audioSystem();
    }

    RecordingSession::Body screenBody() {
        if (!writers_)
            return {};
        return [this](const WorkerStart& start) {
            ScreenCaptureServices services{clock_, *grabber_, *writers_, ui_};
            services.endHook = &closeOthers_;
            screenEnd_ = runScreenCaptureWorker(settings_, state_, services, start.folder,
                                                start.screenStats);
            return WorkerEnd{screenEnd_ != ScreenRunEnd::kEnded, 0};
        };
    }
    RecordingSession::Body audioBody() {
        if (!audio_ || !media_)
            return {};
        return [this](const WorkerStart& start) {
            AudioWorkerServices services{clock_, *audio_, *media_, ui_};
            services.endHook = &closeOthers_;
            const AudioRunTarget target{start.folder, start.zero100ns, start.zeroFromScreen};
            runAudioCaptureWorker(settings_, state_, services, target, &audioOutcome_);
            return WorkerEnd{audioFailed(), audioOutcome_.exitCode};
        };
    }

    Clock& clock() { return clock_; }
    // Read once the screen worker has ended: it lost its screen.
    bool screenLost() const { return screenEnd_ == ScreenRunEnd::kScreenLost; }
    std::string lostMessage() const { return screens_ != nullptr ? screens_->lostMessage() : ""; }
    const FileFrameWriters* writers() const { return writers_.get(); }
    // Read once the audio worker has ended.
    const AudioWorkerOutcome& audioOutcome() const { return audioOutcome_; }
    bool audioFailed() const { return !audioOutcome_.normalEnd || audioOutcome_.exitCode < 0; }
    // A failure that showed no message of its own (the worker's silent exits) is told here.
    void reportSilentAudioFailure() const {
        if (!audioFailed() || audioOutcome_.errorShown)
            return;
        char text[96];
        std::snprintf(text, sizeof text, "the audio recording ended early (0x%08X)",
                      static_cast<unsigned>(audioOutcome_.exitCode));
        printError(text);
    }

  private:
    const PlatformServices& platform_;
    CaptureSettings& settings_;
    RecorderState& state_;
    UiBridge& ui_;
    // Both workers' last end step, as in the desktop program (the bridge arms no timer here).
    CloseOthersArming closeOthers_{settings_, state_, ui_};
    MonotonicClock clock_;
    ScreenRunEnd screenEnd_ = ScreenRunEnd::kEnded;
    ScreenGrabberLoader* screens_ = nullptr;
    std::unique_ptr<ScreenGrabber> grabber_;
    std::unique_ptr<JpegEncoder> encoder_;
    std::unique_ptr<FileFrameWriters> writers_;
    std::unique_ptr<AudioSystem> audio_;
    std::unique_ptr<MediaFormatService> media_;
    AudioWorkerOutcome audioOutcome_;
};

}  // namespace

int runRecordCommand(const cli::Options& options, const PlatformServices& platform) {
    const bool withScreen = !options.audioOnly;
    const bool withAudio = options.audioOnly || options.audio != cli::AudioSource::kNone;
    // The screen's service; for the portal this asks the desktop for permission.
    std::unique_ptr<ScreenGrabberLoader> screens;
    if (withScreen) {
        if (platform.screenGrabbers)
            screens = platform.screenGrabbers(options.backend);
        if (!screens) {
            printError("no screen service in this program");
            return 2;
        }
        const ScreenSourceResult source = screens->prepare();
        if (source.status != ScreenSourceStatus::kOk) {
            printError(source.error);
            return screenSourceExitStatus(source.status);
        }
    }
    const std::string dir = workingFolder(options.dir);
    if (dir.empty()) {
        printError("cannot use the folder '" + options.dir + "'");
        return 2;
    }

    CaptureSettings& settings = captureSettings();
    RecorderState& state = recorderState();
    cli::StderrUiBridge ui;
    ui.setQuiet(options.quiet);

    // What a new view does, then the options the user gave.
    resetForNewView(settings, state);
    (void)timeBeginPeriod(1);
    clearStopRequests(state);
    applyOptions(options, settings);
    // The audio source dialog's two choices, or both sources mixed.
    if (options.audio != cli::AudioSource::kNone)
        settings.audioStreamFlags = audioSourceFlags(options.audio);

    StopSignals signals;
    if (!signals.blocked()) {
        printError("cannot take over SIGINT and SIGTERM");
        return 1;
    }

    CliWorkers workers(platform, settings, state, ui);
    if (withScreen && !workers.prepareScreen(*screens, options.jpegQuality))
        return 1;
    if (withAudio)
        workers.prepareAudio();
    RecordingSession session(state, workers.screenBody(), workers.audioBody());
    session.watchDiskSpace(settings, ui);
    CliCommandHost host(dir);
    RecordingCommandContext ctx{settings, state, ui, session, host};

    // The start command the options stand for, with its checks and messages.
    const StartResult started = !withScreen ? startAudioRecording(ctx)
                                : withAudio ? startScreenAndAudioRecording(ctx)
                                            : startScreenRecording(ctx);
    switch (started) {
        case StartResult::kStarted:
            break;
        case StartResult::kRefusedNoArea:
        case StartResult::kRefusedTooLarge:
        case StartResult::kRefusedRunning:
            return kExitUsage;
        case StartResult::kFolderFailed:
            return kExitFailed;
        case StartResult::kRefusedDiskSpace:
            return kExitDiskLow;
    }

    // --seconds counts from the recording's zero (the first slot's start, once the screen
    // worker's set-up is done; for audio alone, when capturing starts).
    const bool timed = options.seconds.has_value();
    const auto duration =
        timed ? static_cast<std::uint64_t>(*options.seconds * 10'000'000.0) : std::uint64_t{0};
    while (session.screenWorkerRunning() || session.audioWorkerRunning()) {
        long waitMs = 50;
        const std::uint64_t zero = session.zero100ns();
        if (timed && zero != 0) {
            const std::uint64_t now = workers.clock().now100ns();
            const std::uint64_t stopAt = zero + duration;
            if (now >= stopAt)
                break;
            waitMs = std::min<long>(waitMs, static_cast<long>((stopAt - now + 9'999) / 10'000));
        } else if (timed) {
            waitMs = 1;
        }
        if (signals.wait(waitMs))
            break;
    }
    session.requestStop();
    session.waitForAll(std::chrono::milliseconds::max());
    (void)timeEndPeriod(1);
    // The screen worker ends by itself when its screen goes away (every further frame would
    // repeat the last picture), with the recording finished as on the stop command.
    const bool displayLost = withScreen && workers.screenLost();
    if (displayLost)
        printError(workers.lostMessage());

    const CaptureRunStats* stats = session.screenStats();
    if (withAudio)
        workers.reportSilentAudioFailure();
    if (options.stats)
        printStats(stats, workers.writers(), withAudio ? &workers.audioOutcome() : nullptr, dir);
    // Where the recording went, from the files on disk.
    if (!options.quiet) {
        const RecordingSummary summary =
            summarizeRecording(dir, settings.imageFormat.load(), withAudio);
        std::fprintf(stderr, "marrowdale-record: %s\n", recordingSummaryLine(summary).c_str());
    }
    if (stats != nullptr && stats->grabberFailed)
        return kExitFailed;  // said by the worker
    if (stats != nullptr && stats->grabs > 0 && workers.writers()->filesWritten() == 0) {
        printError("no frame file could be written in " + dir + "/vid1/");
        return kExitFailed;
    }
    if ((withAudio && workers.audioFailed()) || displayLost)
        return kExitFailed;
    if (session.stoppedForDiskSpace())
        return kExitDiskLow;  // said by the session
    // Finished, but not every slot has its own picture on the disk.
    if (stats != nullptr) {
        const std::string lost =
            lostFramesReport(*stats, workers.writers()->failedWrites(),
                             workers.writers()->bytesWritten(), dir + "/vid1/");
        if (!lost.empty()) {
            printError(lost);
            return kExitFramesLost;
        }
    }
    return kExitOk;
}

}  // namespace marrowdale
