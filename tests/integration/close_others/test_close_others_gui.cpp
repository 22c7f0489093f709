// Closing other windows in the desktop program on Xvfb with openbox: "Close other windows when
// stopping." ticked in the maximum frames dialog, a screen recording started and stopped, and
// then exactly the expected test windows asked to close, listed in the dialog "Marrowdale -
// Close other windows"; the program's own windows stay.
#include <QListWidget>
#include <QPointer>
#include <QTimer>
#include <set>

#include "tests/integration/area_selection/gui_session.h"
#include "tests/integration/area_selection/x_session_helpers.h"
#include "tools/gui/close_others_dialog.h"

namespace marrowdale {
namespace {

using namespace testing_x;

struct TestWindow {
    std::unique_ptr<ChildProcess> process;
    std::string id;
};

std::string hex(const std::string& decimal) {
    char buffer[32];
    std::snprintf(buffer, sizeof(buffer), "0x%lx", std::strtoul(decimal.c_str(), nullptr, 10));
    return buffer;
}

class CloseOthersGuiTest : public GuiSession {
  protected:
    TestWindow& open(const std::string& key, const std::string& title,
                     const std::string& geometry) {
        TestWindow& w = windows_[key];
        const std::string instance = "mdgui" + std::to_string(getpid()) + "-" + key;
        w.process = std::make_unique<ChildProcess>(
            std::vector<std::string>{"xmessage", "-name", instance, "-title", title, "-geometry",
                                     geometry, "-buttons", "Keep:3", "test window"});
        EXPECT_TRUE(w.process->started());
        const auto found = waitFor("xdotool search --classname '^" + instance + "$'", 5000);
        EXPECT_TRUE(found) << key;
        if (found)
            w.id = firstLine(*found);
        EXPECT_TRUE(waitFor("xprop -root _NET_CLIENT_LIST | grep -i " + hex(w.id), 5000)) << key;
        return w;
    }

    // Ticks or clears "Close other windows when stopping." through the maximum frames dialog.
    void setCloseOthersOnStop(bool tick) {
        bool answered = false;
        QTimer::singleShot(0, [&] {
            pumpUntil([] { return QApplication::activeModalWidget() != nullptr; });
            auto* dialog = qobject_cast<TemplateDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->templateId(), 318);
            dialog->checkButton(1020, tick ? 1 : 0);
            dialog->clickItem(IDOK);
            answered = true;
        });
        command(res::ID_MAX_FRAMES);
        EXPECT_TRUE(answered);
    }

    // The close-others dialogs shown so far.
    static std::vector<TemplateDialog*> closeOthersDialogs() {
        std::vector<TemplateDialog*> found;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* d = qobject_cast<TemplateDialog*>(w);
            if (d && d->templateId() == 326 && d->isVisible())
                found.push_back(d);
        }
        return found;
    }

    std::map<std::string, TestWindow> windows_;
};

TEST_F(CloseOthersGuiTest, StopClosesAndListsExactlyTheExpectedWindows) {
    const std::string tag = "gui" + std::to_string(getpid());
    open("normal", "Normal " + tag, "420x310+20+20");
    open("lower", "marrowdale " + tag, "420x310+50+50");
    TestWindow& owner = open("owner", "Owner " + tag, "420x310+80+80");
    TestWindow& maxed = open("maxed", "Maxed " + tag, "420x310+110+110");
    TestWindow& mini = open("mini", "Mini " + tag, "420x310+140+140");
    open("small", "Small " + tag, "320x200+170+170");
    TestWindow& dialog = open("dialog", "Dialog " + tag, "300x250+200+200");
    open("ours", "Marrowdale " + tag, "420x310+230+230");
    open("untitled", "", "420x310+260+260");
    ASSERT_TRUE(run("wmctrl -i -r " + maxed.id + " -b add,maximized_vert,maximized_horz"));
    ASSERT_TRUE(run("xdotool windowminimize " + mini.id));
    ASSERT_TRUE(run("xprop -id " + dialog.id + " -f WM_TRANSIENT_FOR 32x -set WM_TRANSIENT_FOR " +
                    hex(owner.id)));
    ASSERT_TRUE(waitFor("xprop -id " + mini.id + " _NET_WM_STATE | grep HIDDEN", 5000));
    ASSERT_TRUE(waitFor("xprop -id " + maxed.id + " _NET_WM_STATE | grep MAXIMIZED_HORZ", 5000));

    setCloseOthersOnStop(true);
    ASSERT_EQ(captureSettings().closeOthersOnStop.load(), 1);

    recordFor(300);
    ASSERT_TRUE(pumpUntil([] { return !closeOthersDialogs().empty(); }, 5000))
        << "no close-others dialog";
    // One stop, one dialog.
    pumpFor(600);
    const auto dialogs = closeOthersDialogs();
    ASSERT_EQ(dialogs.size(), 1u);
    TemplateDialog* shown = dialogs.front();
    EXPECT_EQ(shown->windowTitle().toStdString(), "Marrowdale - Close other windows");
    EXPECT_EQ(recorderState().closeOthersPending.load(), 0);
    EXPECT_EQ(recorderState().closeOthersTimerId.load(), 0u);

    const int count = shown->listCount(1022);
    ASSERT_GE(count, 2);
    EXPECT_EQ(shown->listText(1022, 0).toStdString(), "Closed windows title bar texts");
    EXPECT_EQ(shown->listText(1022, count - 1).toStdString(), "End of the list");
    EXPECT_EQ(shown->listCurSel(1022), count - 1);
    std::set<std::string> listed;
    for (int i = 1; i < count - 1; ++i) {
        const std::string line = shown->listText(1022, i).toStdString();
        EXPECT_EQ(line.rfind("Marrowdale", 0), std::string::npos) << line;
        if (line.find(tag) != std::string::npos)
            listed.insert(line);
    }
    const std::set<std::string> expected = {"Normal " + tag, "marrowdale " + tag, "Owner " + tag};
    EXPECT_EQ(listed, expected);

    for (const char* key : {"normal", "lower", "owner"}) {
        EXPECT_TRUE(windows_[key].process->waitExit(5000).has_value()) << key << " still open";
    }
    for (const char* key : {"maxed", "mini", "small", "dialog", "ours", "untitled"}) {
        EXPECT_FALSE(windows_[key].process->waitExit(0).has_value()) << key << " was closed";
    }
    // The program's own main frame is spared.
    EXPECT_TRUE(frame_->isVisible());
    EXPECT_TRUE(frame_->windowTitle().startsWith("Marrowdale"));

    shown->clickItem(IDOK);
    EXPECT_TRUE(pumpUntil([] { return recorderState().closeOthersDialog.load() == nullptr; }))
        << "the closed dialog is still recorded";
}

TEST_F(CloseOthersGuiTest, UntickedOptionClosesNothing) {
    const std::string tag = "gui" + std::to_string(getpid());
    open("normal", "Normal " + tag, "420x310+20+20");
    setCloseOthersOnStop(false);
    ASSERT_EQ(captureSettings().closeOthersOnStop.load(), 0);
    recordFor(300);
    pumpFor(800);
    EXPECT_TRUE(closeOthersDialogs().empty());
    EXPECT_FALSE(windows_["normal"].process->waitExit(0).has_value());
}

// The dialog on its own, fed by a list of records instead of the display.
class RecordList final : public WindowList {
  public:
    explicit RecordList(std::vector<WindowRecord> records, std::vector<WindowId>* closed)
        : records_(std::move(records)), closed_(closed) {}
    std::vector<WindowRecord> topLevelWindows() override { return records_; }
    bool requestClose(WindowId id) override {
        closed_->push_back(id);
        return true;
    }

  private:
    std::vector<WindowRecord> records_;
    std::vector<WindowId>* closed_;
};

WindowRecord plain(WindowId id, std::string title) {
    WindowRecord w;
    w.id = id;
    w.visible = true;
    w.placementReadable = true;
    w.clientHeight = 300;
    w.title = std::move(title);
    return w;
}

TEST(CloseOthersDialog, ListsTheWalkAndForgetsItselfWhenClosed) {
    RecorderState state;
    std::vector<WindowId> closed;
    WindowRecord maximised = plain(3, "Spread sheet");
    maximised.showState = ShowState::Maximised;
    const std::vector<WindowRecord> records = {plain(1, "Editor"), maximised,
                                               plain(2, "Marrowdale stopped"),
                                               plain(4, "Mail \xE2\x80\x94 inbox")};
    QtCloseOthersDialogHost host([&] { return std::make_unique<RecordList>(records, &closed); },
                                 state);
    const WindowHandle handle = host.createDialog();
    ASSERT_NE(handle, nullptr);
    auto* dialog = static_cast<TemplateDialog*>(static_cast<QWidget*>(handle));
    state.closeOthersDialog = handle;
    host.showDialog(handle);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->templateId(), 326);
    EXPECT_EQ(dialog->windowTitle().toStdString(), "Marrowdale - Close other windows");
    ASSERT_EQ(dialog->listCount(1022), 4);
    EXPECT_EQ(dialog->listText(1022, 0).toStdString(), "Closed windows title bar texts");
    EXPECT_EQ(dialog->listText(1022, 1).toStdString(), "Editor");
    EXPECT_EQ(dialog->listText(1022, 2), QString::fromUtf8("Mail \xE2\x80\x94 inbox"));
    EXPECT_EQ(dialog->listText(1022, 3).toStdString(), "End of the list");
    EXPECT_EQ(dialog->listCurSel(1022), 3);
    EXPECT_EQ(closed, (std::vector<WindowId>{1, 4}));
    EXPECT_EQ(state.closeOthersList.load(), static_cast<WindowHandle>(dialog->listBox(1022)));

    QPointer<QWidget> watch(dialog);
    dialog->clickItem(IDCANCEL);
    EXPECT_TRUE(pumpUntil([&] { return watch.isNull(); }, 2000)) << "the dialog was not released";
    EXPECT_EQ(state.closeOthersDialog.load(), nullptr);
    EXPECT_EQ(state.closeOthersList.load(), nullptr);
}

TEST(CloseOthersDialog, UnreadableDisplayListsNothing) {
    RecorderState state;
    QtCloseOthersDialogHost host([] { return std::unique_ptr<WindowList>(); }, state);
    const WindowHandle handle = host.createDialog();
    ASSERT_NE(handle, nullptr);
    auto* dialog = static_cast<TemplateDialog*>(static_cast<QWidget*>(handle));
    ASSERT_EQ(dialog->listCount(1022), 2);
    EXPECT_EQ(dialog->listCurSel(1022), 1);
    delete dialog;
}

}  // namespace
}  // namespace marrowdale

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests (at build time, without a display) needs no application.
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
