// Media type descriptions shared by the codec catalogue, the profile, the writer and the audio
// endpoint: 16-byte identifiers, the wave format block and the media type record.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace marrowdale {

struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::array<std::uint8_t, 8> data4{};

    friend bool operator==(const Guid&, const Guid&) = default;
};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, braces included (registry form).
std::string guidToRegistryString(const Guid& guid);

// The media subtype that stands for a wave format tag or a four-character code:
// {tttttttt-0000-0010-8000-00AA00389B71}.
constexpr Guid mediaSubtypeFromTag(std::uint32_t tagOrFourCc) {
    return Guid{tagOrFourCc, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}
constexpr std::uint32_t fourCc(char a, char b, char c, char d) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24;
}

inline constexpr Guid kMediaTypeAudio = mediaSubtypeFromTag(0x73647561);  // 'auds'
inline constexpr Guid kMediaTypeVideo = mediaSubtypeFromTag(0x73646976);  // 'vids'
inline constexpr Guid kFormatTypeWaveFormatEx{
    0x05589F81, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
inline constexpr Guid kFormatTypeVideoInfo{
    0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};

// Wave format tags.
inline constexpr std::uint16_t kWaveFormatPcm = 0x0001;
inline constexpr std::uint16_t kWaveFormatIeeeFloat = 0x0003;
inline constexpr std::uint16_t kWaveFormatWmaV1 = 0x0160;
inline constexpr std::uint16_t kWaveFormatWmaV2 = 0x0161;
inline constexpr std::uint16_t kWaveFormatWmaPro = 0x0162;

inline constexpr Guid kSubtypePcm = mediaSubtypeFromTag(kWaveFormatPcm);
inline constexpr Guid kSubtypeIeeeFloat = mediaSubtypeFromTag(kWaveFormatIeeeFloat);
inline constexpr Guid kSubtypeWmaV1 = mediaSubtypeFromTag(kWaveFormatWmaV1);
inline constexpr Guid kSubtypeWmaV2 = mediaSubtypeFromTag(kWaveFormatWmaV2);
inline constexpr Guid kSubtypeWmaPro = mediaSubtypeFromTag(kWaveFormatWmaPro);  // WMA 9 Pro

// The wave format block without extension. Its stored form is 18 little-endian bytes.
struct WaveFormatEx {
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSec = 0;
    std::uint32_t avgBytesPerSec = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::uint16_t extraSize = 0;  // bytes of extension that follow the 18 bytes

    friend bool operator==(const WaveFormatEx&, const WaveFormatEx&) = default;
};
inline constexpr std::uint32_t kWaveFormatExSize = 18;

// Stores `format` as its 18 bytes followed by `extra` (extraSize is set to extra's size).
std::vector<std::uint8_t> encodeWaveFormat(WaveFormatEx format,
                                           const std::vector<std::uint8_t>& extra = {});
// Reads the first 18 bytes of a format block. False when it is shorter than that.
bool decodeWaveFormat(const std::vector<std::uint8_t>& block, WaveFormatEx* format);

// A media type: what a stream or an input carries.
struct MediaType {
    Guid majorType;
    Guid subtype;
    bool fixedSizeSamples = false;
    bool temporalCompression = false;
    std::uint32_t sampleSize = 0;
    Guid formatType;
    std::vector<std::uint8_t> format;  // the format block (its size is the block's cbFormat)

    friend bool operator==(const MediaType&, const MediaType&) = default;
};

// Bytes that a media type takes when it is fetched into a caller's buffer: a fixed record of
// 88 bytes followed by the format block.
inline constexpr std::uint32_t kMediaTypeRecordSize = 88;
inline std::uint32_t mediaTypeFetchSize(const MediaType& type) {
    return kMediaTypeRecordSize + static_cast<std::uint32_t>(type.format.size());
}

// A 16-bit PCM or 32-bit float wave media type with the given layout.
MediaType waveMediaType(std::uint16_t formatTag, std::uint16_t channels, std::uint32_t rate,
                        std::uint16_t bitsPerSample);

}  // namespace marrowdale
