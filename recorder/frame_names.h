// Names of the frame files: the folder prefix, the frame number in at least six digits with
// leading zeros, and ".jpg" or ".bmp". A name has to fit a buffer of 250 characters with its
// terminator; a name that would not fit is refused rather than cut.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "recorder/state.h"

namespace marrowdale {

inline constexpr std::size_t kFrameNameBufferChars = 250;
inline constexpr std::size_t kFrameNameMaxChars = kFrameNameBufferChars - 1;  // 249
// Six digits and the extension.
inline constexpr std::size_t kFrameNameTailChars = 10;

// A composed name. Reused from frame to frame: composing allocates nothing.
struct FrameName {
    // A UTF-16 unit takes at most three UTF-8 bytes (a pair of them four).
    std::array<char, kFrameNameBufferChars * 3 + 1> text{};
    std::size_t length = 0;  // bytes
    const char* c_str() const { return text.data(); }
    std::string_view view() const { return {text.data(), length}; }
};

// The extension of an image format: ".bmp" for 0, ".jpg" otherwise.
std::string_view frameExtension(ImageFormat imageFormat);

// Composes `prefix` + number + extension into `out`. `prefixUnits` is the prefix's length in
// UTF-16 units (utf16Length), passed in so that a loop counts it once. Returns false, with an
// empty name, when the name would be longer than 249 characters.
bool composeFrameName(std::string_view prefix, std::size_t prefixUnits, std::uint64_t number,
                      ImageFormat imageFormat, FrameName& out);

// Same, counting the prefix itself.
bool composeFrameName(std::string_view prefix, std::uint64_t number, ImageFormat imageFormat,
                      FrameName& out);

// Whether every name with a number of up to six digits fits under `prefix`.
bool prefixFitsFrameNames(std::string_view prefix);

// A frame file is written under a temporary name in its folder and renamed once complete. The
// temporary name is the frame's name with a leading dot and ".part" after it
// ("vid1/.000001.jpg.part"): hidden, and taken for a frame by no reader of frames.
inline constexpr std::string_view kTemporaryFrameSuffix = ".part";
// The temporary name of `fileName` (a path) into `out`, whose memory is reused.
void temporaryFrameName(std::string_view fileName, std::string& out);
// Whether a folder entry's name is the temporary name of a frame file.
bool isTemporaryFrameName(std::string_view entryName);
// Removes the temporary frame files in `folder` that an earlier recording left behind (it was
// killed while writing them). Returns how many were removed.
std::size_t removeTemporaryFrames(const std::string& folder);

}  // namespace marrowdale
