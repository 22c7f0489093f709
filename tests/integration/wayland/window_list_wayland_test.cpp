// The desktop's windows on the headless sway of scripts/test, through the foreign-toplevel
// protocol: the list with titles and states, the close-other-windows decision on it, and a close
// request that closes the window.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/loader/platform_loader.h"
#include "platform/wayland/wayland_services.h"
#include "platform/window_list.h"
#include "tools/close_others_filter.h"

namespace marrowdale {
namespace {

using namespace std::chrono_literals;

// Runs `command` as the desktop's user; returns its pid (no wait) or its exit status (wait).
pid_t spawnAsUser(const std::string& desktopDir, std::vector<std::string> command) {
    command.insert(command.begin(), {MARROWDALE_WAYLAND_DESKTOP, "run", desktopDir});
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    std::vector<char*> args;
    for (auto& a : command)
        args.push_back(a.data());
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

int runAsUser(const std::string& desktopDir, std::vector<std::string> command) {
    int status = 0;
    waitpid(spawnAsUser(desktopDir, std::move(command)), &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool exited(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == pid;
}

class WaylandWindows : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* env = std::getenv("MDL_WAYLAND_ENV");
        if (env == nullptr || *env == '\0')
            GTEST_SKIP() << "needs the Wayland desktop of scripts/test (MDL_WAYLAND_ENV)";
        desktopDir_ = std::string(env).substr(0, std::string(env).rfind('/'));
        std::ifstream in(env);
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("export ", 0) != 0)
                continue;
            const std::size_t eq = line.find('=');
            setenv(line.substr(7, eq - 7).c_str(), line.substr(eq + 1).c_str(), 1);
        }
    }
    void TearDown() override {
        for (pid_t pid : windows_) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }

    // A test window; its title starts with "presentation-shm".
    pid_t openWindow() {
        const pid_t pid = spawnAsUser(desktopDir_, {"weston-presentation-shm"});
        windows_.push_back(pid);
        return pid;
    }

    std::vector<WindowRecord> testWindows(WindowList& list) {
        std::vector<WindowRecord> out;
        for (const WindowRecord& r : list.topLevelWindows())
            if (r.title.rfind("presentation-shm", 0) == 0)
                out.push_back(r);
        return out;
    }

    std::string desktopDir_;
    std::vector<pid_t> windows_;
};

TEST_F(WaylandWindows, ListedClosedAndSparedAsTheFilterSays) {
    // WAYLAND_DISPLAY is set: the program's window list is the Wayland one.
    std::string error;
    std::unique_ptr<WindowList> list = loadPlatformServices().windowList(&error);
    ASSERT_NE(list, nullptr) << error;

    const pid_t ordinary = openWindow();
    const pid_t fullScreen = openWindow();
    for (int i = 0; i < 100 && testWindows(*list).size() < 2; ++i)
        std::this_thread::sleep_for(50ms);
    ASSERT_EQ(testWindows(*list).size(), 2u);
    // The second window goes full screen: a full-screen window is spared like a maximised one.
    ASSERT_EQ(runAsUser(desktopDir_,
                        {"swaymsg", "[pid=" + std::to_string(fullScreen) + "] fullscreen enable"}),
              0);
    std::vector<WindowRecord> windows;
    for (int i = 0; i < 100; ++i) {
        windows = testWindows(*list);
        if (std::count_if(windows.begin(), windows.end(), [](const WindowRecord& r) {
                return r.showState == ShowState::Maximised;
            }) == 1)
            break;
        std::this_thread::sleep_for(50ms);
    }
    const WindowSnapshot all(list->topLevelWindows());
    std::vector<WindowId> toClose;
    for (const WindowRecord& r : windows) {
        EXPECT_TRUE(r.visible);
        EXPECT_EQ(r.owner, 0u);
        if (CloseOtherWindowsEnumProc(r, all))
            toClose.push_back(r.id);
    }
    ASSERT_EQ(toClose.size(), 1u);
    EXPECT_TRUE(list->requestClose(toClose.front()));

    // The ordinary window's program ends on the close request; the other stays.
    bool closed = false;
    for (int i = 0; i < 100 && !closed; ++i) {
        std::this_thread::sleep_for(50ms);
        closed = exited(ordinary);
    }
    EXPECT_TRUE(closed);
    if (closed)
        windows_.erase(std::find(windows_.begin(), windows_.end(), ordinary));
    EXPECT_FALSE(exited(fullScreen));
    EXPECT_FALSE(list->requestClose(0));
}

TEST_F(WaylandWindows, NoDisplayMeansNotAvailable) {
    setenv("WAYLAND_DISPLAY", "/nonexistent/wayland-9", 1);
    std::string error;
    EXPECT_EQ(openWaylandWindowList(&error), nullptr);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(loadPlatformServices().windowList(nullptr), nullptr);
}

}  // namespace
}  // namespace marrowdale
