// Reads a video file back through FFmpeg's demuxers and decoders: what tests and benchmarks use
// to check what the export produced. A single JPEG or BMP file reads as a video of one frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace marrowdale {

struct ReadVideoFrame {
    std::int64_t timeMs = 0;      // presentation time
    std::int64_t durationMs = 0;  // as the container states it (0 when it does not)
    std::uint32_t packetBytes = 0;
    std::uint32_t packetCrc = 0;  // CRC-32 of the packet's bytes
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;  // decoded pixels, RGB24 rows (when asked for)
};

struct ReadVideo {
    std::string containerName;           // FFmpeg's demuxer name ("matroska,webm" for .mkv)
    std::string videoCodec;              // "mjpeg", "h264", ...
    std::string audioCodec;              // empty without sound
    double durationSeconds = 0;          // the container's
    std::int64_t videoEndMs = 0;         // where the video track ends: its stated length when
                                         // the container keeps one, else the last packet's end
    std::vector<ReadVideoFrame> frames;  // in presentation order
    double audioStartSeconds = 0;        // first audio packet
    double audioEndSeconds = 0;          // end of the last audio packet
    std::string creationTime;            // the creation_time tag
};

// False with `error` set when the file cannot be opened or has no video stream.
bool readVideoFile(const std::string& path, bool decodePixels, ReadVideo* out, std::string* error);

// CRC-32 of bytes, as packetCrc counts it.
std::uint32_t videoBytesCrc(const std::uint8_t* data, std::size_t size);

}  // namespace marrowdale
