#include "platform/media_types.h"

#include <cstdio>

namespace marrowdale {

namespace {
void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF));
}
std::uint16_t get16(const std::vector<std::uint8_t>& in, std::size_t at) {
    return static_cast<std::uint16_t>(in[at] | (in[at + 1] << 8));
}
std::uint32_t get32(const std::vector<std::uint8_t>& in, std::size_t at) {
    return static_cast<std::uint32_t>(in[at]) | static_cast<std::uint32_t>(in[at + 1]) << 8 |
           static_cast<std::uint32_t>(in[at + 2]) << 16 |
           static_cast<std::uint32_t>(in[at + 3]) << 24;
}
}  // namespace

std::string guidToRegistryString(const Guid& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.data1), static_cast<unsigned>(g.data2),
                  static_cast<unsigned>(g.data3), g.data4[0], g.data4[1], g.data4[2], g.data4[3],
                  g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    return text;
}

std::vector<std::uint8_t> encodeWaveFormat(WaveFormatEx format,
                                           const std::vector<std::uint8_t>& extra) {
    std::vector<std::uint8_t> out;
    out.reserve(kWaveFormatExSize + extra.size());
    format.extraSize = static_cast<std::uint16_t>(extra.size());
    put16(out, format.formatTag);
    put16(out, format.channels);
    put32(out, format.samplesPerSec);
    put32(out, format.avgBytesPerSec);
    put16(out, format.blockAlign);
    put16(out, format.bitsPerSample);
    put16(out, format.extraSize);
    out.insert(out.end(), extra.begin(), extra.end());
    return out;
}

bool decodeWaveFormat(const std::vector<std::uint8_t>& block, WaveFormatEx* format) {
    if (format == nullptr || block.size() < kWaveFormatExSize)
        return false;
    format->formatTag = get16(block, 0);
    format->channels = get16(block, 2);
    format->samplesPerSec = get32(block, 4);
    format->avgBytesPerSec = get32(block, 8);
    format->blockAlign = get16(block, 12);
    format->bitsPerSample = get16(block, 14);
    format->extraSize = get16(block, 16);
    return true;
}

MediaType waveMediaType(std::uint16_t formatTag, std::uint16_t channels, std::uint32_t rate,
                        std::uint16_t bitsPerSample) {
    WaveFormatEx wave;
    wave.formatTag = formatTag;
    wave.channels = channels;
    wave.samplesPerSec = rate;
    wave.blockAlign = static_cast<std::uint16_t>(channels * (bitsPerSample / 8));
    wave.avgBytesPerSec = rate * wave.blockAlign;
    wave.bitsPerSample = bitsPerSample;
    MediaType type;
    type.majorType = kMediaTypeAudio;
    type.subtype = mediaSubtypeFromTag(formatTag);
    type.fixedSizeSamples = true;
    type.sampleSize = wave.blockAlign;
    type.formatType = kFormatTypeWaveFormatEx;
    type.format = encodeWaveFormat(wave);
    return type;
}

}  // namespace marrowdale
