// The media format service over FFmpeg: a codec catalogue of what FFmpeg encodes into ASF
// files, profiles, and a writer that encodes 16-bit PCM (or float) input samples with the
// profile's WMA codec into an ASF file.
#pragma once

#include <memory>

#include "platform/codec_catalogue.h"
#include "platform/media_writer.h"

namespace marrowdale {

// The catalogue, built on first use and kept for the life of the process (read-only after
// that). Audio codecs first WMA (wmav2, tag 0x0161), then WMA v1 (wmav1, 0x0160), each with
// the rates 48000 down to 8000 Hz, stereo and mono, 16 bits and the bit rates that the
// encoder accepts and encodes with for that rate and channel count. Video codecs for the
// listing: those of wmv2, wmv1, msmpeg4 and msmpeg4v2 that FFmpeg can encode. Any thread.
std::shared_ptr<const CodecCatalogue> ffmpegCodecCatalogue();

std::unique_ptr<MediaFormatService> createFfmpegMediaFormatService();

}  // namespace marrowdale
