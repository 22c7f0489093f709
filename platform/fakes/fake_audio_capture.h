// An audio endpoint for tests: a chosen mix format and buffer, a scripted stream of packets
// (a 1 kHz sine by default), results that can be injected into any call, and a record of the
// calls in order.
#pragma once

#include <cmath>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio_capture.h"

namespace marrowdale {

struct FakeAudioScript {
    // Results by call: "createDeviceEnumerator", "getDefaultAudioEndpoint", "activate",
    // "getMixFormat", "initialize", "getBufferSize", "getService", "start", "stop",
    // "getNextPacketSize", "getBuffer", "releaseBuffer". A call not named succeeds.
    std::function<HResult(const std::string& call, int callIndex)> result;
    // Called after every call is recorded (tests raise stop flags from here).
    std::function<void(const std::string& call, int callIndex)> onCall;

    std::uint32_t rate = 48000;
    std::uint16_t channels = 2;
    std::uint32_t bufferFrames = 48000;
    // Packets waiting at each wake-up, in frames: wake-up k (k = 0, 1, ...) finds
    // packetsPerWake(k); the default finds none.
    std::function<std::vector<std::uint32_t>(int wake)> packetsPerWake;
    // getBuffer reports this many frames more than announced (hostile endpoint).
    std::uint32_t extraFramesInBuffer = 0;
    // The stamp of packet k (0, 1, ... in delivery order), as the endpoint's time of its first
    // frame; without it packets are not stamped (time 0).
    std::function<std::uint64_t(int packet)> packetTime;
    // The value of delivered frame n (counted over the whole stream) on channel c; without it a
    // 1 kHz sine of amplitude 0.5 on every channel.
    std::function<float(std::uint64_t frame, unsigned channel)> signal;

    // Record of the calls and their arguments.
    std::vector<std::string> calls;
    AudioDataFlow flow = AudioDataFlow::kRender;
    std::uint32_t streamFlags = 0xFFFFFFFF;
    std::int64_t bufferDuration = 0;
    std::vector<std::uint32_t> released;  // frame counts given to releaseBuffer
    int objectsAlive = 0;
    std::uint64_t framesDelivered = 0;

    std::map<std::string, int> counts;  // calls by name

    int count(const std::string& call) const {
        const auto it = counts.find(call);
        return it == counts.end() ? 0 : it->second;
    }
};

namespace fake_audio_detail {

inline HResult note(FakeAudioScript& s, const std::string& call) {
    const int index = s.counts[call]++;
    s.calls.push_back(call);
    const HResult hr = s.result ? s.result(call, index) : S_OK;
    if (s.onCall)
        s.onCall(call, index);
    return hr;
}

struct Alive {
    explicit Alive(FakeAudioScript& s) : script(s) { ++script.objectsAlive; }
    ~Alive() { --script.objectsAlive; }
    Alive(const Alive&) = delete;
    Alive& operator=(const Alive&) = delete;
    FakeAudioScript& script;
};

class CaptureClient final : public AudioCaptureClient {
  public:
    explicit CaptureClient(FakeAudioScript& s) : s_(s), alive_(s) {}
    HResult getNextPacketSize(std::uint32_t* frames) override {
        // A call made with no packet pending opens the next wake-up's packets.
        if (pending_.empty() && !drainedThisWake_) {
            if (s_.packetsPerWake)
                for (auto f : s_.packetsPerWake(wake_))
                    pending_.push_back(f);
            ++wake_;
            drainedThisWake_ = true;
        }
        const HResult hr = note(s_, "getNextPacketSize");
        if (hr != S_OK)
            return hr;
        *frames = pending_.empty() ? 0 : pending_.front();
        if (pending_.empty())
            drainedThisWake_ = false;
        return S_OK;
    }
    HResult getBuffer(std::uint8_t** data, std::uint32_t* frames, std::uint32_t* flags,
                      std::uint64_t* time100ns) override {
        const HResult hr = note(s_, "getBuffer");
        if (hr != S_OK)
            return hr;
        if (pending_.empty())
            return AUDCLNT_E_OUT_OF_ORDER;
        const std::uint32_t n = pending_.front() + s_.extraFramesInBuffer;
        buffer_.resize(std::size_t{n} * s_.channels);
        for (std::uint32_t i = 0; i < n; ++i) {
            const double t = static_cast<double>(s_.framesDelivered + i) / s_.rate;
            for (unsigned c = 0; c < s_.channels; ++c)
                buffer_[std::size_t{i} * s_.channels + c] =
                    s_.signal ? s_.signal(s_.framesDelivered + i, c)
                              : static_cast<float>(0.5 * std::sin(2 * M_PI * 1000.0 * t));
        }
        *data = reinterpret_cast<std::uint8_t*>(buffer_.data());
        *frames = n;
        *flags = 0;
        if (time100ns != nullptr)
            *time100ns = s_.packetTime ? s_.packetTime(packetIndex_) : 0;
        held_ = true;
        return S_OK;
    }
    HResult releaseBuffer(std::uint32_t frames) override {
        s_.released.push_back(frames);
        const HResult hr = note(s_, "releaseBuffer");
        if (hr != S_OK)
            return hr;
        if (held_) {
            s_.framesDelivered += frames;
            pending_.pop_front();
            held_ = false;
            ++packetIndex_;
        }
        return S_OK;
    }

  private:
    FakeAudioScript& s_;
    Alive alive_;
    std::deque<std::uint32_t> pending_;
    std::vector<float> buffer_;
    int wake_ = 0;
    int packetIndex_ = 0;
    bool drainedThisWake_ = false;
    bool held_ = false;
};

class Client final : public AudioClient {
  public:
    explicit Client(FakeAudioScript& s) : s_(s), alive_(s) {}
    HResult getMixFormat(WaveFormatEx* format) override {
        const HResult hr = note(s_, "getMixFormat");
        if (hr != S_OK)
            return hr;
        format->formatTag = kWaveFormatIeeeFloat;
        format->channels = s_.channels;
        format->samplesPerSec = s_.rate;
        format->bitsPerSample = 32;
        format->blockAlign = static_cast<std::uint16_t>(4 * s_.channels);
        format->avgBytesPerSec = s_.rate * format->blockAlign;
        return S_OK;
    }
    HResult initialize(AudioShareMode, std::uint32_t flags, std::int64_t duration, std::int64_t,
                       const WaveFormatEx&) override {
        s_.streamFlags = flags;
        s_.bufferDuration = duration;
        return note(s_, "initialize");
    }
    HResult getBufferSize(std::uint32_t* frames) override {
        const HResult hr = note(s_, "getBufferSize");
        if (hr == S_OK)
            *frames = s_.bufferFrames;
        return hr;
    }
    HResult getService(std::unique_ptr<AudioCaptureClient>* capture) override {
        const HResult hr = note(s_, "getService");
        if (hr == S_OK)
            *capture = std::make_unique<CaptureClient>(s_);
        return hr;
    }
    HResult start() override { return note(s_, "start"); }
    HResult stop() override { return note(s_, "stop"); }

  private:
    FakeAudioScript& s_;
    Alive alive_;
};

class Device final : public AudioDevice {
  public:
    explicit Device(FakeAudioScript& s) : s_(s), alive_(s) {}
    HResult activate(std::unique_ptr<AudioClient>* client) override {
        const HResult hr = note(s_, "activate");
        if (hr == S_OK)
            *client = std::make_unique<Client>(s_);
        return hr;
    }

  private:
    FakeAudioScript& s_;
    Alive alive_;
};

class Enumerator final : public AudioDeviceEnumerator {
  public:
    Enumerator(FakeAudioScript& s, FakeAudioScript* recording)
        : s_(s), recording_(recording), alive_(s) {}
    HResult getDefaultAudioEndpoint(AudioDataFlow flow, AudioRole,
                                    std::unique_ptr<AudioDevice>* device) override {
        FakeAudioScript& endpoint =
            flow == AudioDataFlow::kCapture && recording_ != nullptr ? *recording_ : s_;
        endpoint.flow = flow;
        const HResult hr = note(endpoint, "getDefaultAudioEndpoint");
        if (hr == S_OK)
            *device = std::make_unique<Device>(endpoint);
        return hr;
    }

  private:
    FakeAudioScript& s_;
    FakeAudioScript* recording_;
    Alive alive_;
};

}  // namespace fake_audio_detail

class FakeAudioSystem final : public AudioSystem {
  public:
    FakeAudioScript script;
    // When set, the recording direction's endpoint follows this script (a second source beside
    // the output's); otherwise both directions follow `script`.
    FakeAudioScript* recording = nullptr;
    HResult createDeviceEnumerator(std::unique_ptr<AudioDeviceEnumerator>* enumerator) override {
        const HResult hr = fake_audio_detail::note(script, "createDeviceEnumerator");
        if (hr == S_OK)
            *enumerator = std::make_unique<fake_audio_detail::Enumerator>(script, recording);
        return hr;
    }
};

}  // namespace marrowdale
