// The video export over FFmpeg: libavformat's muxers (Matroska by default), JPEG frames copied
// as Motion JPEG packets, BMP frames and H.264 encoded through libavcodec (libx264), the sound
// copied, or re-encoded to the container's own audio codec where it cannot hold the sound's.
#pragma once

#include <memory>

#include "platform/video_export.h"

namespace marrowdale {

std::unique_ptr<VideoExporter> createFfmpegVideoExporter();

}  // namespace marrowdale
