// The UI bridge of the command-line recorder: messages go to stderr as
// "marrowdale-record: CAPTION: TEXT"; there are no windows, so window operations do nothing
// and the close-other-windows timer cannot be armed.
#pragma once

#include <mutex>

#include "platform/ui_bridge.h"

namespace marrowdale::cli {

class StderrUiBridge final : public UiBridge {
  public:
    void messageBox(WindowHandle owner, std::string_view text, std::string_view caption) override;
    void setWindowTitle(WindowHandle window, std::string_view title) override;
    void setForegroundWindow(WindowHandle window) override;
    TimerId setCloseOthersTimer(WindowHandle window, TimerId id, unsigned intervalMs) override;
    bool killTimer(WindowHandle window, TimerId id) override;

  private:
    std::mutex mutex_;
};

}  // namespace marrowdale::cli
