// Float to 16-bit PCM conversion of captured sound.
#pragma once

#include <cstdint>
#include <optional>

namespace marrowdale {

// Scale from a float sample to a 16-bit sample.
inline constexpr float kPcm16Scale = 32767.0f;

// Converts channels × frames interleaved float samples to 16-bit samples in the same order.
// Groups of four samples: scaled by 32767 in single precision, rounded to nearest with ties to
// even, saturated to -32768..32767 (NaN gives 0). The last 0 to 3 samples: scaled, truncated
// toward zero and saturated the same way (NaN gives 0). Returns the bytes written, or nothing (and
// writes nothing) when `source` or `destination` is null. The channel-frame product wraps at 32
// bits. Any thread. Uses SSE2 on x86-64 and the scalar rule elsewhere.
std::optional<std::uint32_t> convertFloatToPcm16(std::uint32_t channels, std::int16_t* destination,
                                                 const float* source, std::uint32_t frames);

// The same conversion one sample at a time: the reference that the SIMD path must match.
std::optional<std::uint32_t> convertFloatToPcm16Scalar(std::uint32_t channels,
                                                       std::int16_t* destination,
                                                       const float* source, std::uint32_t frames);

// True when convertFloatToPcm16 runs the SIMD path on this build.
bool pcm16ConversionUsesSimd();

// The two per-sample rules, exposed for tests.
std::int16_t pcm16FromGroupSample(float sample);
std::int16_t pcm16FromTailSample(float sample);

}  // namespace marrowdale
