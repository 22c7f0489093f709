// The desktop-wide X11 services on a private Xvfb: global keys grabbed, refused when another
// program holds them, and firing on presses made with xdotool whatever the lock keys; the lock
// keys' states from XKB; the RandR monitors an administrator defines with xrandr.
#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "../capture/private_xvfb.h"
#include "platform/x11/x11_services.h"

namespace marrowdale {
namespace {

using capture_test::PrivateXvfb;

class X11Desktop : public ::testing::Test {
  protected:
    explicit X11Desktop(const char* screen = "1024x768x24") : display_(screen) {}
    void SetUp() override {
        ASSERT_TRUE(display_.ready()) << "could not start a private Xvfb";
        setenv("DISPLAY", display_.name().c_str(), 1);
    }
    bool run(const std::string& command) {
        return std::system(("DISPLAY=" + display_.name() + " " + command).c_str()) == 0;
    }
    // Presses of grabbed chords seen within `ms`.
    static std::vector<int> pressesWithin(GlobalKeys& keys, int ms) {
        std::vector<int> ids;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{keys.fileDescriptor(), POLLIN, 0};
            poll(&p, 1, 20);
            keys.dispatchPending([&ids](int id) { ids.push_back(id); });
        }
        return ids;
    }

    PrivateXvfb display_;
};

const KeyChord kStart{kChordCtrl | kChordAlt | kChordShift, "F9"};
const KeyChord kStop{kChordCtrl | kChordAlt | kChordShift, "F11"};

TEST_F(X11Desktop, GrabbedKeysFireWhateverTheLockKeys) {
    std::string error;
    std::unique_ptr<GlobalKeys> keys = openX11GlobalKeys(&error);
    ASSERT_TRUE(keys) << error;
    EXPECT_EQ(keys->grab(1, kStart), KeyGrabResult::kGrabbed);
    EXPECT_EQ(keys->grab(2, kStop), KeyGrabResult::kGrabbed);
    EXPECT_EQ(keys->grab(3, KeyChord{kChordCtrl, "Esc"}), KeyGrabResult::kGrabbed);

    ASSERT_TRUE(run("xdotool key ctrl+alt+shift+F9 ctrl+alt+shift+F11 ctrl+Escape"));
    EXPECT_EQ(pressesWithin(*keys, 500), (std::vector<int>{1, 2, 3}));
    // Caps Lock and Num Lock on: the chords still act.
    ASSERT_TRUE(run("xdotool key Caps_Lock Num_Lock ctrl+alt+shift+F11"));
    EXPECT_EQ(pressesWithin(*keys, 500), (std::vector<int>{2}));
    ASSERT_TRUE(run("xdotool key Caps_Lock Num_Lock"));
    // Other chords and the bare key are left alone; a released chord no longer acts.
    keys->release(1);
    ASSERT_TRUE(run("xdotool key alt+shift+F9 F11 ctrl+alt+shift+F9"));
    EXPECT_TRUE(pressesWithin(*keys, 300).empty());
    // A key this keyboard does not have is said so.
    EXPECT_EQ(keys->grab(4, KeyChord{kChordCtrl, "NoSuchKey"}), KeyGrabResult::kUnknownKey);
}

TEST_F(X11Desktop, AChordAnotherProgramHoldsIsReportedTaken) {
    std::string error;
    std::unique_ptr<GlobalKeys> other = openX11GlobalKeys(&error);
    std::unique_ptr<GlobalKeys> ours = openX11GlobalKeys(&error);
    ASSERT_TRUE(other && ours) << error;
    ASSERT_EQ(other->grab(7, kStart), KeyGrabResult::kGrabbed);
    EXPECT_EQ(ours->grab(1, kStart), KeyGrabResult::kTaken);
    EXPECT_EQ(ours->grab(2, kStop), KeyGrabResult::kGrabbed) << "other chords are still free";
    // The chord stays the other program's: its presses go there.
    ASSERT_TRUE(run("xdotool key ctrl+alt+shift+F9"));
    EXPECT_TRUE(pressesWithin(*ours, 300).empty());
    EXPECT_EQ(pressesWithin(*other, 300), (std::vector<int>{7}));
    // Once it lets go, the chord can be had.
    other.reset();
    EXPECT_EQ(ours->grab(1, kStart), KeyGrabResult::kGrabbed);
    ASSERT_TRUE(run("xdotool key ctrl+alt+shift+F9"));
    EXPECT_EQ(pressesWithin(*ours, 500), (std::vector<int>{1}));
}

TEST_F(X11Desktop, LockStatesComeFromTheKeyboardAndFollowItsChanges) {
    // Caps Lock is on before the program starts. Scroll Lock locks a modifier only where the
    // keyboard map gives it one (Xvfb's does not): it is given mod3 here.
    ASSERT_TRUE(run("xdotool key Caps_Lock"));
    ASSERT_TRUE(run("xmodmap -e 'add mod3 = Scroll_Lock'"));
    std::string error;
    std::unique_ptr<KeyboardLocks> locks = openX11KeyboardLocks(&error);
    ASSERT_TRUE(locks) << error;
    EXPECT_EQ(locks->states(), (LockStates{true, false, false}));

    std::vector<LockStates> seen;
    const auto collect = [&](int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{locks->fileDescriptor(), POLLIN, 0};
            poll(&p, 1, 20);
            locks->dispatchPending([&seen](const LockStates& s) { seen.push_back(s); });
        }
    };
    ASSERT_TRUE(run("xdotool key Num_Lock"));
    collect(400);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), (LockStates{true, true, false}));
    ASSERT_TRUE(run("xdotool key Caps_Lock Scroll_Lock"));
    collect(400);
    EXPECT_EQ(seen.back(), (LockStates{false, true, true}));
    EXPECT_EQ(locks->states(), seen.back());
}

class WideDesktop : public X11Desktop {
  protected:
    WideDesktop() : X11Desktop("1600x600x24") {}
};

TEST_F(WideDesktop, MonitorsAreTheRandRMonitors) {
    std::string error;
    std::optional<std::vector<MonitorArea>> monitors = listX11Monitors(&error);
    ASSERT_TRUE(monitors) << error;
    ASSERT_EQ(monitors->size(), 1u);
    EXPECT_EQ(monitors->front(), (MonitorArea{"screen", 0, 0, 1600, 600, false}));

    // Two monitors side by side, as an administrator defines them.
    ASSERT_TRUE(run("xrandr --setmonitor Left 800/211x600/158+0+0 none"));
    ASSERT_TRUE(run("xrandr --setmonitor Right 800/211x600/158+800+0 none"));
    monitors = listX11Monitors(&error);
    ASSERT_TRUE(monitors) << error;
    std::vector<MonitorArea> defined;
    for (const MonitorArea& m : *monitors)
        if (m.name == "Left" || m.name == "Right")
            defined.push_back(m);
    ASSERT_EQ(defined.size(), 2u);
    EXPECT_EQ(defined[0], (MonitorArea{"Left", 0, 0, 800, 600, false}));
    EXPECT_EQ(defined[1], (MonitorArea{"Right", 800, 0, 800, 600, false}));
}

TEST(X11DesktopWithoutDisplay, EachServiceSaysWhy) {
    const char* previous = std::getenv("DISPLAY");
    const std::string saved = previous != nullptr ? previous : "";
    setenv("DISPLAY", ":239", 1);
    std::string error;
    EXPECT_FALSE(openX11GlobalKeys(&error));
    EXPECT_EQ(error, "cannot open the X display");
    error.clear();
    EXPECT_FALSE(openX11KeyboardLocks(&error));
    EXPECT_EQ(error, "cannot open the X display");
    error.clear();
    EXPECT_FALSE(listX11Monitors(&error));
    EXPECT_EQ(error, "cannot open the X display");
    if (previous != nullptr)
        setenv("DISPLAY", saved.c_str(), 1);
    else
        unsetenv("DISPLAY");
}

}  // namespace
}  // namespace marrowdale
