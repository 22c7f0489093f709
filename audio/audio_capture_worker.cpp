#include "audio/audio_capture_worker.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/audio_placement.h"
#include "audio/audio_profile.h"
#include "audio/level_meter.h"
#include "audio/source_mix.h"
#include "platform/arrival_stamps.h"

namespace marrowdale {

namespace {

constexpr const char* kError1 =
    "Error-1: Audio recorder  not started\n\nGetDefaultAudioEndpoint error";
constexpr const char* kError2 = "Error-2: Audio recorder  not started\n\nActivate error";
constexpr const char* kError3 = "Error -3: Audio recorder  not started\n\nGetMixFormat error";
constexpr const char* kError4 = "Error -4: Audio recorder  not started\n\nInitialize error";
constexpr const char* kError5 = "Error -5: Audio recorder  not started\n\nGetBufferSize error";
constexpr const char* kError6 = "Error -6: Audio recorder  not started\n\nGetService error";
constexpr const char* kError8 = "Error -8: Audio recorder  not started\n\nStart error";
constexpr const char* kError9 =
    "Error -9: Audio recorder  while looping\n\nGetNextPacketSize error";
constexpr const char* kError10 = "Error -10: Audio recorder  while looping\n\nGetBuffer error";
constexpr const char* kError20 = "Error -20: GetBuffer error";
constexpr const char* kError11 = "Error -11: Audio recorder  while looping\n\nWriteSample error";

// The second message of error -6, by the capture service's result.
const char* captureServiceExplanation(HResult result) {
    switch (result) {
        case AUDCLNT_E_WRONG_ENDPOINT_TYPE:
            return "The caller tried to access an IAudioCaptureClient interface on a rendering "
                   "endpoint, or an IAudioRenderClient interface on a capture endpoint.";
        case E_NOINTERFACE:
            return "The requested interface is not available.";
        case E_POINTER:
            return "Parameter ppv is NULL.";
        case AUDCLNT_E_NOT_INITIALIZED:
            return "The audio stream has not been initialized.";
        case AUDCLNT_E_DEVICE_INVALIDATED:
            return " The audio endpoint device has been unplugged, or the audio hardware or "
                   "associated hardware resources have been reconfigured, disabled, removed, or "
                   "otherwise made unavailable for use.";
        case AUDCLNT_E_SERVICE_NOT_RUNNING:
            return "  The Windows audio service is not running.";
        default:
            return "unknown error";
    }
}

// Everything one run holds. The destructor is the release on every path: the file is
// finished when writing had begun, then the writer, the profile, the capture client, the
// audio client, the device and the enumerator go, in that order.
class AudioRun {
  public:
    AudioRun(CaptureSettings& settings, RecorderState& state, const AudioWorkerServices& services,
             const AudioRunTarget& target, AudioWorkerOutcome& outcome)
        : settings_(settings),
          state_(state),
          services_(services),
          target_(target),
          outcome_(outcome) {}

    ~AudioRun() { finishWriter(); }

    std::int32_t run();

  private:
    // How writing a stretch of the file went.
    enum class Written { Ok, Missing, SampleBuffer, WriteSample };

    std::int32_t setUp(bool* toCommonExit);
    std::int32_t loop(bool* toCommonExit);
    std::int32_t drain(bool* toCommonExit, bool everything = false);
    std::int32_t placePending(bool everything);
    std::int32_t finishAtStop(bool* toCommonExit);
    std::int32_t normalEnd();
    std::int32_t commonExit(std::int32_t carried);
    std::int32_t numberedError(std::int32_t number, const char* text);
    std::int32_t missing(HResult result, const std::string& text);
    std::int32_t writeFailure(Written what, HResult result);
    bool placementReady(bool stopping);
    Written writeFrames(MediaSample* sample, const float* data, std::uint32_t frames,
                        HResult* result);
    Written writeSilence(std::uint64_t frames, HResult* result);
    Written writeRepeats(const float* frame, std::uint32_t count, HResult* result);
    void show(const std::string& text) {
        outcome_.errorShown = true;
        services_.ui.generalMessage(nullptr, text);
    }
    void finishWriter() {
        if (writer_ && writingBegun_)
            writer_->endWriting();
        writingBegun_ = false;
        writer_.reset();
        profile_.reset();
        codecInfo_.reset();
    }
    void noteWritten() {
        outcome_.framesWritten = framesWritten_;
        if (placement_) {
            outcome_.silenceFrames = placement_->silenceFrames();
            outcome_.droppedFrames = placement_->droppedFrames();
        }
    }

    CaptureSettings& settings_;
    RecorderState& state_;
    const AudioWorkerServices& services_;
    const AudioRunTarget& target_;
    AudioWorkerOutcome& outcome_;

    // Both sources at once: the endpoint that mixes them (it outlives the objects it makes).
    std::unique_ptr<AudioSystem> mixed_;
    std::unique_ptr<AudioDeviceEnumerator> enumerator_;
    std::unique_ptr<AudioDevice> device_;
    std::unique_ptr<AudioClient> client_;
    std::unique_ptr<AudioCaptureClient> capture_;
    WaveFormatEx mixFormat_;
    std::unique_ptr<Profile> profile_;
    std::shared_ptr<CodecInfo> codecInfo_;
    std::unique_ptr<MediaWriter> writer_;
    bool writingBegun_ = false;

    std::uint32_t bufferFrames_ = 0;
    std::uint32_t sleepPeriodMs_ = 0;
    double ticksPerFrame_ = 0;
    std::uint64_t framesWritten_ = 0;
    std::uint32_t wakeCount_ = 0;
    std::uint64_t lastDrain100ns_ = 0;
    std::uint64_t stopSeen100ns_ = 0;  // when a stop flag was first seen (0: not yet)

    // Packets taken from the endpoint and not yet placed, oldest first; their samples one
    // after the other in pendingSamples_ (both reused from drain to drain).
    struct Pending {
        std::uint64_t time100ns;
        std::uint32_t frames;
        std::size_t offset;
        std::unique_ptr<MediaSample> sample;  // allocated before the packet was taken
    };
    std::vector<Pending> pending_;
    std::vector<float> pendingSamples_;
    std::optional<AudioPlacement> placement_;
    bool stampedPackets_ = false;  // the endpoint stamps its packets
    std::vector<float> zeros_;     // one chunk of silence, made at the first need
    std::vector<float> repeats_;   // copies of a packet's last frame
    // The level meter of a single source (the mix measures each of its own).
    SoundLevel* level_ = nullptr;
    LevelMeter meter_;
};

std::int32_t AudioRun::numberedError(std::int32_t number, const char* text) {
    show(text);
    return number;
}

std::int32_t AudioRun::missing(HResult result, const std::string& text) {
    show(text);
    return failed(result) ? result : E_POINTER;
}

std::int32_t AudioRun::setUp(bool* toCommonExit) {
    // 1. A stop signalled through screenFinished before this point is forgotten.
    state_.screenFinished = 0;

    // Both sources: an endpoint that records the two together and hands out their sum.
    const std::uint32_t sourceFlags = settings_.audioStreamFlags.load();
    if ((sourceFlags & kAudioStreamFlagMicrophoneToo) != 0)
        mixed_ = createSourceMix(services_.audio, services_.clock, &state_.soundLevels);
    else
        level_ =
            &soundLevel(state_, sourceFlags != 0 ? SoundSource::kMixer : SoundSource::kMicrophone);
    AudioSystem& audio = mixed_ ? *mixed_ : services_.audio;
    HResult hr = audio.createDeviceEnumerator(&enumerator_);
    if (failed(hr) || !enumerator_) {
        *toCommonExit = true;
        return failed(hr) ? hr : E_POINTER;
    }
    const AudioDataFlow flow =
        settings_.audioStreamFlags.load() != 0 ? AudioDataFlow::kRender : AudioDataFlow::kCapture;
    hr = enumerator_->getDefaultAudioEndpoint(flow, AudioRole::kConsole, &device_);
    if (hr != S_OK || !device_)
        return numberedError(-1, kError1);
    hr = device_->activate(&client_);
    if (hr != S_OK || !client_)
        return numberedError(-2, kError2);
    hr = client_->getMixFormat(&mixFormat_);
    if (hr != S_OK)
        return numberedError(-3, kError3);
    outcome_.sampleRate = mixFormat_.samplesPerSec;
    outcome_.channels = mixFormat_.channels;
    hr = client_->initialize(AudioShareMode::kShared, settings_.audioStreamFlags.load(),
                             kAudioBufferDuration100ns, 0, mixFormat_);
    if (hr != S_OK)
        return numberedError(-4, kError4);

    // 8. The writer of test.wma. A missing profile or writer ends the run here.
    hr = createAudioProfile(services_.media, mixFormat_, &profile_, &codecInfo_);
    if (failed(hr) || !profile_) {
        char detail[160];
        std::snprintf(detail, sizeof detail,
                      "Audio recorder  not started\n\nCreateAudioProfile error: no audio file "
                      "format for %u Hz with %u channels (0x%08X)",
                      static_cast<unsigned>(mixFormat_.samplesPerSec),
                      static_cast<unsigned>(mixFormat_.channels), static_cast<unsigned>(hr));
        return missing(hr, detail);
    }
    writer_ = createAudioWriter(services_.media, *profile_, audioFilePath(target_.folder));
    if (!writer_)
        return missing(E_FAIL, "Audio recorder  not started\n\nCreateAudioWriter error");
    setUpAudioWriterInput(*writer_);

    hr = client_->getBufferSize(&bufferFrames_);
    if (hr != S_OK)
        return numberedError(-5, kError5);
    hr = client_->getService(&capture_);
    if (hr != S_OK || !capture_) {
        const HResult serviceResult = hr != S_OK ? hr : E_POINTER;
        capture_.reset();
        show(kError6);
        services_.ui.generalMessage(nullptr, captureServiceExplanation(serviceResult));
        return -6;
    }
    sleepPeriodMs_ = audioSleepPeriodMs(bufferFrames_, mixFormat_.samplesPerSec);
    ticksPerFrame_ = ticksPerAudioFrame(mixFormat_.samplesPerSec);
    framesWritten_ = 0;
    wakeCount_ = 0;
    hr = client_->start();
    if (hr != S_OK)
        return numberedError(-8, kError8);
    outcome_.startTime100ns = services_.clock.now100ns();
    // Alone, the recording's zero is the moment capturing starts.
    if (!target_.zeroFromScreen && target_.zero100ns != nullptr)
        target_.zero100ns->store(outcome_.startTime100ns);
    hr = writer_->beginWriting();
    if (failed(hr)) {
        char detail[160];
        std::snprintf(detail, sizeof detail,
                      "Audio recorder  not started\n\nBeginWriting error: the audio file cannot "
                      "be written (0x%08X)",
                      static_cast<unsigned>(hr));
        return missing(hr, detail);
    }
    writingBegun_ = true;
    lastDrain100ns_ = outcome_.startTime100ns;
    return 0;
}

bool AudioRun::placementReady(bool stopping) {
    if (placement_)
        return true;
    std::uint64_t zero = outcome_.startTime100ns;
    if (target_.zeroFromScreen) {
        zero = target_.zero100ns != nullptr ? target_.zero100ns->load() : 0;
        // A screen worker that ended before its start leaves the sound its own start.
        if (zero == 0 && stopping)
            zero = outcome_.startTime100ns;
    }
    if (zero == 0)
        return false;  // the packets wait in the endpoint until the screen worker starts
    placement_.emplace(mixFormat_.samplesPerSec, zero);
    outcome_.zero100ns = zero;
    return true;
}

AudioRun::Written AudioRun::writeFrames(MediaSample* given, const float* data, std::uint32_t frames,
                                        HResult* result) {
    std::unique_ptr<MediaSample> own;
    MediaSample* sample = given;
    if (sample == nullptr) {
        *result = allocateAudioSample(*writer_, mixFormat_, frames, &own);
        if (failed(*result) || !own)
            return Written::Missing;
        sample = own.get();
    }
    const SamplePathResult written =
        writeAudioPacket(*writer_, *sample, mixFormat_, data, frames,
                         audioSampleTime(framesWritten_, ticksPerFrame_));
    *result = written.result;
    if (written.failure == SamplePathFailure::SampleBuffer)
        return Written::SampleBuffer;
    if (written.failure == SamplePathFailure::WriteSample)
        return Written::WriteSample;
    framesWritten_ += frames;
    return Written::Ok;
}

AudioRun::Written AudioRun::writeSilence(std::uint64_t frames, HResult* result) {
    const std::uint32_t chunk =
        std::max<std::uint32_t>(1, mixFormat_.samplesPerSec / 1000 * kSilenceChunkMs);
    if (zeros_.empty())
        zeros_.assign(std::size_t{chunk} * mixFormat_.channels, 0.0f);
    while (frames > 0) {
        const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(frames, chunk));
        const Written w = writeFrames(nullptr, zeros_.data(), n, result);
        if (w != Written::Ok)
            return w;
        frames -= n;
    }
    return Written::Ok;
}

AudioRun::Written AudioRun::writeRepeats(const float* frame, std::uint32_t count, HResult* result) {
    repeats_.resize(std::size_t{count} * mixFormat_.channels);
    for (std::uint32_t i = 0; i < count; ++i)
        std::copy(frame, frame + mixFormat_.channels,
                  repeats_.begin() + static_cast<std::ptrdiff_t>(i) * mixFormat_.channels);
    return writeFrames(nullptr, repeats_.data(), count, result);
}

std::int32_t AudioRun::writeFailure(Written what, HResult result) {
    switch (what) {
        case Written::Missing:
            return missing(result, "Audio recorder  while looping\n\nAllocateSample error");
        case Written::SampleBuffer:
            return numberedError(-20, kError20);
        case Written::WriteSample:
            return numberedError(-11, kError11);
        case Written::Ok:
            break;
    }
    return 0;
}

// Takes every waiting packet from the endpoint into the pending batch, then hands the batch to
// the file, each packet where the placement puts it. The newest kAudioLookahead100ns of the
// batch wait for the next drain (unless `everything`): the packets that arrive after a packet
// that waited correct its stamp (platform/arrival_stamps.h), so a delay in delivery is not
// taken for a stretch without sound.
std::int32_t AudioRun::drain(bool* toCommonExit, bool everything) {
    std::uint32_t packetFrames = 0;
    HResult hr = capture_->getNextPacketSize(&packetFrames);
    if (hr != S_OK)
        return numberedError(-9, kError9);
    const std::size_t channels = mixFormat_.channels;
    while (packetFrames != 0) {
        std::unique_ptr<MediaSample> sample;
        const HResult allocated = allocateAudioSample(*writer_, mixFormat_, packetFrames, &sample);
        if (failed(allocated) || !sample)
            return missing(allocated, "Audio recorder  while looping\n\nAllocateSample error");
        std::uint8_t* data = nullptr;
        std::uint32_t frames = 0;
        std::uint32_t flags = 0;
        std::uint64_t stamp = 0;
        hr = capture_->getBuffer(&data, &frames, &flags, &stamp);
        if (hr != S_OK) {
            show(kError10);
            capture_->releaseBuffer(0);
            return -10;
        }
        // A hostile endpoint may hand over more than it announced: nothing past the announced
        // size is read.
        if (frames > packetFrames)
            return numberedError(-20, kError20);
        stampedPackets_ = stampedPackets_ || stamp != 0;
        const std::size_t at = pendingSamples_.size();
        pendingSamples_.resize(at + std::size_t{frames} * channels);
        std::memcpy(pendingSamples_.data() + at, data, std::size_t{frames} * channels * 4);
        if (level_ != nullptr)
            meter_.add(pendingSamples_.data() + at, std::size_t{frames} * channels);
        pending_.push_back(Pending{stamp, frames, at, std::move(sample)});
        hr = capture_->releaseBuffer(frames);
        if (failed(hr) || failed(hr = capture_->getNextPacketSize(&packetFrames))) {
            // The endpoint failed: what was taken is written, then the worker goes to its
            // common exit.
            const std::int32_t written = placePending(true);
            *toCommonExit = written == 0;
            return written != 0 ? written : hr;
        }
    }
    return placePending(everything);
}

std::int32_t AudioRun::placePending(bool everything) {
    if (pending_.empty())
        return 0;
    const std::size_t channels = mixFormat_.channels;

    const std::uint32_t rate = mixFormat_.samplesPerSec;
    const auto duration100ns = [rate](std::uint32_t frames) {
        return static_cast<std::uint64_t>(frames) * 10'000'000ull / rate;
    };
    boundStampsByLaterArrivals(pending_.begin(), pending_.end(), duration100ns);
    std::size_t ready = pending_.size();
    if (!everything && pending_.back().time100ns != 0) {
        const std::uint64_t newest =
            pending_.back().time100ns + duration100ns(pending_.back().frames);
        while (ready > 0 && pending_[ready - 1].time100ns != 0 &&
               pending_[ready - 1].time100ns + duration100ns(pending_[ready - 1].frames) +
                       kAudioLookahead100ns >
                   newest)
            --ready;
    }
    for (std::size_t i = 0; i < ready; ++i) {
        Pending& packet = pending_[i];
        const PacketPlacement place = placement_->place(packet.time100ns, packet.frames);
        const float* samples = pendingSamples_.data() + packet.offset;
        HResult result = S_OK;
        Written w = Written::Ok;
        if (place.silenceBefore != 0)
            w = writeSilence(place.silenceBefore, &result);
        const float* kept = samples + std::size_t{place.skipFront} * channels;
        if (w == Written::Ok && place.keep != 0)
            w = writeFrames(pending_[i].sample.get(), kept, place.keep, &result);
        pending_[i].sample.reset();
        if (w == Written::Ok && place.repeatLast != 0)
            w = writeRepeats(kept + std::size_t{place.keep - 1} * channels, place.repeatLast,
                             &result);
        if (w != Written::Ok)
            return writeFailure(w, result);
        noteWritten();
    }
    // What waits moves to the front, its storage reused.
    if (ready == pending_.size()) {
        pending_.clear();
        pendingSamples_.clear();
    } else {
        const std::size_t from = pending_[ready].offset;
        pendingSamples_.erase(pendingSamples_.begin(),
                              pendingSamples_.begin() + static_cast<std::ptrdiff_t>(from));
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(ready));
        for (Pending& packet : pending_)
            packet.offset -= from;
    }
    return 0;
}

std::int32_t AudioRun::loop(bool* toCommonExit) {
    while (wakeCount_ < kAudioMaxWakeUps) {
        if (state_.screenFinished.load() != 0) {
            state_.screenFinished = 0;
            break;
        }
        if (state_.stopAudioRequested.load() != 0) {
            state_.stopAudioRequested = 0;
            state_.screenFinished = 0;
            break;
        }
        // A stop raised during the wait ends it early; the packets up to that moment are still
        // drained below, so the sound ends close to where the stop came. Within the wait, what
        // has arrived goes to the file every drain interval.
        bool waitFailed = false;
        std::int32_t waitResult = 0;
        services_.clock.sleepMsUnless(sleepPeriodMs_, [&] {
            // With drains within the wait the time is read at every look: a stop seen here
            // ends the sound at this look, not after the drain that follows it.
            const std::uint64_t look =
                target_.drainIntervalMs != 0 ? services_.clock.now100ns() : 0;
            if (state_.screenFinished.load() != 0 || state_.stopAudioRequested.load() != 0) {
                if (stopSeen100ns_ == 0)
                    stopSeen100ns_ = look;
                return true;
            }
            if (look == 0 ||
                look - lastDrain100ns_ < std::uint64_t{target_.drainIntervalMs} * 10'000 ||
                !placementReady(false))
                return false;
            waitResult = drain(toCommonExit);
            lastDrain100ns_ = services_.clock.now100ns();
            waitFailed = waitResult != 0 || *toCommonExit;
            return waitFailed;
        });
        if (waitFailed)
            return waitResult;
        if (!placementReady(false)) {
            // Before the recording's zero nothing is placed: the packets wait in the endpoint.
            std::uint32_t waiting = 0;
            if (capture_->getNextPacketSize(&waiting) != S_OK)
                return numberedError(-9, kError9);
        } else {
            const std::int32_t result = drain(toCommonExit);
            if (result != 0 || *toCommonExit)
                return result;
        }
        lastDrain100ns_ = services_.clock.now100ns();
        ++wakeCount_;
        outcome_.wakeCount = wakeCount_;
        outcome_.lastDrainTime100ns = services_.clock.now100ns();
        if (level_ != nullptr)
            meter_.publish(*level_, outcome_.lastDrainTime100ns);
    }
    return 0;
}

// The file ends at the stop instant: the sound still on its way is taken in, what lies past the
// stop is cut and what is missing before it becomes silence.
std::int32_t AudioRun::finishAtStop(bool* toCommonExit) {
    // The stop instant: when the stop was seen within a wait, else now.
    const std::uint64_t stop = stopSeen100ns_ != 0 ? stopSeen100ns_ : services_.clock.now100ns();
    placementReady(true);
    placement_->setEnd(stop);
    outcome_.end100ns = stop;
    if (stampedPackets_) {
        services_.clock.sleepMs(kAudioStopGraceMs);
        const std::int32_t drained = drain(toCommonExit, true);
        if (drained != 0 || *toCommonExit)
            return drained;
    }
    HResult result = S_OK;
    const std::uint64_t missingFrames = placement_->framesToEnd();
    const Written w = writeSilence(missingFrames, &result);
    if (w != Written::Ok)
        return writeFailure(w, result);
    placement_->addTrailingSilence(missingFrames);
    noteWritten();
    return 0;
}

std::int32_t AudioRun::normalEnd() {
    writer_->endWriting();
    writingBegun_ = false;
    const HResult stopped = client_->stop();
    finishWriter();
    state_.statusCode = StatusCode::kAudioStopped;
    outcome_.normalEnd = true;
    return stopped;
}

std::int32_t AudioRun::commonExit(std::int32_t carried) {
    finishWriter();
    std::int32_t exitCode = carried;
    if (capture_)
        exitCode = capture_->releaseBuffer(0);
    capture_.reset();
    client_.reset();
    device_.reset();
    enumerator_.reset();
    if (services_.endHook != nullptr)
        services_.endHook->workerEnded();
    return exitCode;
}

std::int32_t AudioRun::run() {
    bool toCommonExit = false;
    std::int32_t result = setUp(&toCommonExit);
    if (toCommonExit)
        return commonExit(result);
    if (result != 0)
        return result;
    result = loop(&toCommonExit);
    if (result == 0 && !toCommonExit)
        result = finishAtStop(&toCommonExit);
    if (toCommonExit)
        return commonExit(result);
    if (result != 0)
        return result;
    return commonExit(normalEnd());
}

}  // namespace

std::int64_t audioBufferDuration100ns(std::uint32_t bufferFrames, std::uint32_t samplesPerSec) {
    if (samplesPerSec == 0)
        return 0;
    return static_cast<std::int64_t>(10000000.0 * static_cast<double>(bufferFrames) /
                                     static_cast<double>(samplesPerSec));
}

std::uint32_t audioSleepPeriodMs(std::uint32_t bufferFrames, std::uint32_t samplesPerSec) {
    const std::int64_t duration = audioBufferDuration100ns(bufferFrames, samplesPerSec);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(duration / kAudioSleepDivisor) &
                                      0xFFFFFFFFu);
}

std::int32_t runAudioCaptureWorker(CaptureSettings& settings, RecorderState& state,
                                   const AudioWorkerServices& services,
                                   const AudioRunTarget& target, AudioWorkerOutcome* outcome) {
    AudioWorkerOutcome local;
    AudioWorkerOutcome& out = outcome != nullptr ? *outcome : local;
    out = AudioWorkerOutcome{};
    std::int32_t exitCode = 0;
    {
        AudioRun run(settings, state, services, target, out);
        exitCode = run.run();
    }
    out.exitCode = exitCode;
    return exitCode;
}

}  // namespace marrowdale
