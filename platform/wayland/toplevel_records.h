// What the wlroots foreign-toplevel protocol tells of a window, turned into the record the
// close-other-windows filter reads. Pure, so that it is tested without a compositor.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "platform/window_list.h"

namespace marrowdale {

// The protocol's state values.
inline constexpr std::uint32_t kToplevelMaximized = 0;
inline constexpr std::uint32_t kToplevelMinimized = 1;
inline constexpr std::uint32_t kToplevelActivated = 2;
inline constexpr std::uint32_t kToplevelFullscreen = 3;

// The protocol gives no window sizes: a window counts as higher than the filter's minimum.
inline constexpr std::int32_t kUnknownClientHeight = std::numeric_limits<std::int32_t>::max();

struct ToplevelInfo {
    WindowId id = 0;
    WindowId parent = 0;  // 0: none
    std::string title;
    std::vector<std::uint32_t> states;
};

WindowRecord recordFromToplevel(const ToplevelInfo& toplevel);

}  // namespace marrowdale
