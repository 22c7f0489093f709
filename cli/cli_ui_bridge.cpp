#include "cli/cli_ui_bridge.h"

#include <cstdio>
#include <string>

namespace marrowdale::cli {

void StderrUiBridge::generalMessage(WindowHandle owner, std::string_view text) {
    messageBox(owner, text, kCaptionApp);
}

void StderrUiBridge::messageBox(WindowHandle /*owner*/, std::string_view text,
                                std::string_view caption) {
    std::string line = "marrowdale-record: ";
    line += caption;
    line += ": ";
    line += text;
    line += '\n';
    std::lock_guard lock(mutex_);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void StderrUiBridge::showNotice(WindowHandle /*window*/, std::string_view text) {
    if (quiet_)
        return;
    std::string line = "marrowdale-record: ";
    line += text;
    line += '\n';
    std::lock_guard lock(mutex_);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void StderrUiBridge::setWindowTitle(WindowHandle /*window*/, std::string_view /*title*/) {}

void StderrUiBridge::setForegroundWindow(WindowHandle /*window*/) {}

TimerId StderrUiBridge::setTimer(WindowHandle /*window*/, TimerId /*id*/, unsigned /*intervalMs*/) {
    return 0;
}

bool StderrUiBridge::killTimer(WindowHandle /*window*/, TimerId /*id*/) {
    return true;
}

}  // namespace marrowdale::cli
