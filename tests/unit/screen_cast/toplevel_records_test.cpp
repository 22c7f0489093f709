// What the foreign-toplevel protocol tells of a window, through the close-other-windows filter:
// which windows of a Wayland desktop receive a close request.
#include <gtest/gtest.h>

#include "platform/wayland/toplevel_records.h"
#include "tools/close_others_filter.h"

namespace marrowdale {
namespace {

TEST(ToplevelRecords, WhichWindowsAreClosed) {
    struct Row {
        const char* what;
        ToplevelInfo toplevel;
        bool closed;
    } rows[] = {
        {"an ordinary window", {1, 0, "Text Editor", {}}, true},
        {"the active window", {2, 0, "Terminal", {kToplevelActivated}}, true},
        {"maximised", {3, 0, "Browser", {kToplevelMaximized, kToplevelActivated}}, false},
        {"full screen", {4, 0, "Video", {kToplevelFullscreen}}, false},
        {"minimised", {5, 0, "Mail", {kToplevelMinimized}}, false},
        {"owned by another window", {6, 1, "Save As", {}}, false},
        {"the program's own", {7, 0, "Marrowdale recording screen only", {}}, false},
        {"an empty title", {8, 0, "", {}}, false},
        {"an unknown state value", {9, 0, "Notes", {77}}, true},
    };
    std::vector<WindowRecord> records;
    for (const Row& row : rows)
        records.push_back(recordFromToplevel(row.toplevel));
    const WindowSnapshot all(records);
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].what);
        EXPECT_EQ(CloseOtherWindowsEnumProc(records[i], all).has_value(), rows[i].closed);
    }
}

}  // namespace
}  // namespace marrowdale
