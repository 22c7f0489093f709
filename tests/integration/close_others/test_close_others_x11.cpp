// Closing other windows on a real X server with openbox: the window records read from EWMH,
// and a whole walk over test windows of every kind, after which exactly the expected windows
// were asked to close (and did, since xmessage obeys) and were listed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/x11/x11_services.h"
#include "tests/integration/area_selection/x_session_helpers.h"
#include "tools/close_others.h"
#include "tools/close_others_filter.h"

namespace marrowdale {
namespace {

using namespace testing_x;

// One xmessage window with a known title and size.
struct TestWindow {
    std::string key;
    std::string title;
    std::unique_ptr<ChildProcess> process;
    std::string id;  // decimal X window id
};

class ListDialog final : public CloseOthersDialogView {
  public:
    void setTitle(std::string_view t) override { title = std::string(t); }
    void appendLine(std::string_view line) override { lines.emplace_back(line); }
    int lineCount() const override { return static_cast<int>(lines.size()); }
    void selectLine(int index) override { selected = index; }
    WindowHandle listBox() override { return &lines; }
    std::string title;
    std::vector<std::string> lines;
    int selected = -1;
};

class CloseOthersX11Test : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "these tests need an X display";
        tag_ = "mdtest" + std::to_string(getpid());
    }
    void TearDown() override { windows_.clear(); }

    // Starts an xmessage window; `instance` makes it findable whatever its title.
    TestWindow& open(const std::string& key, const std::string& title,
                     const std::string& geometry) {
        auto& w = windows_[key];
        w.key = key;
        w.title = title;
        const std::string instance = tag_ + "-" + key;
        w.process = std::make_unique<ChildProcess>(std::vector<std::string>{
            "xmessage", "-name", instance, "-title", title, "-geometry", geometry, "-buttons",
            "Keep:3", title.empty() ? "untitled" : title});
        EXPECT_TRUE(w.process->started());
        const auto found = waitFor("xdotool search --classname '^" + instance + "$'", 5000);
        EXPECT_TRUE(found) << key << " did not appear";
        if (found)
            w.id = firstLine(*found);
        // Wait until the window manager lists it.
        EXPECT_TRUE(waitFor("xprop -root _NET_CLIENT_LIST | grep -i " + hex(w.id), 5000))
            << key << " is not managed";
        return w;
    }

    static std::string hex(const std::string& decimal) {
        char buffer[32];
        std::snprintf(buffer, sizeof(buffer), "0x%lx", std::strtoul(decimal.c_str(), nullptr, 10));
        return buffer;
    }

    const WindowRecord* recordOf(const std::vector<WindowRecord>& records, const TestWindow& w) {
        const WindowId id = std::strtoull(w.id.c_str(), nullptr, 10);
        for (const auto& r : records) {
            if (r.id == id)
                return &r;
        }
        return nullptr;
    }

    std::string tag_;
    std::map<std::string, TestWindow> windows_;
};

TEST_F(CloseOthersX11Test, RecordsReflectTheWindowManagersView) {
    TestWindow& plain = open("plain", "Plain " + tag_, "420x310+40+40");
    TestWindow& maxed = open("maxed", "Maxed " + tag_, "420x310+80+80");
    TestWindow& mini = open("mini", "Mini " + tag_, "420x310+120+120");
    TestWindow& owned = open("owned", "Owned " + tag_, "300x250+160+160");
    ASSERT_TRUE(run("wmctrl -i -r " + maxed.id + " -b add,maximized_vert,maximized_horz"));
    ASSERT_TRUE(run("xdotool windowminimize " + mini.id));
    ASSERT_TRUE(run("xprop -id " + owned.id + " -f WM_TRANSIENT_FOR 32x -set WM_TRANSIENT_FOR " +
                    hex(plain.id)));
    ASSERT_TRUE(waitFor("xprop -id " + maxed.id + " _NET_WM_STATE | grep MAXIMIZED_HORZ", 5000));
    ASSERT_TRUE(waitFor("xprop -id " + mini.id + " _NET_WM_STATE | grep HIDDEN", 5000));

    std::string error;
    auto list = openX11WindowList(&error);
    ASSERT_TRUE(list) << error;
    const auto records = list->topLevelWindows();

    const WindowRecord* p = recordOf(records, plain);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->visible);
    EXPECT_TRUE(p->placementReadable);
    EXPECT_FALSE(p->minimised);
    EXPECT_FALSE(p->titleBarInvisible);
    EXPECT_EQ(p->showState, ShowState::Normal);
    EXPECT_EQ(p->clientHeight, 310);
    EXPECT_EQ(p->owner, 0u);
    EXPECT_EQ(p->title, plain.title);

    const WindowRecord* m = recordOf(records, maxed);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->showState, ShowState::Maximised);

    const WindowRecord* i = recordOf(records, mini);
    ASSERT_NE(i, nullptr);
    EXPECT_TRUE(i->minimised);
    EXPECT_TRUE(i->visible);

    const WindowRecord* o = recordOf(records, owned);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->owner, p->id);
    EXPECT_EQ(p->lastActivePopup, o->id);

    // Topmost first: the window opened last is above the first one.
    const auto posOf = [&](const WindowRecord* r) { return r - records.data(); };
    EXPECT_LT(posOf(o), posOf(p));
}

TEST_F(CloseOthersX11Test, WalkClosesAndListsExactlyTheExpectedWindows) {
    // Closed: an ordinary window, one just over 200 pixels high, one whose title starts with
    // the program's name in lower case, and the owner of a dialog.
    open("normal", "Normal " + tag_, "420x310+30+30");
    open("tall", "Tall " + tag_, "320x201+60+60");
    open("lower", "marrowdale " + tag_, "420x310+90+90");
    TestWindow& owner = open("owner", "Owner " + tag_, "420x310+120+120");
    // Spared: maximised, minimised, 200 pixels high, an owned dialog, "Marrowdale...", an
    // empty title, and a window that is not shown.
    TestWindow& maxed = open("maxed", "Maxed " + tag_, "420x310+150+150");
    TestWindow& mini = open("mini", "Mini " + tag_, "420x310+180+180");
    open("small", "Small " + tag_, "320x200+210+210");
    TestWindow& dialog = open("dialog", "Dialog " + tag_, "300x250+240+240");
    open("ours", "Marrowdale " + tag_, "420x310+270+270");
    open("untitled", "", "420x310+300+300");
    TestWindow& hidden = open("hidden", "Hidden " + tag_, "420x310+330+330");

    ASSERT_TRUE(run("wmctrl -i -r " + maxed.id + " -b add,maximized_vert,maximized_horz"));
    ASSERT_TRUE(run("xdotool windowminimize " + mini.id));
    ASSERT_TRUE(run("xprop -id " + dialog.id + " -f WM_TRANSIENT_FOR 32x -set WM_TRANSIENT_FOR " +
                    hex(owner.id)));
    ASSERT_TRUE(run("xdotool windowunmap " + hidden.id));
    ASSERT_TRUE(waitFor("xprop -id " + maxed.id + " _NET_WM_STATE | grep MAXIMIZED_VERT", 5000));
    ASSERT_TRUE(waitFor("xprop -id " + mini.id + " _NET_WM_STATE | grep HIDDEN", 5000));
    for (const char* key : {"tall", "small"}) {
        const auto g = windowGeometry(windows_[key].id);
        ASSERT_TRUE(g);
        ASSERT_EQ(g->height, std::string(key) == "tall" ? 201 : 200) << key;
    }

    std::string error;
    auto list = openX11WindowList(&error);
    ASSERT_TRUE(list) << error;
    RecorderState state;
    ListDialog view;
    initCloseOthersDialog(state, view, *list);

    ASSERT_GE(view.lines.size(), 2u);
    EXPECT_EQ(view.title, "Marrowdale - Close other windows");
    EXPECT_EQ(view.lines.front(), "Closed windows title bar texts");
    EXPECT_EQ(view.lines.back(), "End of the list");
    EXPECT_EQ(view.selected, static_cast<int>(view.lines.size()) - 1);

    std::set<std::string> listedOfOurs;
    for (const auto& line : view.lines) {
        if (line.find(tag_) != std::string::npos)
            listedOfOurs.insert(line);
    }
    const std::set<std::string> expected = {"Normal " + tag_, "Tall " + tag_, "marrowdale " + tag_,
                                            "Owner " + tag_};
    EXPECT_EQ(listedOfOurs, expected);

    // The closed ones end (xmessage leaves on a close request); the spared ones stay.
    for (const char* key : {"normal", "tall", "lower", "owner"}) {
        EXPECT_TRUE(windows_[key].process->waitExit(5000).has_value()) << key << " still open";
    }
    for (const char* key : {"maxed", "mini", "small", "dialog", "ours", "untitled", "hidden"}) {
        EXPECT_FALSE(windows_[key].process->waitExit(0).has_value()) << key << " was closed";
    }
}

}  // namespace
}  // namespace marrowdale
