// The tests that decide which of the other programs' windows receive a close request when a
// recording stops. Pure logic over window records: no display needed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/window_list.h"

namespace marrowdale {

// A window's client area must be higher than this many pixels to be closed.
inline constexpr std::int32_t kCloseOthersMinClientHeight = 200;
// Titles are listed with at most this many characters.
inline constexpr std::size_t kCloseOthersTitleMaxChars = 252;
// Windows whose title starts with these 10 characters (exactly, case-sensitive) are spared.
inline constexpr std::string_view kCloseOthersSparedPrefix = "Marrowdale";

// The records of one walk, indexed by window id for the owner and pop-up look-ups.
class WindowSnapshot {
  public:
    explicit WindowSnapshot(std::vector<WindowRecord> records);

    const std::vector<WindowRecord>& records() const { return records_; }
    // Null when no record has that id.
    const WindowRecord* find(WindowId id) const;

  private:
    std::vector<WindowRecord> records_;
    std::unordered_map<WindowId, std::size_t> index_;
};

// The first `count` characters of a UTF-8 text, never cutting a character in two. The text
// ends at its first NUL, as a title read from a window does.
std::string leadingCharacters(std::string_view utf8, std::size_t count);

// The decision for one window of `all`, tests in this order: visible; unowned, with its last
// active pop-up visible; title bar shown; not minimised; placement readable; client area
// higher than 200 pixels; shown normal (maximised windows are spared); a title that is not
// empty and does not start with "Marrowdale". Returns the title to list (at most 252
// characters) when the window is to be closed, nothing when it is spared.
std::optional<std::string> CloseOtherWindowsEnumProc(const WindowRecord& window,
                                                     const WindowSnapshot& all);

}  // namespace marrowdale
