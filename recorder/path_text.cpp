#include "recorder/path_text.h"

namespace marrowdale {

std::size_t utf16Length(std::string_view utf8) {
    std::size_t units = 0;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) == 0x80)
            continue;  // continuation byte
        units += (byte >= 0xF0) ? 2 : 1;
    }
    return units;
}

}  // namespace marrowdale
