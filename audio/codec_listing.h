// The codec listing: the codecs of the media format service, their formats and, at the
// highest detail level, each format's media type, as the lines of a list (one list item per
// string; an item may hold "\n" and "\t"). Used by the codec list dialog and by
// `marrowdale-record --list-codecs`.
#pragma once

#include <string>
#include <vector>

#include "platform/media_writer.h"

namespace marrowdale {

// Detail levels: 4 = audio and video codecs with media-type details (the dialog's first
// listing), 1 = audio codecs, 3 = audio and video codecs without details.
inline constexpr int kCodecDetailFull = 4;
inline constexpr int kCodecDetailAudio = 1;
inline constexpr int kCodecDetailAudioVideo = 3;

// Characters of one list line (the rest of a longer line is cut off).
inline constexpr std::size_t kCodecListLineChars = 499;
// Bytes of the buffer a format's media type is fetched into for the details.
inline constexpr std::uint32_t kCodecListMediaTypeBuffer = 180;

// The lines of one listing. `firstListing` puts "System Codecs" first (the dialog's opening
// listing). A line beginning "Could not" ends the listing.
std::vector<std::string> listCodecs(MediaFormatService& service, int detailLevel,
                                    bool firstListing);

}  // namespace marrowdale
