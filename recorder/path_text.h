// Lengths of paths as the recorder's limits count them: in UTF-16 code units, the unit of the
// buffers those limits were made for. Paths are UTF-8 here.
#pragma once

#include <cstddef>
#include <string_view>

namespace marrowdale {

// The number of UTF-16 code units the UTF-8 text takes: one per code point, two for code points
// above U+FFFF. A stray byte counts as one unit.
std::size_t utf16Length(std::string_view utf8);

}  // namespace marrowdale
