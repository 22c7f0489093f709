// The UI bridge of the command-line recorder: messages go to stderr as
// "marrowdale-record: CAPTION: TEXT"; there are no windows, so window operations do nothing
// and the close-other-windows timer cannot be armed. Notices go to stderr as
// "marrowdale-record: TEXT" unless the bridge is quiet.
#pragma once

#include <mutex>

#include "platform/ui_bridge.h"

namespace marrowdale::cli {

class StderrUiBridge final : public UiBridge {
  public:
    void generalMessage(WindowHandle owner, std::string_view text) override;
    void messageBox(WindowHandle owner, std::string_view text, std::string_view caption) override;
    void showNotice(WindowHandle window, std::string_view text) override;
    void setWindowTitle(WindowHandle window, std::string_view title) override;
    void setForegroundWindow(WindowHandle window) override;
    TimerId setTimer(WindowHandle window, TimerId id, unsigned intervalMs) override;
    bool killTimer(WindowHandle window, TimerId id) override;

    // Notices are dropped (--quiet); messages still go out.
    void setQuiet(bool quiet) { quiet_ = quiet; }

  private:
    std::mutex mutex_;
    bool quiet_ = false;
};

}  // namespace marrowdale::cli
