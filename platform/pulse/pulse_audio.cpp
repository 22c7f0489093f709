#include "platform/pulse/pulse_audio.h"

#include <pulse/pulseaudio.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/arrival_stamps.h"

namespace marrowdale {

namespace {

constexpr auto kServerTimeout = std::chrono::seconds(5);
constexpr std::uint32_t kMaxChannels = 2;
constexpr std::uint32_t kMaxRate = 48000;
constexpr std::uint32_t kFragmentMs = 10;
// The captured sound the client keeps for the worker, in multiples of the stream's buffer.
constexpr std::uint32_t kQueueBuffers = 4;
// A packet is handed out once it has been queued this long, so that the packets arriving after
// it can correct its stamp when it waited (30 ms).
constexpr std::uint64_t kHoldBack100ns = 300'000;
constexpr std::uint64_t kUnitsPerSecond = 10'000'000;

// The connection to the server: a threaded main loop and its context. Every use of the
// context or a stream happens with the loop locked (Lock below); waits sleep on the loop's
// signal, which every state and operation callback gives.
class PulseConnection {
  public:
    ~PulseConnection() {
        if (loop_ != nullptr) {
            pa_threaded_mainloop_lock(loop_);
            if (context_ != nullptr) {
                pa_context_set_state_callback(context_, nullptr, nullptr);
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
        pa_context_set_state_callback(c->context_, &PulseConnection::contextChanged, c.get());
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

    // Callbacks for the context, streams and operations: each wakes waitFor.
    static void contextChanged(pa_context*, void* self) { signal(self); }
    static void streamChanged(pa_stream*, void* self) { signal(self); }
    static void operationChanged(pa_operation*, void* self) { signal(self); }

    // With the loop locked: sleeps on the loop's signal until `done` or the timeout. A timer on
    // the loop gives the signal at the deadline.
    bool waitFor(const std::function<bool()>& done) {
        if (done())
            return true;
        struct Deadline {
            PulseConnection* self;
            bool passed = false;
        } deadline{this};
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
        timeval when{};
        pa_timeval_add(
            pa_gettimeofday(&when),
            std::chrono::duration_cast<std::chrono::microseconds>(kServerTimeout).count());
        pa_time_event* timer = api->time_new(
            api, &when,
            [](pa_mainloop_api*, pa_time_event*, const timeval*, void* user) {
                auto* d = static_cast<Deadline*>(user);
                d->passed = true;
                pa_threaded_mainloop_signal(d->self->loop_, 0);
            },
            &deadline);
        bool result = true;
        while (!done()) {
            if (deadline.passed || timer == nullptr) {
                result = false;
                break;
            }
            pa_threaded_mainloop_wait(loop_);
        }
        if (timer != nullptr)
            api->time_free(timer);
        return result;
    }

    // With the loop locked: waits for an operation to end and releases it.
    bool finish(pa_operation* op) {
        if (op == nullptr)
            return false;
        pa_operation_set_state_callback(op, &PulseConnection::operationChanged, this);
        const bool ended =
            waitFor([&] { return pa_operation_get_state(op) != PA_OPERATION_RUNNING; });
        const bool done = ended && pa_operation_get_state(op) == PA_OPERATION_DONE;
        if (!ended)
            pa_operation_cancel(op);
        pa_operation_set_state_callback(op, nullptr, nullptr);
        pa_operation_unref(op);
        return done;
    }

  private:
    PulseConnection() = default;
    static void signal(void* self) {
        pa_threaded_mainloop_signal(static_cast<PulseConnection*>(self)->loop_, 0);
    }

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

// A captured packet: what the server delivered at once, stamped with the time of its first
// frame.
struct Packet {
    std::vector<std::uint8_t> bytes;
    std::uint32_t frames = 0;
    std::uint32_t flags = 0;
    std::uint64_t time100ns = 0;
    std::uint64_t arrived100ns = 0;
};

std::uint64_t monotonicNow100ns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * kUnitsPerSecond +
           static_cast<std::uint64_t>(ts.tv_nsec) / 100;
}

// A recording stream; shared by the audio client and its capture client. The stream's read
// callback, on the loop's thread, takes every fragment off the stream as it arrives and queues
// it with its stamp, so the time a sound arrived is known however seldom the worker drains.
//
// The stamp: the callback runs when data arrives; everything readable then arrived by that
// moment, the newest frame last, so the oldest waiting frame is stamped at the arrival time
// less the duration of all that is waiting (for a single fragment: less its own duration).
// A packet that waited is stamped too late; the packets after it correct it while it is still
// queued (platform/arrival_stamps.h). The server's reported latency is not used: for monitor
// sources it does not match when the sound arrives.
class PulseStream {
  public:
    PulseStream(std::shared_ptr<PulseConnection> connection, pa_stream* stream,
                std::uint32_t frameBytes, std::uint32_t rate, std::uint32_t queueFrames)
        : connection_(std::move(connection)),
          stream_(stream),
          frameBytes_(frameBytes),
          rate_(rate),
          queueBytes_(std::size_t{queueFrames} * frameBytes) {
        // Made with the loop locked.
        pa_stream_set_read_callback(stream_, &PulseStream::onReadable, this);
    }
    ~PulseStream() {
        Locked lock(*connection_);
        pa_stream_set_read_callback(stream_, nullptr, nullptr);
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
    }
    PulseStream(const PulseStream&) = delete;
    PulseStream& operator=(const PulseStream&) = delete;

    PulseConnection& connection() { return *connection_; }
    pa_stream* stream() { return stream_; }
    // With the loop locked.
    bool usable() {
        return !failed_ && connection_->alive() && pa_stream_get_state(stream_) == PA_STREAM_READY;
    }
    // With the loop locked: the oldest queued packet that has been held back long enough, or
    // null.
    Packet* front() {
        if (ready_.empty() || monotonicNow100ns() < ready_.front().arrived100ns + kHoldBack100ns)
            return nullptr;
        return &ready_.front();
    }
    // With the loop locked: moves the oldest packet out (the caller reads it unlocked).
    void take(Packet* out) {
        queued_ -= ready_.front().bytes.size();
        std::swap(*out, ready_.front());
        ready_.pop_front();
    }
    // With the loop locked: gives a packet's storage back for reuse.
    void recycle(Packet&& packet) {
        if (spare_.size() < kSpareLimit)
            spare_.push_back(std::move(packet));
    }

  private:
    static constexpr std::size_t kSpareLimit = 64;

    static void onReadable(pa_stream*, std::size_t, void* self) {
        static_cast<PulseStream*>(self)->takeArrivals();
    }

    std::uint64_t durationOf(std::size_t bytes) const {
        return static_cast<std::uint64_t>(static_cast<double>(bytes / frameBytes_) *
                                          static_cast<double>(kUnitsPerSecond) / rate_);
    }

    Packet newPacket(std::uint32_t flags, std::uint64_t time100ns) {
        Packet p;
        if (!spare_.empty()) {
            p = std::move(spare_.back());
            spare_.pop_back();
        }
        p.bytes.clear();
        p.frames = 0;
        p.flags = flags;
        p.time100ns = time100ns;
        return p;
    }

    // On the loop's thread, locked: everything waiting becomes packets (a hole in the stream a
    // silent one), one per kind of data in the order of arrival.
    void takeArrivals() {
        const std::size_t readable = pa_stream_readable_size(stream_);
        if (readable == static_cast<std::size_t>(-1) || readable == 0)
            return;
        const std::uint64_t now = monotonicNow100ns();
        const std::uint64_t waiting = durationOf(readable);
        std::uint64_t time = now > waiting ? now - waiting : 1;
        std::optional<Packet> open;
        const auto close = [&] {
            if (open && open->frames > 0) {
                queued_ += open->bytes.size();
                ready_.push_back(std::move(*open));
            }
            open.reset();
        };
        while (true) {
            const void* data = nullptr;
            std::size_t bytes = 0;
            if (pa_stream_peek(stream_, &data, &bytes) < 0) {
                failed_ = true;
                break;
            }
            if (bytes == 0)
                break;
            const std::size_t whole = bytes / frameBytes_ * frameBytes_;
            if (queued_ + (open ? open->bytes.size() : 0) + whole > queueBytes_) {
                // The worker has not drained for several buffers: the rest stays with the
                // server, which drops what overflows; the stamps of what comes later show
                // the gap.
                break;
            }
            const std::uint32_t flags = data == nullptr ? kAudioPacketSilent : 0;
            if (open && open->flags != flags)
                close();
            if (!open) {
                open = newPacket(flags, time);
                open->arrived100ns = now;
            }
            const std::size_t at = open->bytes.size();
            open->bytes.resize(at + whole);
            if (data != nullptr)
                std::memcpy(open->bytes.data() + at, data, whole);
            else
                std::memset(open->bytes.data() + at, 0, whole);
            open->frames += static_cast<std::uint32_t>(whole / frameBytes_);
            time += durationOf(whole);
            if (pa_stream_drop(stream_) < 0) {
                failed_ = true;
                break;
            }
        }
        close();
        boundStampsByLaterArrivals(ready_.begin(), ready_.end(), [this](std::uint32_t frames) {
            return durationOf(std::size_t{frames} * frameBytes_);
        });
    }

    std::shared_ptr<PulseConnection> connection_;
    pa_stream* stream_;
    std::uint32_t frameBytes_;
    std::uint32_t rate_;
    std::size_t queueBytes_;
    std::deque<Packet> ready_;
    std::vector<Packet> spare_;
    std::size_t queued_ = 0;
    bool failed_ = false;
};

class PulseCaptureClient final : public AudioCaptureClient {
  public:
    explicit PulseCaptureClient(std::shared_ptr<PulseStream> stream) : stream_(std::move(stream)) {}
    ~PulseCaptureClient() override {
        Locked lock(stream_->connection());
        stream_->recycle(std::move(held_));
    }

    HResult getNextPacketSize(std::uint32_t* frames) override {
        if (frames == nullptr)
            return E_POINTER;
        Locked lock(stream_->connection());
        if (!stream_->usable())
            return AUDCLNT_E_DEVICE_INVALIDATED;
        if (holding_) {
            *frames = held_.frames;
            return S_OK;
        }
        const Packet* next = stream_->front();
        *frames = next != nullptr ? next->frames : 0;
        return S_OK;
    }

    HResult getBuffer(std::uint8_t** data, std::uint32_t* frames, std::uint32_t* flags,
                      std::uint64_t* time100ns) override {
        if (data == nullptr || frames == nullptr || flags == nullptr)
            return E_POINTER;
        if (!holding_) {
            Locked lock(stream_->connection());
            if (!stream_->usable())
                return AUDCLNT_E_DEVICE_INVALIDATED;
            if (stream_->front() == nullptr)
                return AUDCLNT_E_OUT_OF_ORDER;  // nothing waiting
            stream_->recycle(std::move(held_));
            stream_->take(&held_);
            holding_ = true;
        }
        *data = held_.bytes.data();
        *frames = held_.frames;
        *flags = held_.flags;
        if (time100ns != nullptr)
            *time100ns = held_.time100ns;
        return S_OK;
    }

    HResult releaseBuffer(std::uint32_t frames) override {
        if (frames == 0)
            return S_OK;  // the packet (if any) stays
        if (!holding_)
            return AUDCLNT_E_OUT_OF_ORDER;
        if (frames != held_.frames)
            return AUDCLNT_E_INVALID_SIZE;
        holding_ = false;
        return S_OK;
    }

  private:
    std::shared_ptr<PulseStream> stream_;
    Packet held_;  // the packet handed out last; its storage is reused
    bool holding_ = false;
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
        pa_stream_set_state_callback(raw, &PulseConnection::streamChanged, connection_.get());
        if (pa_stream_connect_record(raw, source_.c_str(), &attr, flags) < 0) {
            pa_stream_set_state_callback(raw, nullptr, nullptr);
            pa_stream_unref(raw);
            return AUDCLNT_E_ENDPOINT_CREATE_FAILED;
        }
        const bool settled = connection_->waitFor([&] {
            const pa_stream_state_t s = pa_stream_get_state(raw);
            return s == PA_STREAM_READY || !PA_STREAM_IS_GOOD(s);
        });
        if (!settled || pa_stream_get_state(raw) != PA_STREAM_READY) {
            pa_stream_set_state_callback(raw, nullptr, nullptr);
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
        stream_ = std::shared_ptr<PulseStream>(
            new PulseStream(connection_, raw, frameBytes, format.samplesPerSec,
                            std::max<std::uint32_t>(bufferFrames_, frames) * kQueueBuffers));
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
