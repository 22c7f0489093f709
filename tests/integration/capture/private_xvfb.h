// A private Xvfb for one test, so that its screen can be changed or its server ended without
// disturbing the display the other suites share.
#pragma once

#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace capture_test {

class PrivateXvfb {
  public:
    // `screen` as Xvfb takes it: WIDTHxHEIGHTxDEPTH.
    explicit PrivateXvfb(const char* screen = "1024x768x24") {
        for (int n = 180; n < 220 && pid_ <= 0; ++n) {
            if (std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock") ||
                std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n)))
                continue;
            name_ = ":" + std::to_string(n);
            pid_ = fork();
            if (pid_ == 0) {
                // Its own output goes nowhere, so that it never holds the test's output open.
                const int devNull = open("/dev/null", O_WRONLY);
                if (devNull >= 0) {
                    dup2(devNull, STDOUT_FILENO);
                    dup2(devNull, STDERR_FILENO);
                }
                prctl(PR_SET_PDEATHSIG, SIGTERM);  // and it ends with the test, however it ends
                execlp("Xvfb", "Xvfb", name_.c_str(), "-screen", "0", screen, "-noreset",
                       "-nolisten", "tcp", static_cast<char*>(nullptr));
                _exit(127);
            }
        }
        for (int i = 0; i < 100 && pid_ > 0; ++i) {
            if (Display* d = XOpenDisplay(name_.c_str())) {
                XCloseDisplay(d);
                ready_ = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    ~PrivateXvfb() { end(); }
    PrivateXvfb(const PrivateXvfb&) = delete;
    PrivateXvfb& operator=(const PrivateXvfb&) = delete;

    bool ready() const { return ready_; }
    const std::string& name() const { return name_; }
    bool resize(const char* size) const {
        const std::string command =
            "DISPLAY=" + name_ + " xrandr --fb " + size + " >/dev/null 2>&1";
        return std::system(command.c_str()) != -1;
    }
    // Ends the server at once, the way a crash would: its clients see the connection break.
    void kill() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
            cleanUp();
        }
    }

  private:
    void end() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    // A killed server leaves its lock and socket behind.
    void cleanUp() {
        std::error_code ec;
        const std::string n = name_.substr(1);
        std::filesystem::remove("/tmp/.X" + n + "-lock", ec);
        std::filesystem::remove("/tmp/.X11-unix/X" + n, ec);
    }

    pid_t pid_ = -1;
    std::string name_;
    bool ready_ = false;
};

}  // namespace capture_test
