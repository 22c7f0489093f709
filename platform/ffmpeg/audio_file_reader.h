// Reads an audio file back through FFmpeg's demuxers and decoders: what tests and benchmarks
// use to check what the writer produced.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace marrowdale {

struct DecodedAudio {
    std::string containerName;  // FFmpeg's demuxer name, "asf" for an ASF file
    unsigned streamCount = 0;
    unsigned audioStreamCount = 0;
    std::string codecName;  // decoder of the first audio stream
    std::uint32_t sampleRate = 0;
    std::uint32_t channels = 0;
    std::int64_t bitRate = 0;
    double containerDurationSeconds = 0;  // as the container states it, 0 when unknown
    double firstPacketSeconds = 0;        // time of the first audio packet
    double lastPacketEndSeconds = 0;      // time of the end of the last audio packet
    std::uint64_t packetCount = 0;
    std::vector<std::vector<float>> samples;  // decoded samples per channel
};

// False with `error` set when the file cannot be opened or has no decodable audio stream.
bool readAudioFile(const std::string& path, DecodedAudio* out, std::string* error);

}  // namespace marrowdale
