// Writing a video file: the frame files of a recording, each at its own time, and a sound file
// as the audio track from time zero. The container is chosen by the output's extension
// (Matroska for ".mkv"). Served here by FFmpeg (platform/ffmpeg/ffmpeg_video_export.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace marrowdale {

enum class ExportVideoCodec : std::uint8_t {
    kCopy,  // JPEG files go in byte for byte as Motion JPEG; BMP files are encoded to it
    kH264,  // every frame is encoded to H.264
};

struct VideoExportSetup {
    std::string outputPath;
    ExportVideoCodec codec = ExportVideoCodec::kCopy;
    bool bmpFrames = false;                   // the frame files are BMP, not JPEG
    std::string firstFramePath;               // gives the picture size
    std::int64_t frameSpacing100ns = 400000;  // the usual time between frames (a rate hint)
    std::string soundPath;                    // empty: no audio track
    std::string startedUtc;  // "YYYY-MM-DDTHH:MM:SSZ", the file's creation time; may be empty
    bool replace = false;    // an existing output may be replaced (else it is an error)
};

// One export under way. Frames are added in time order; the file appears under its name only
// when finish() succeeds (until then it is written under a temporary name beside it), and
// dropping the writer without finish() removes what was written.
class VideoExportWriter {
  public:
    virtual ~VideoExportWriter() = default;
    // The frame file `path` shown from `time100ns` for `duration100ns` (times from the
    // recording's zero, 100-ns units). False with `error` set when it cannot be read or written.
    virtual bool addFrame(const std::string& path, std::int64_t time100ns,
                          std::int64_t duration100ns, std::string* error) = 0;
    // Flushes the encoders, writes the rest of the sound and the index, and puts the file in
    // place.
    virtual bool finish(std::string* error) = 0;
};

class VideoExporter {
  public:
    virtual ~VideoExporter() = default;
    // Null with `error` set when the output cannot be made (an existing file without
    // `replace`, a container that cannot hold the video, an unreadable first frame or sound).
    virtual std::unique_ptr<VideoExportWriter> open(const VideoExportSetup& setup,
                                                    std::string* error) = 0;
};

}  // namespace marrowdale
