// Which windows the close-other-windows walk closes, one property at a time, on records.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/close_others_filter.h"

namespace marrowdale {
namespace {

// An ordinary window that passes every test.
WindowRecord plainWindow(WindowId id, std::string title = "Text editor") {
    WindowRecord w;
    w.id = id;
    w.visible = true;
    w.placementReadable = true;
    w.clientHeight = 480;
    w.showState = ShowState::Normal;
    w.title = std::move(title);
    return w;
}

std::optional<std::string> decide(const WindowRecord& window,
                                  std::vector<WindowRecord> others = {}) {
    others.insert(others.begin(), window);
    const WindowSnapshot snapshot(std::move(others));
    return CloseOtherWindowsEnumProc(*snapshot.find(window.id), snapshot);
}

struct SingleRow {
    const char* what;
    void (*change)(WindowRecord&);
    bool closed;
};

TEST(CloseOthersFilter, EachTestOnItsOwn) {
    const SingleRow rows[] = {
        {"plain window", [](WindowRecord&) {}, true},
        {"hidden", [](WindowRecord& w) { w.visible = false; }, false},
        {"title bar invisible", [](WindowRecord& w) { w.titleBarInvisible = true; }, false},
        {"minimised", [](WindowRecord& w) { w.minimised = true; }, false},
        {"placement unreadable", [](WindowRecord& w) { w.placementReadable = false; }, false},
        {"client height 200", [](WindowRecord& w) { w.clientHeight = 200; }, false},
        {"client height 201", [](WindowRecord& w) { w.clientHeight = 201; }, true},
        {"client height 0", [](WindowRecord& w) { w.clientHeight = 0; }, false},
        {"client height negative", [](WindowRecord& w) { w.clientHeight = -500; }, false},
        {"maximised", [](WindowRecord& w) { w.showState = ShowState::Maximised; }, false},
        {"shown minimised", [](WindowRecord& w) { w.showState = ShowState::Minimised; }, false},
        {"show state hidden", [](WindowRecord& w) { w.showState = ShowState::Hidden; }, false},
        {"empty title", [](WindowRecord& w) { w.title.clear(); }, false},
        {"title starting with NUL", [](WindowRecord& w) { w.title = std::string("\0abc", 4); },
         false},
        {"program's own title",
         [](WindowRecord& w) { w.title = "Marrowdale recording screen only"; }, false},
        {"exactly the name", [](WindowRecord& w) { w.title = "Marrowdale"; }, false},
        {"name and more", [](WindowRecord& w) { w.title = "MarrowdaleX"; }, false},
        {"close-others dialog",
         [](WindowRecord& w) { w.title = "Marrowdale - Close other windows"; }, false},
        {"lower-case name", [](WindowRecord& w) { w.title = "marrowdale notes"; }, true},
        {"upper-case name", [](WindowRecord& w) { w.title = "MARROWDALE"; }, true},
        {"nine characters of the name", [](WindowRecord& w) { w.title = "Marrowdal"; }, true},
        {"name after a blank", [](WindowRecord& w) { w.title = " Marrowdale"; }, true},
        {"accented name", [](WindowRecord& w) { w.title = "Marrowd\xC3\xA4le"; }, true},
        {"id 0", [](WindowRecord& w) { w.id = 0; }, false},
    };
    for (const SingleRow& row : rows) {
        SCOPED_TRACE(row.what);
        WindowRecord w = plainWindow(7);
        row.change(w);
        const WindowSnapshot snapshot({w});
        const auto result = CloseOtherWindowsEnumProc(snapshot.records()[0], snapshot);
        EXPECT_EQ(result.has_value(), row.closed);
        if (result) {
            EXPECT_EQ(*result, w.title);
        }
    }
}

TEST(CloseOthersFilter, OwnedDialogIsNeverClosedItsOwnerIs) {
    WindowRecord owner = plainWindow(1, "Editor");
    WindowRecord dialog = plainWindow(2, "Save changes?");
    dialog.owner = 1;
    owner.lastActivePopup = 2;
    const WindowSnapshot snapshot({owner, dialog});
    EXPECT_EQ(CloseOtherWindowsEnumProc(snapshot.records()[0], snapshot),
              std::optional<std::string>("Editor"));
    EXPECT_FALSE(CloseOtherWindowsEnumProc(snapshot.records()[1], snapshot));
}

TEST(CloseOthersFilter, UnownedWindowWithHiddenLastPopupIsSpared) {
    WindowRecord owner = plainWindow(1, "Editor");
    WindowRecord popup = plainWindow(2, "Find");
    popup.owner = 1;
    popup.visible = false;
    owner.lastActivePopup = 2;
    const WindowSnapshot snapshot({owner, popup});
    EXPECT_FALSE(CloseOtherWindowsEnumProc(snapshot.records()[0], snapshot));
    EXPECT_FALSE(CloseOtherWindowsEnumProc(snapshot.records()[1], snapshot));
}

TEST(CloseOthersFilter, PopupOfAnotherWindowListedAsLastPopup) {
    // The last active pop-up is looked up even when it is not in the list: then it counts as
    // hidden, and the window is spared.
    WindowRecord w = plainWindow(1);
    w.lastActivePopup = 99;
    EXPECT_FALSE(decide(w));
}

TEST(CloseOthersFilter, OwnedTwoLevelsDeepIsSpared) {
    WindowRecord top = plainWindow(1, "Main");
    WindowRecord middle = plainWindow(2, "Options");
    WindowRecord leaf = plainWindow(3, "Colour");
    middle.owner = 1;
    leaf.owner = 2;
    top.lastActivePopup = 3;
    const WindowSnapshot snapshot({top, middle, leaf});
    EXPECT_TRUE(CloseOtherWindowsEnumProc(snapshot.records()[0], snapshot));
    EXPECT_FALSE(CloseOtherWindowsEnumProc(snapshot.records()[1], snapshot));
    EXPECT_FALSE(CloseOtherWindowsEnumProc(snapshot.records()[2], snapshot));
}

TEST(CloseOthersFilter, OwnedByAWindowOutsideTheListIsSpared) {
    WindowRecord w = plainWindow(1);
    w.owner = 0xABCDEF;  // the root window, or one that went away
    EXPECT_FALSE(decide(w));
}

TEST(CloseOthersFilter, LoopsInOwnersOrPopupsEndAndSpare) {
    WindowRecord a = plainWindow(1, "A");
    WindowRecord b = plainWindow(2, "B");
    a.owner = 2;
    b.owner = 1;
    {
        const WindowSnapshot snapshot({a, b});
        EXPECT_FALSE(CloseOtherWindowsEnumProc(snapshot.records()[0], snapshot));
        EXPECT_FALSE(CloseOtherWindowsEnumProc(snapshot.records()[1], snapshot));
    }
    WindowRecord c = plainWindow(3, "C");
    WindowRecord d = plainWindow(4, "D");
    WindowRecord e = plainWindow(5, "E");
    c.lastActivePopup = 4;
    d.lastActivePopup = 5;
    e.lastActivePopup = 4;
    d.visible = false;
    e.visible = false;
    const WindowSnapshot snapshot({c, d, e});
    EXPECT_FALSE(CloseOtherWindowsEnumProc(snapshot.records()[0], snapshot));
    // A window that names itself as its pop-up is just a window without pop-ups.
    WindowRecord self = plainWindow(6, "Self");
    self.lastActivePopup = 6;
    EXPECT_TRUE(decide(self));
}

TEST(CloseOthersFilter, TitleIsListedWithAtMost252Characters) {
    const std::string ascii(300, 'x');
    EXPECT_EQ(decide(plainWindow(1, ascii)), std::optional<std::string>(std::string(252, 'x')));
    EXPECT_EQ(decide(plainWindow(1, std::string(252, 'y'))),
              std::optional<std::string>(std::string(252, 'y')));

    std::string wide;
    for (int i = 0; i < 260; ++i)
        wide += "\xC3\xA9";  // e acute, two bytes each
    const auto listed = decide(plainWindow(1, wide));
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->size(), 252u * 2u);
    EXPECT_EQ(*listed, wide.substr(0, 504));
}

TEST(CloseOthersFilter, LeadingCharactersNeverSplitsACharacter) {
    struct Row {
        std::string text;
        std::size_t count;
        std::string expected;
    };
    const Row rows[] = {
        {"", 5, ""},
        {"abc", 0, ""},
        {"abc", 5, "abc"},
        {"abcdef", 3, "abc"},
        {"\xE2\x82\xAC"
         "12",
         1, "\xE2\x82\xAC"},                             // euro sign, three bytes
        {"a\xF0\x9F\x98\x80z", 2, "a\xF0\x9F\x98\x80"},  // four-byte character
        {std::string("ab\0cd", 5), 4, "ab"},
        {"\x80\x80"
         "ab",
         1,
         "\x80\x80"
         "a"},  // stray continuation bytes stay with the first
    };
    for (const Row& row : rows) {
        EXPECT_EQ(leadingCharacters(row.text, row.count), row.expected) << row.text;
    }
}

TEST(CloseOthersFilter, SnapshotKeepsTheFirstRecordOfAnId) {
    WindowRecord first = plainWindow(5, "first");
    WindowRecord second = plainWindow(5, "second");
    const WindowSnapshot snapshot({first, second});
    ASSERT_NE(snapshot.find(5), nullptr);
    EXPECT_EQ(snapshot.find(5)->title, "first");
    EXPECT_EQ(snapshot.find(6), nullptr);
}

}  // namespace
}  // namespace marrowdale
