#include "platform/pulse/pulse_audio.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace marrowdale {

namespace {

constexpr auto kServerTimeout = std::chrono::seconds(5);
constexpr std::uint32_t kMaxChannels = 2;
constexpr std::uint32_t kMaxRate = 48000;
constexpr std::uint32_t kFragmentMs = 10;

// The connection to the server: a threaded main loop and its context. Every use of the
// context or a stream happens with the loop locked (Lock below).
class PulseConnection {
  public:
    ~PulseConnection() {
        if (loop_ != nullptr) {
            pa_threaded_mainloop_lock(loop_);
            if (context_ != nullptr) {
                pa_context_disconnect(context_);
                pa_context_unref(context_);
                context_ = nullptr;
            }
            pa_threaded_mainloop_unlock(loop_);
            pa_threaded_mainloop_stop(loop_);
            pa_threaded_mainloop_free(loop_);
        }
    }

    // Connects to the server named by the environment (no auto-spawn).
    static HResult connect(std::shared_ptr<PulseConnection>* out) {
        auto c = std::shared_ptr<PulseConnection>(new PulseConnection);
        c->loop_ = pa_threaded_mainloop_new();
        if (c->loop_ == nullptr)
            return E_OUTOFMEMORY;
        c->context_ = pa_context_new(pa_threaded_mainloop_get_api(c->loop_), "Marrowdale");
        if (c->context_ == nullptr)
            return E_OUTOFMEMORY;
        if (pa_context_connect(c->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            return AUDCLNT_E_SERVICE_NOT_RUNNING;
        if (pa_threaded_mainloop_start(c->loop_) < 0)
            return E_FAIL;
        c->lock();
        const bool settled = c->waitFor([&] {
            const pa_context_state_t s = pa_context_get_state(c->context_);
            return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
        });
        const bool ready = settled && pa_context_get_state(c->context_) == PA_CONTEXT_READY;
        c->unlock();
        if (!ready)
            return AUDCLNT_E_SERVICE_NOT_RUNNING;
        *out = std::move(c);
        return S_OK;
    }

    void lock() { pa_threaded_mainloop_lock(loop_); }
    void unlock() { pa_threaded_mainloop_unlock(loop_); }
    pa_context* context() { return context_; }
    bool alive() { return pa_context_get_state(context_) == PA_CONTEXT_READY; }

    // With the loop locked: waits (unlocking in between) until `done` or the timeout.
    bool waitFor(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + kServerTimeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            lock();
        }
        return true;
    }

    // With the loop locked: waits for an operation to end and releases it.
    bool finish(pa_operation* op) {
        if (op == nullptr)
            return false;
        const bool ended =
            waitFor([&] { return pa_operation_get_state(op) != PA_OPERATION_RUNNING; });
        const bool done = ended && pa_operation_get_state(op) == PA_OPERATION_DONE;
        if (!ended)
            pa_operation_cancel(op);
        pa_operation_unref(op);
        return done;
    }

  private:
    PulseConnection() = default;
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
};

class Locked {
  public:
    explicit Locked(PulseConnection& c) : c_(c) { c_.lock(); }
    ~Locked() { c_.unlock(); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

  private:
    PulseConnection& c_;
};

// A recording stream; shared by the audio client and its capture client.
class PulseStream {
  public:
    PulseStream(std::shared_ptr<PulseConnection> connection, pa_stream* stream,
                std::uint32_t frameBytes)
        : connection_(std::move(connection)), stream_(stream), frameBytes_(frameBytes) {}
    ~PulseStream() {
        Locked lock(*connection_);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
    }
    PulseConnection& connection() { return *connection_; }
    pa_stream* stream() { return stream_; }
    std::uint32_t frameBytes() const { return frameBytes_; }
    // With the loop locked.
    bool usable() {
        return connection_->alive() && pa_stream_get_state(stream_) == PA_STREAM_READY;
    }

  private:
    std::shared_ptr<PulseConnection> connection_;
    pa_stream* stream_;
    std::uint32_t frameBytes_;
};

class PulseCaptureClient final : public AudioCaptureClient {
  public:
    explicit PulseCaptureClient(std::shared_ptr<PulseStream> stream) : stream_(std::move(stream)) {}

    HResult getNextPacketSize(std::uint32_t* frames) override {
        if (frames == nullptr)
            return E_POINTER;
        Locked lock(stream_->connection());
        if (!stream_->usable())
            return AUDCLNT_E_DEVICE_INVALIDATED;
        const HResult hr = takeFragment();
        if (failed(hr))
            return hr;
        *frames = pendingFrames_;
        return S_OK;
    }

    HResult getBuffer(std::uint8_t** data, std::uint32_t* frames, std::uint32_t* flags) override {
        if (data == nullptr || frames == nullptr || flags == nullptr)
            return E_POINTER;
        {
            Locked lock(stream_->connection());
            if (!stream_->usable())
                return AUDCLNT_E_DEVICE_INVALIDATED;
            const HResult hr = takeFragment();
            if (failed(hr))
                return hr;
        }
        if (pendingFrames_ == 0)
            return AUDCLNT_E_OUT_OF_ORDER;  // nothing waiting
        *data = packet_.data();
        *frames = pendingFrames_;
        *flags = pendingFlags_;
        held_ = true;
        return S_OK;
    }

    HResult releaseBuffer(std::uint32_t frames) override {
        if (frames == 0)
            return S_OK;  // the packet (if any) stays
        if (!held_)
            return AUDCLNT_E_OUT_OF_ORDER;
        if (frames != pendingFrames_)
            return AUDCLNT_E_INVALID_SIZE;
        held_ = false;
        pendingFrames_ = 0;
        return S_OK;
    }

  private:
    // With the loop locked: when no packet is pending, moves the stream's front fragment
    // into the packet buffer (a hole becomes silence) and drops it from the stream.
    HResult takeFragment() {
        while (pendingFrames_ == 0) {
            const void* data = nullptr;
            std::size_t bytes = 0;
            if (pa_stream_peek(stream_->stream(), &data, &bytes) < 0)
                return AUDCLNT_E_DEVICE_INVALIDATED;
            if (bytes == 0)
                return S_OK;  // nothing waiting
            const std::size_t frameBytes = stream_->frameBytes();
            const std::size_t whole = bytes / frameBytes * frameBytes;
            if (packet_.size() < whole)
                packet_.resize(whole);
            if (data != nullptr) {
                std::memcpy(packet_.data(), data, whole);
                pendingFlags_ = 0;
            } else {
                std::memset(packet_.data(), 0, whole);
                pendingFlags_ = kAudioPacketSilent;
            }
            pendingFrames_ = static_cast<std::uint32_t>(whole / frameBytes);
            if (pa_stream_drop(stream_->stream()) < 0)
                return AUDCLNT_E_DEVICE_INVALIDATED;
        }
        return S_OK;
    }

    std::shared_ptr<PulseStream> stream_;
    std::vector<std::uint8_t> packet_;  // the pending packet, reused
    std::uint32_t pendingFrames_ = 0;
    std::uint32_t pendingFlags_ = 0;
    bool held_ = false;
};

class PulseAudioClient final : public AudioClient {
  public:
    PulseAudioClient(std::shared_ptr<PulseConnection> connection, std::string source,
                     pa_sample_spec deviceSpec)
        : connection_(std::move(connection)), source_(std::move(source)), deviceSpec_(deviceSpec) {}

    ~PulseAudioClient() override {
        if (stream_ && started_)
            stop();
    }

    HResult getMixFormat(WaveFormatEx* format) override {
        if (format == nullptr)
            return E_POINTER;
        const std::uint32_t channels = std::min<std::uint32_t>(deviceSpec_.channels, kMaxChannels);
        const std::uint32_t rate = std::min<std::uint32_t>(deviceSpec_.rate, kMaxRate);
        if (channels == 0 || rate == 0)
            return AUDCLNT_E_UNSUPPORTED_FORMAT;
        *format = WaveFormatEx{};
        format->formatTag = kWaveFormatIeeeFloat;
        format->channels = static_cast<std::uint16_t>(channels);
        format->samplesPerSec = rate;
        format->bitsPerSample = 32;
        format->blockAlign = static_cast<std::uint16_t>(4 * channels);
        format->avgBytesPerSec = rate * format->blockAlign;
        return S_OK;
    }

    HResult initialize(AudioShareMode mode, std::uint32_t /*streamFlags*/,
                       std::int64_t bufferDuration100ns, std::int64_t /*periodicity*/,
                       const WaveFormatEx& format) override {
        if (stream_)
            return AUDCLNT_E_ALREADY_INITIALIZED;
        if (mode != AudioShareMode::kShared)
            return AUDCLNT_E_UNSUPPORTED_FORMAT;
        if (format.formatTag != kWaveFormatIeeeFloat || format.bitsPerSample != 32 ||
            format.channels == 0 || format.channels > PA_CHANNELS_MAX ||
            format.samplesPerSec == 0 || format.samplesPerSec > PA_RATE_MAX)
            return AUDCLNT_E_UNSUPPORTED_FORMAT;
        if (bufferDuration100ns <= 0 || bufferDuration100ns > 20 * 10'000'000LL)
            return AUDCLNT_E_BUFFER_TOO_LARGE;

        pa_sample_spec spec{};
        spec.format = PA_SAMPLE_FLOAT32LE;
        spec.rate = format.samplesPerSec;
        spec.channels = static_cast<std::uint8_t>(format.channels);
        const std::uint32_t frameBytes = 4u * format.channels;
        const auto frames = static_cast<std::uint32_t>(
            static_cast<std::int64_t>(format.samplesPerSec) * bufferDuration100ns / 10'000'000LL);
        pa_channel_map map{};
        pa_channel_map_init_auto(&map, spec.channels, PA_CHANNEL_MAP_DEFAULT);

        Locked lock(*connection_);
        if (!connection_->alive())
            return AUDCLNT_E_DEVICE_INVALIDATED;
        pa_stream* raw = pa_stream_new(connection_->context(), "Marrowdale recording", &spec, &map);
        if (raw == nullptr)
            return AUDCLNT_E_ENDPOINT_CREATE_FAILED;
        pa_buffer_attr attr{};
        attr.maxlength = std::max<std::uint32_t>(frames, 1) * frameBytes;
        attr.fragsize =
            std::max<std::uint32_t>(format.samplesPerSec * kFragmentMs / 1000, 1) * frameBytes;
        attr.tlength = static_cast<std::uint32_t>(-1);
        attr.prebuf = static_cast<std::uint32_t>(-1);
        attr.minreq = static_cast<std::uint32_t>(-1);
        const auto flags =
            static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED);
        if (pa_stream_connect_record(raw, source_.c_str(), &attr, flags) < 0) {
            pa_stream_unref(raw);
            return AUDCLNT_E_ENDPOINT_CREATE_FAILED;
        }
        const bool settled = connection_->waitFor([&] {
            const pa_stream_state_t s = pa_stream_get_state(raw);
            return s == PA_STREAM_READY || !PA_STREAM_IS_GOOD(s);
        });
        if (!settled || pa_stream_get_state(raw) != PA_STREAM_READY) {
            pa_stream_disconnect(raw);
            pa_stream_unref(raw);
            return connection_->alive() ? AUDCLNT_E_ENDPOINT_CREATE_FAILED
                                        : AUDCLNT_E_DEVICE_INVALIDATED;
        }
        const pa_buffer_attr* actual = pa_stream_get_buffer_attr(raw);
        bufferFrames_ = actual != nullptr && actual->maxlength >= frameBytes
                            ? actual->maxlength / frameBytes
                            : frames;
        // The stream object unlocks in its destructor; it is made while locked here and
        // handed over without a second lock.
        stream_ = std::shared_ptr<PulseStream>(new PulseStream(connection_, raw, frameBytes));
        return S_OK;
    }

    HResult getBufferSize(std::uint32_t* frames) override {
        if (frames == nullptr)
            return E_POINTER;
        if (!stream_)
            return AUDCLNT_E_NOT_INITIALIZED;
        *frames = bufferFrames_;
        return S_OK;
    }

    HResult getService(std::unique_ptr<AudioCaptureClient>* capture) override {
        if (capture == nullptr)
            return E_POINTER;
        if (!stream_)
            return AUDCLNT_E_NOT_INITIALIZED;
        *capture = std::make_unique<PulseCaptureClient>(stream_);
        return S_OK;
    }

    HResult start() override { return cork(false); }
    HResult stop() override { return cork(true); }

  private:
    HResult cork(bool paused) {
        if (!stream_)
            return AUDCLNT_E_NOT_INITIALIZED;
        Locked lock(*connection_);
        if (!stream_->usable())
            return AUDCLNT_E_DEVICE_INVALIDATED;
        if (!connection_->finish(
                pa_stream_cork(stream_->stream(), paused ? 1 : 0, nullptr, nullptr)))
            return connection_->alive() ? E_FAIL : AUDCLNT_E_DEVICE_INVALIDATED;
        started_ = !paused;
        return S_OK;
    }

    std::shared_ptr<PulseConnection> connection_;
    std::string source_;
    pa_sample_spec deviceSpec_;
    std::shared_ptr<PulseStream> stream_;
    std::uint32_t bufferFrames_ = 0;
    bool started_ = false;
};

class PulseDevice final : public AudioDevice {
  public:
    PulseDevice(std::shared_ptr<PulseConnection> connection, std::string source,
                pa_sample_spec spec)
        : connection_(std::move(connection)), source_(std::move(source)), spec_(spec) {}
    HResult activate(std::unique_ptr<AudioClient>* client) override {
        if (client == nullptr)
            return E_POINTER;
        *client = std::make_unique<PulseAudioClient>(connection_, source_, spec_);
        return S_OK;
    }

  private:
    std::shared_ptr<PulseConnection> connection_;
    std::string source_;
    pa_sample_spec spec_;
};

struct ServerNames {
    std::string defaultSink;
    std::string defaultSource;
};
struct SourceFacts {
    std::string monitorOfSink;  // for sinks: their monitor source
    pa_sample_spec spec{};
    bool found = false;
};

class PulseEnumerator final : public AudioDeviceEnumerator {
  public:
    HResult getDefaultAudioEndpoint(AudioDataFlow flow, AudioRole /*role*/,
                                    std::unique_ptr<AudioDevice>* device) override {
        if (device == nullptr)
            return E_POINTER;
        std::shared_ptr<PulseConnection> connection;
        const HResult hr = PulseConnection::connect(&connection);
        if (failed(hr))
            return hr;

        Locked lock(*connection);
        ServerNames names;
        if (!connection->finish(pa_context_get_server_info(
                connection->context(),
                [](pa_context*, const pa_server_info* info, void* user) {
                    auto* n = static_cast<ServerNames*>(user);
                    if (info != nullptr) {
                        if (info->default_sink_name != nullptr)
                            n->defaultSink = info->default_sink_name;
                        if (info->default_source_name != nullptr)
                            n->defaultSource = info->default_source_name;
                    }
                },
                &names)))
            return AUDCLNT_E_SERVICE_NOT_RUNNING;

        std::string source;
        if (flow == AudioDataFlow::kRender) {
            if (names.defaultSink.empty())
                return E_NOTFOUND;
            SourceFacts sink;
            if (!connection->finish(pa_context_get_sink_info_by_name(
                    connection->context(), names.defaultSink.c_str(),
                    [](pa_context*, const pa_sink_info* info, int eol, void* user) {
                        auto* f = static_cast<SourceFacts*>(user);
                        if (eol == 0 && info != nullptr && info->monitor_source_name != nullptr) {
                            f->monitorOfSink = info->monitor_source_name;
                            f->found = true;
                        }
                    },
                    &sink)) ||
                !sink.found || sink.monitorOfSink.empty())
                return E_NOTFOUND;
            source = sink.monitorOfSink;
        } else {
            if (names.defaultSource.empty())
                return E_NOTFOUND;
            source = names.defaultSource;
        }
        SourceFacts facts;
        if (!connection->finish(pa_context_get_source_info_by_name(
                connection->context(), source.c_str(),
                [](pa_context*, const pa_source_info* info, int eol, void* user) {
                    auto* f = static_cast<SourceFacts*>(user);
                    if (eol == 0 && info != nullptr) {
                        f->spec = info->sample_spec;
                        f->found = true;
                    }
                },
                &facts)) ||
            !facts.found)
            return E_NOTFOUND;
        *device = std::make_unique<PulseDevice>(connection, source, facts.spec);
        return S_OK;
    }
};

class PulseAudioSystem final : public AudioSystem {
  public:
    HResult createDeviceEnumerator(std::unique_ptr<AudioDeviceEnumerator>* enumerator) override {
        if (enumerator == nullptr)
            return E_POINTER;
        *enumerator = std::make_unique<PulseEnumerator>();
        return S_OK;
    }
};

}  // namespace

std::unique_ptr<AudioSystem> createPulseAudioSystem() {
    return std::make_unique<PulseAudioSystem>();
}

}  // namespace marrowdale
