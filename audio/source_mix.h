// Both sound sources at once: what the machine plays (the loopback of the default output) and the
// default recording device, recorded together as one endpoint whose packets are their sum.
//
// Each source is placed on the monotonic clock by its own arrival stamps, with an AudioPlacement
// whose zero is the moment both were started: its silences, bursts and drift are handled as for a
// single source, so the two line up by the time their sound was heard whatever the latency of
// each. The mix hands out the stretch that both sources have covered, stamped with its time on
// the clock, and the audio worker places it on the recording's clock like any stamped packet.
//
// A source that delivers nothing (the monitor of an output that plays nothing does so) must not
// hold the other back: once what it delivered ends more than kIdleSourceLag100ns before the
// clock, it counts as silent up to where the other source has got (or up to that lag when both
// are idle). Its next packets are placed from there.
//
// Each source's level goes to its SoundLevel as its packets are taken.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "platform/audio_capture.h"
#include "platform/clock.h"
#include "recorder/state.h"

namespace marrowdale {

// How far behind the clock a source's sound may end before it counts as idle.
inline constexpr std::uint64_t kIdleSourceLag100ns = 2'000'000;  // 200 ms
// The mix keeps at most this much sound that the worker has not taken (the worker takes nothing
// while it waits for the recording's zero); older sound is let go.
inline constexpr std::uint64_t kMixBacklog100ns = 40'000'000;  // 4 s
// Mixed packets are handed out in pieces of at most this length.
inline constexpr std::uint64_t kMixPacket100ns = 1'000'000;  // 100 ms

// An audio system whose default endpoint, of either direction, is the mix of `base`'s default
// output (its loopback) and `base`'s default recording device. The recording device is opened in
// the output's format (the sound server converts). The endpoint's stream flags reach the output
// with the loopback flag and the recording device without it; kAudioStreamFlagMicrophoneToo
// reaches neither. `levels` (may be null) receives the level of each source by SoundSource.
// `base`, `clock` and `levels` must outlive the system and everything it makes. The objects it
// makes are used by one thread at a time, like those of `base`.
std::unique_ptr<AudioSystem> createSourceMix(AudioSystem& base, Clock& clock,
                                             std::array<SoundLevel, kSoundSources>* levels);

}  // namespace marrowdale
