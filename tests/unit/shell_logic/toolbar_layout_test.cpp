// The toolbars' layout without a widget: every change by its rules, from one starting layout,
// and a refused change leaving every list as it was.
#include "shell/toolbar_layout.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace marrowdale {
namespace {

constexpr int kBar = kStandardToolbarId;
constexpr int kUser = kFirstUserToolbarId;

ButtonList fullList() {
    ButtonList list;
    for (int i = 0; i < kMaxToolbarButtons; ++i)
        list.push_back(1000 + i);
    return list;
}

struct LayoutCase {
    std::string name;
    ButtonList bar;
    ButtonList user;
    std::function<bool(ToolbarLayout&)> change;
    bool done;
    ButtonList barAfter;
    ButtonList userAfter;
};

class LayoutChange : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutChange, FollowsTheRules) {
    const LayoutCase& c = GetParam();
    ToolbarLayout layout;
    layout.set(kBar, c.bar);
    layout.set(kUser, c.user);
    EXPECT_EQ(c.change(layout), c.done);
    EXPECT_EQ(layout.buttons(kBar), c.barAfter);
    EXPECT_EQ(layout.buttons(kUser), c.userAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LayoutChange,
    ::testing::Values(
        LayoutCase{"InsertNew",
                   {1, 2, 3},
                   {},
                   [](ToolbarLayout& l) { return l.insertCommand(kBar, 1, 9); },
                   true,
                   {1, 9, 2, 3},
                   {}},
        LayoutCase{"InsertClampsTheIndex",
                   {1, 2},
                   {},
                   [](ToolbarLayout& l) {
                       return l.insertCommand(kBar, 99, 9) && l.insertCommand(kBar, -5, 8);
                   },
                   true,
                   {8, 1, 2, 9},
                   {}},
        LayoutCase{"InsertPresentMovesIt",
                   {1, 2, 3},
                   {},
                   [](ToolbarLayout& l) { return l.insertCommand(kBar, 0, 3); },
                   true,
                   {3, 1, 2},
                   {}},
        LayoutCase{"InsertIntoFullRefused",
                   fullList(),
                   {},
                   [](ToolbarLayout& l) { return l.insertCommand(kBar, 0, 9); },
                   false,
                   fullList(),
                   {}},
        LayoutCase{"InsertIntoUnknownRefused",
                   {1},
                   {},
                   [](ToolbarLayout& l) { return l.insertCommand(kLastUserToolbarId, 0, 9); },
                   false,
                   {1},
                   {}},
        LayoutCase{"SeparatorIntoFullRefused",
                   fullList(),
                   {},
                   [](ToolbarLayout& l) { return l.insertSeparator(kBar, 3); },
                   false,
                   fullList(),
                   {}},
        LayoutCase{"RemoveOutOfRangeRefused",
                   {1, 2},
                   {},
                   [](ToolbarLayout& l) { return l.removeAt(kBar, 2) || l.removeAt(kBar, -1); },
                   false,
                   {1, 2},
                   {}},
        LayoutCase{"MoveWithinCountsBeforeTheMove",
                   {1, 2, 3, 4},
                   {},
                   [](ToolbarLayout& l) { return l.move(kBar, 0, kBar, 3); },
                   true,
                   {2, 3, 1, 4},
                   {}},
        LayoutCase{"MoveToAnotherBar",
                   {1, 2, 3},
                   {7},
                   [](ToolbarLayout& l) { return l.move(kBar, 1, kUser, 0); },
                   true,
                   {1, 3},
                   {2, 7}},
        LayoutCase{"MoveOntoBarHoldingItTakesTheOldOneOut",
                   {1, 2, 3},
                   {5, 2, 6},
                   [](ToolbarLayout& l) { return l.move(kBar, 1, kUser, 3); },
                   true,
                   {1, 3},
                   {5, 6, 2}},
        LayoutCase{"MoveOntoFullBarRefused",
                   {1, 2},
                   fullList(),
                   [](ToolbarLayout& l) { return l.move(kBar, 0, kUser, 0); },
                   false,
                   {1, 2},
                   fullList()},
        LayoutCase{"MoveOntoFullBarHoldingItAllowed",
                   {1, 1005},
                   fullList(),
                   [](ToolbarLayout& l) { return l.move(kBar, 1, kUser, 0); },
                   true,
                   {1},
                   [] {
                       ButtonList list = fullList();
                       list.erase(list.begin() + 5);
                       list.insert(list.begin(), 1005);
                       return list;
                   }()},
        LayoutCase{"SeparatorsMoveWithoutTakingOthersOut",
                   {1, 0, 2},
                   {0},
                   [](ToolbarLayout& l) { return l.move(kBar, 1, kUser, 1); },
                   true,
                   {1, 2},
                   {0, 0}},
        LayoutCase{"MoveFromOutOfRangeRefused",
                   {1},
                   {2},
                   [](ToolbarLayout& l) { return l.move(kBar, 1, kUser, 0); },
                   false,
                   {1},
                   {2}},
        LayoutCase{"DefaultPlaceBeforeNextPresent",
                   {1, 4},
                   {},
                   [](ToolbarLayout& l) {
                       return l.insertAtDefaultPlace(kBar, 2, {1, 2, 0, 3, 4});
                   },
                   true,
                   {1, 2, 4},
                   {}},
        LayoutCase{"DefaultPlaceAtTheEndWithoutFollowers",
                   {4, 1},
                   {},
                   [](ToolbarLayout& l) {
                       return l.insertAtDefaultPlace(kBar, 9, {1, 2});
                   },
                   true,
                   {4, 1, 9},
                   {}},
        LayoutCase{"DefaultPlaceOfPresentRefused",
                   {1, 2},
                   {},
                   [](ToolbarLayout& l) {
                       return l.insertAtDefaultPlace(kBar, 2, {1, 2});
                   },
                   false,
                   {1, 2},
                   {}}),
    [](const ::testing::TestParamInfo<LayoutCase>& test) { return test.param.name; });

TEST(ToolbarLayoutTest, RemovedToolbarHasNoButtons) {
    ToolbarLayout layout;
    layout.set(kUser, {1, 2});
    EXPECT_TRUE(layout.has(kUser));
    layout.remove(kUser);
    EXPECT_FALSE(layout.has(kUser));
    EXPECT_TRUE(layout.buttons(kUser).empty());
    EXPECT_FALSE(layout.removeAt(kUser, 0));
}

}  // namespace
}  // namespace marrowdale
