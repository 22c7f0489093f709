#include "audio/pcm_conversion.h"

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#define MDL_PCM_SIMD 1
#else
#define MDL_PCM_SIMD 0
#endif

namespace marrowdale {

std::int16_t pcm16FromGroupSample(float sample) {
    const float scaled = sample * kPcm16Scale;
    if (std::isnan(scaled))
        return 0;
    if (scaled >= 32767.0f)
        return 32767;
    if (scaled <= -32768.0f)
        return -32768;
    return static_cast<std::int16_t>(std::nearbyint(scaled));  // default mode: ties to even
}

std::int16_t pcm16FromTailSample(float sample) {
    const float scaled = sample * kPcm16Scale;
    // Truncated toward zero like the rule says, and saturated like the groups: a sample over
    // full scale is a loud sample, never a click of the opposite sign.
    if (std::isnan(scaled))
        return 0;
    if (scaled >= 32767.0f)
        return 32767;
    if (scaled <= -32768.0f)
        return -32768;
    return static_cast<std::int16_t>(scaled);
}

namespace {

void convertTail(std::int16_t* destination, const float* source, std::uint32_t from,
                 std::uint32_t n) {
    for (std::uint32_t i = from; i < n; ++i)
        destination[i] = pcm16FromTailSample(source[i]);
}

#if MDL_PCM_SIMD
void convertGroupsSimd(std::int16_t* destination, const float* source, std::uint32_t groups) {
    const __m128 scale = _mm_set1_ps(kPcm16Scale);
    const __m128 high = _mm_set1_ps(32767.0f);
    const __m128 low = _mm_set1_ps(-32768.0f);
    std::uint32_t g = 0;
    // Two groups per step: one 128-bit store.
    for (; g + 2 <= groups; g += 2) {
        __m128 a = _mm_mul_ps(_mm_loadu_ps(source + 4 * g), scale);
        __m128 b = _mm_mul_ps(_mm_loadu_ps(source + 4 * g + 4), scale);
        a = _mm_and_ps(a, _mm_cmpord_ps(a, a));  // NaN lanes become 0
        b = _mm_and_ps(b, _mm_cmpord_ps(b, b));
        a = _mm_max_ps(_mm_min_ps(a, high), low);
        b = _mm_max_ps(_mm_min_ps(b, high), low);
        const __m128i packed = _mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + 4 * g), packed);
    }
    if (g < groups) {
        __m128 a = _mm_mul_ps(_mm_loadu_ps(source + 4 * g), scale);
        a = _mm_and_ps(a, _mm_cmpord_ps(a, a));
        a = _mm_max_ps(_mm_min_ps(a, high), low);
        const __m128i whole = _mm_cvtps_epi32(a);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(destination + 4 * g),
                         _mm_packs_epi32(whole, whole));
    }
}
#endif

}  // namespace

std::optional<std::uint32_t> convertFloatToPcm16Scalar(std::uint32_t channels,
                                                       std::int16_t* destination,
                                                       const float* source, std::uint32_t frames) {
    if (source == nullptr || destination == nullptr)
        return std::nullopt;
    const std::uint32_t n = channels * frames;
    const std::uint32_t grouped = n / 4 * 4;
    for (std::uint32_t i = 0; i < grouped; ++i)
        destination[i] = pcm16FromGroupSample(source[i]);
    convertTail(destination, source, grouped, n);
    return n * 2u;
}

std::optional<std::uint32_t> convertFloatToPcm16(std::uint32_t channels, std::int16_t* destination,
                                                 const float* source, std::uint32_t frames) {
#if MDL_PCM_SIMD
    if (source == nullptr || destination == nullptr)
        return std::nullopt;
    const std::uint32_t n = channels * frames;
    convertGroupsSimd(destination, source, n / 4);
    convertTail(destination, source, n / 4 * 4, n);
    return n * 2u;
#else
    return convertFloatToPcm16Scalar(channels, destination, source, frames);
#endif
}

bool pcm16ConversionUsesSimd() {
    return MDL_PCM_SIMD != 0;
}

}  // namespace marrowdale
