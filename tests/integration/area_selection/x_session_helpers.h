// Small helpers for the suites that drive a real X session (Xvfb + openbox): run the X tools
// (xdotool, xmessage, xprop) as child processes and wait for them with a bound.
#pragma once

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace marrowdale::testing_x {

// A child process, killed and reaped when the object goes away.
class ChildProcess {
  public:
    explicit ChildProcess(const std::vector<std::string>& args) {
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
    }
    ~ChildProcess() {
        if (pid_ > 0 && !status_) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }

    // The exit code, once the process has ended within `timeoutMs`; nothing otherwise.
    std::optional<int> waitExit(int timeoutMs) {
        if (status_)
            return status_;
        if (pid_ <= 0)
            return std::nullopt;
        for (int waited = 0; waited <= timeoutMs; waited += 20) {
            int status = 0;
            const pid_t r = waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return status_;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return std::nullopt;
    }

  private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// Runs a shell command to its end and returns what it printed (nothing when it failed).
inline std::optional<std::string> capture(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return std::nullopt;
    std::string out;
    std::array<char, 512> buffer{};
    while (std::fgets(buffer.data(), static_cast<int>(buffer.size()), pipe) != nullptr) {
        out += buffer.data();
    }
    const int status = pclose(pipe);
    if (status != 0)
        return std::nullopt;
    return out;
}

inline bool run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// Waits (bounded) until a command succeeds and prints something; returns that output.
inline std::optional<std::string> waitFor(const std::string& command, int timeoutMs) {
    for (int waited = 0; waited <= timeoutMs; waited += 50) {
        if (auto out = capture(command); out && !out->empty())
            return out;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return std::nullopt;
}

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

// Position and size of a window's client area on the screen, from xwininfo.
inline std::optional<Geometry> windowGeometry(const std::string& windowId) {
    const auto out = capture("xwininfo -id " + windowId + " 2>/dev/null");
    if (!out)
        return std::nullopt;
    Geometry g;
    int found = 0;
    const std::pair<const char*, int*> keys[] = {{"Absolute upper-left X:", &g.x},
                                                 {"Absolute upper-left Y:", &g.y},
                                                 {"Width:", &g.width},
                                                 {"Height:", &g.height}};
    for (const auto& [key, value] : keys) {
        const auto at = out->find(key);
        if (at != std::string::npos) {
            *value = std::atoi(out->c_str() + at + std::string(key).size());
            ++found;
        }
    }
    if (found != 4)
        return std::nullopt;
    return g;
}

// Waits (bounded) until the window manager has taken the window in: it is in the client list
// and has its frame, so its position no longer changes. Returns its client geometry then.
inline std::optional<Geometry> managedWindowGeometry(const std::string& windowId,
                                                     int timeoutMs = 5000) {
    char hexId[32];
    std::snprintf(hexId, sizeof(hexId), "0x%lx", std::strtoul(windowId.c_str(), nullptr, 10));
    if (!waitFor(std::string("xprop -root _NET_CLIENT_LIST | grep -i ") + hexId, timeoutMs) ||
        !waitFor("xprop -id " + windowId + " _NET_FRAME_EXTENTS | grep =", timeoutMs) ||
        !waitFor("xwininfo -id " + windowId + " | grep IsViewable", timeoutMs)) {
        return std::nullopt;
    }
    return windowGeometry(windowId);
}

// The first line of a text (a window id printed by xdotool search).
inline std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

}  // namespace marrowdale::testing_x
