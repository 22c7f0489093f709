#include "audio/source_mix.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "audio/audio_placement.h"
#include "audio/level_meter.h"

namespace marrowdale {

namespace {

constexpr std::uint64_t kUnitsPerSecond = 10'000'000;
constexpr std::size_t kOutput = 0;     // the loopback of the default output
constexpr std::size_t kRecording = 1;  // the default recording device
constexpr std::size_t kSourceCount = 2;

constexpr SoundSource kLevelOf[kSourceCount] = {SoundSource::kMixer, SoundSource::kMicrophone};

struct Source {
    std::unique_ptr<AudioDevice> device;
    std::unique_ptr<AudioClient> client;
    std::unique_ptr<AudioCaptureClient> capture;
    std::optional<AudioPlacement> placement;
    // The placed frames from the mix's position on (interleaved, from `head`).
    std::vector<float> samples;
    std::size_t head = 0;
    LevelMeter meter;

    std::uint64_t end() const { return placement ? placement->writtenFrames() : 0; }
};

// What the endpoint's objects share: the two sources and the mix's position.
class Mix {
  public:
    Mix(std::shared_ptr<AudioDeviceEnumerator> enumerator, Clock& clock,
        std::array<SoundLevel, kSoundSources>* levels)
        : enumerator_(std::move(enumerator)), clock_(clock), levels_(levels) {}

    Source& source(std::size_t i) { return sources_[i]; }
    void setFormat(const WaveFormatEx& format) { format_ = format; }

    HResult start();
    // Takes every waiting packet of both sources, pads an idle one and lets go of sound the
    // worker has not taken for too long.
    HResult pull();
    // Frames of the next packet (0 when none).
    std::uint32_t ready() const;
    // Sums the next `frames` frames into the packet buffer.
    float* mix(std::uint32_t frames);
    // The clock time of the next mixed frame.
    std::uint64_t nextStamp100ns() const;
    // The next `frames` frames are handed out.
    void consume(std::uint64_t frames);

  private:
    std::uint64_t framesFor(std::uint64_t duration100ns) const {
        return duration100ns * format_.samplesPerSec / kUnitsPerSecond;
    }
    HResult take(std::size_t index, std::uint64_t now100ns);
    void append(Source& s, const float* data, const PacketPlacement& at);
    void appendSilence(Source& s, std::uint64_t frames);

    std::shared_ptr<AudioDeviceEnumerator> enumerator_;  // outlives the devices it made
    std::array<Source, kSourceCount> sources_;
    Clock& clock_;
    std::array<SoundLevel, kSoundSources>* levels_;
    WaveFormatEx format_;
    std::uint64_t zero100ns_ = 0;  // 0 until started
    std::uint64_t mixed_ = 0;      // frames handed out or let go
    std::vector<float> out_;
};

HResult Mix::start() {
    HResult hr = sources_[kOutput].client->start();
    if (hr != S_OK)
        return hr;
    hr = sources_[kRecording].client->start();
    if (hr != S_OK) {
        sources_[kOutput].client->stop();
        return hr;
    }
    zero100ns_ = clock_.now100ns();
    if (zero100ns_ == 0)
        zero100ns_ = 1;
    for (Source& s : sources_)
        s.placement.emplace(format_.samplesPerSec, zero100ns_);
    return S_OK;
}

void Mix::appendSilence(Source& s, std::uint64_t frames) {
    s.samples.insert(s.samples.end(), frames * format_.channels, 0.0f);
}

void Mix::append(Source& s, const float* data, const PacketPlacement& at) {
    const std::size_t channels = format_.channels;
    appendSilence(s, at.silenceBefore);
    const float* kept = data + std::size_t{at.skipFront} * channels;
    s.samples.insert(s.samples.end(), kept, kept + std::size_t{at.keep} * channels);
    const float* last = kept + (at.keep == 0 ? 0 : std::size_t{at.keep - 1} * channels);
    for (std::uint32_t i = 0; i < at.repeatLast; ++i)
        s.samples.insert(s.samples.end(), last, last + channels);
}

HResult Mix::take(std::size_t index, std::uint64_t now100ns) {
    Source& s = sources_[index];
    // What was handed out is dropped from the front now and then, not at every packet.
    if (s.head > 0 && s.head * 2 >= s.samples.size()) {
        s.samples.erase(s.samples.begin(), s.samples.begin() + static_cast<std::ptrdiff_t>(s.head));
        s.head = 0;
    }
    bool took = false;
    for (;;) {
        std::uint32_t waiting = 0;
        HResult hr = s.capture->getNextPacketSize(&waiting);
        if (failed(hr))
            return hr;
        if (waiting == 0)
            break;
        std::uint8_t* data = nullptr;
        std::uint32_t frames = 0;
        std::uint32_t flags = 0;
        std::uint64_t stamp = 0;
        hr = s.capture->getBuffer(&data, &frames, &flags, &stamp);
        if (failed(hr))
            return hr;
        if (data == nullptr && frames != 0) {
            s.capture->releaseBuffer(frames);
            return E_POINTER;
        }
        // No sound is heard after the moment it arrives.
        stamp = std::min(stamp, now100ns);
        const auto* samples = reinterpret_cast<const float*>(data);
        append(s, samples, s.placement->place(stamp, frames));
        s.meter.add(samples, std::size_t{frames} * format_.channels);
        took = took || frames != 0;
        hr = s.capture->releaseBuffer(frames);
        if (failed(hr))
            return hr;
    }
    if (took && levels_ != nullptr)
        s.meter.publish((*levels_)[static_cast<std::size_t>(kLevelOf[index])], now100ns);
    return S_OK;
}

HResult Mix::pull() {
    if (zero100ns_ == 0)
        return S_OK;
    const std::uint64_t now = clock_.now100ns();
    for (std::size_t i = 0; i < kSourceCount; ++i) {
        const HResult hr = take(i, now);
        if (hr != S_OK)
            return hr;
    }
    // A source whose sound ends before the horizon is idle: silent up to where the other has
    // got, or up to the horizon when both are.
    const std::uint64_t horizon = now > zero100ns_ + kIdleSourceLag100ns
                                      ? framesFor(now - kIdleSourceLag100ns - zero100ns_)
                                      : 0;
    std::uint64_t target = UINT64_MAX;
    for (const Source& s : sources_)
        if (s.end() >= horizon)
            target = std::min(target, s.end());
    if (target == UINT64_MAX)
        target = horizon;
    for (Source& s : sources_) {
        if (s.end() < target) {
            const std::uint64_t missing = target - s.end();
            appendSilence(s, missing);
            s.placement->padSilence(missing);
        }
    }
    // Sound the worker has not taken for too long is let go.
    std::uint64_t common = UINT64_MAX;
    for (const Source& s : sources_)
        common = std::min(common, s.end());
    const std::uint64_t backlog = framesFor(kMixBacklog100ns);
    if (common > mixed_ + backlog)
        consume(common - mixed_ - backlog);
    return S_OK;
}

std::uint32_t Mix::ready() const {
    if (zero100ns_ == 0)
        return 0;
    std::uint64_t common = UINT64_MAX;
    for (const Source& s : sources_)
        common = std::min(common, s.end());
    const std::uint64_t available = common > mixed_ ? common - mixed_ : 0;
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(available, std::max<std::uint64_t>(1, framesFor(kMixPacket100ns))));
}

float* Mix::mix(std::uint32_t frames) {
    const std::size_t count = std::size_t{frames} * format_.channels;
    out_.resize(count);
    const float* a = sources_[kOutput].samples.data() + sources_[kOutput].head;
    const float* b = sources_[kRecording].samples.data() + sources_[kRecording].head;
    // Summed as they are: the conversion to 16 bits saturates what goes past full scale.
    for (std::size_t i = 0; i < count; ++i)
        out_[i] = a[i] + b[i];
    return out_.data();
}

std::uint64_t Mix::nextStamp100ns() const {
    // Rounded up, so that the stamp falls inside the frame it stands for.
    const std::uint64_t rate = std::max<std::uint32_t>(1, format_.samplesPerSec);
    return zero100ns_ + (mixed_ * kUnitsPerSecond + rate - 1) / rate;
}

void Mix::consume(std::uint64_t frames) {
    mixed_ += frames;
    for (Source& s : sources_)
        s.head += static_cast<std::size_t>(frames) * format_.channels;
}

class MixedCaptureClient final : public AudioCaptureClient {
  public:
    explicit MixedCaptureClient(std::shared_ptr<Mix> mix) : mix_(std::move(mix)) {}

    HResult getNextPacketSize(std::uint32_t* frames) override {
        if (frames == nullptr)
            return E_POINTER;
        if (!holding_) {
            const HResult hr = mix_->pull();
            if (hr != S_OK)
                return hr;
        }
        *frames = holding_ ? held_ : mix_->ready();
        return S_OK;
    }

    HResult getBuffer(std::uint8_t** data, std::uint32_t* frames, std::uint32_t* flags,
                      std::uint64_t* time100ns) override {
        if (data == nullptr || frames == nullptr || flags == nullptr)
            return E_POINTER;
        if (!holding_) {
            held_ = mix_->ready();
            if (held_ == 0)
                return AUDCLNT_E_OUT_OF_ORDER;  // nothing waiting
            packet_ = mix_->mix(held_);
            holding_ = true;
        }
        *data = reinterpret_cast<std::uint8_t*>(packet_);
        *frames = held_;
        *flags = 0;
        if (time100ns != nullptr)
            *time100ns = mix_->nextStamp100ns();
        return S_OK;
    }

    HResult releaseBuffer(std::uint32_t frames) override {
        if (frames == 0)
            return S_OK;
        if (!holding_)
            return AUDCLNT_E_OUT_OF_ORDER;
        if (frames != held_)
            return AUDCLNT_E_INVALID_SIZE;
        mix_->consume(frames);
        holding_ = false;
        return S_OK;
    }

  private:
    std::shared_ptr<Mix> mix_;
    float* packet_ = nullptr;
    std::uint32_t held_ = 0;
    bool holding_ = false;
};

class MixedClient final : public AudioClient {
  public:
    explicit MixedClient(std::shared_ptr<Mix> mix) : mix_(std::move(mix)) {}

    HResult getMixFormat(WaveFormatEx* format) override {
        return mix_->source(kOutput).client->getMixFormat(format);
    }

    HResult initialize(AudioShareMode mode, std::uint32_t streamFlags,
                       std::int64_t bufferDuration100ns, std::int64_t periodicity100ns,
                       const WaveFormatEx& format) override {
        const std::uint32_t flags = streamFlags & ~kAudioStreamFlagMicrophoneToo;
        HResult hr = mix_->source(kOutput).client->initialize(
            mode, flags | kAudioStreamFlagLoopback, bufferDuration100ns, periodicity100ns, format);
        if (hr != S_OK)
            return hr;
        hr = mix_->source(kRecording)
                 .client->initialize(mode, flags & ~kAudioStreamFlagLoopback, bufferDuration100ns,
                                     periodicity100ns, format);
        if (hr != S_OK)
            return hr;
        mix_->setFormat(format);
        return S_OK;
    }

    HResult getBufferSize(std::uint32_t* frames) override {
        return mix_->source(kOutput).client->getBufferSize(frames);
    }

    HResult getService(std::unique_ptr<AudioCaptureClient>* capture) override {
        if (capture == nullptr)
            return E_POINTER;
        for (const std::size_t i : {kOutput, kRecording}) {
            Source& s = mix_->source(i);
            const HResult hr = s.client->getService(&s.capture);
            if (hr != S_OK)
                return hr;
            if (!s.capture)
                return E_POINTER;
        }
        *capture = std::make_unique<MixedCaptureClient>(mix_);
        return S_OK;
    }

    HResult start() override { return mix_->start(); }

    HResult stop() override {
        const HResult output = mix_->source(kOutput).client->stop();
        const HResult recording = mix_->source(kRecording).client->stop();
        return output != S_OK ? output : recording;
    }

  private:
    std::shared_ptr<Mix> mix_;
};

class MixedDevice final : public AudioDevice {
  public:
    explicit MixedDevice(std::shared_ptr<Mix> mix) : mix_(std::move(mix)) {}

    HResult activate(std::unique_ptr<AudioClient>* client) override {
        if (client == nullptr)
            return E_POINTER;
        for (const std::size_t i : {kOutput, kRecording}) {
            Source& s = mix_->source(i);
            const HResult hr = s.device->activate(&s.client);
            if (hr != S_OK)
                return hr;
            if (!s.client)
                return E_POINTER;
        }
        *client = std::make_unique<MixedClient>(mix_);
        return S_OK;
    }

  private:
    std::shared_ptr<Mix> mix_;
};

class MixedEnumerator final : public AudioDeviceEnumerator {
  public:
    MixedEnumerator(std::shared_ptr<AudioDeviceEnumerator> base, Clock& clock,
                    std::array<SoundLevel, kSoundSources>* levels)
        : base_(std::move(base)), clock_(clock), levels_(levels) {}

    HResult getDefaultAudioEndpoint(AudioDataFlow /*flow*/, AudioRole role,
                                    std::unique_ptr<AudioDevice>* device) override {
        if (device == nullptr)
            return E_POINTER;
        auto mix = std::make_shared<Mix>(base_, clock_, levels_);
        HResult hr = base_->getDefaultAudioEndpoint(AudioDataFlow::kRender, role,
                                                    &mix->source(kOutput).device);
        if (hr == S_OK)
            hr = base_->getDefaultAudioEndpoint(AudioDataFlow::kCapture, role,
                                                &mix->source(kRecording).device);
        if (hr != S_OK)
            return hr;
        if (!mix->source(kOutput).device || !mix->source(kRecording).device)
            return E_POINTER;
        *device = std::make_unique<MixedDevice>(std::move(mix));
        return S_OK;
    }

  private:
    std::shared_ptr<AudioDeviceEnumerator> base_;
    Clock& clock_;
    std::array<SoundLevel, kSoundSources>* levels_;
};

class MixedAudioSystem final : public AudioSystem {
  public:
    MixedAudioSystem(AudioSystem& base, Clock& clock, std::array<SoundLevel, kSoundSources>* levels)
        : base_(base), clock_(clock), levels_(levels) {}

    HResult createDeviceEnumerator(std::unique_ptr<AudioDeviceEnumerator>* enumerator) override {
        if (enumerator == nullptr)
            return E_POINTER;
        std::unique_ptr<AudioDeviceEnumerator> base;
        const HResult hr = base_.createDeviceEnumerator(&base);
        if (failed(hr))
            return hr;
        if (!base)
            return E_POINTER;
        *enumerator = std::make_unique<MixedEnumerator>(std::move(base), clock_, levels_);
        return hr;
    }

  private:
    AudioSystem& base_;
    Clock& clock_;
    std::array<SoundLevel, kSoundSources>* levels_;
};

}  // namespace

std::unique_ptr<AudioSystem> createSourceMix(AudioSystem& base, Clock& clock,
                                             std::array<SoundLevel, kSoundSources>* levels) {
    return std::make_unique<MixedAudioSystem>(base, clock, levels);
}

}  // namespace marrowdale
