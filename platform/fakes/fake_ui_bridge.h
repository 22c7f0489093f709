// A UI bridge for tests: records every call in order.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/ui_bridge.h"

namespace marrowdale {

class FakeUiBridge final : public UiBridge {
  public:
    struct Call {
        // "messageBox" (a general message too, with caption kCaptionApp), "showNotice",
        // "setWindowTitle", "setForegroundWindow", "setTimer", "killTimer"
        std::string kind;
        WindowHandle window = nullptr;
        std::string text;     // message text or title
        std::string caption;  // message caption
        TimerId timer = 0;
        unsigned intervalMs = 0;
    };

    void generalMessage(WindowHandle owner, std::string_view text) override {
        record({"messageBox", owner, std::string(text), std::string(kCaptionApp), 0, 0});
    }
    void messageBox(WindowHandle owner, std::string_view text, std::string_view caption) override {
        record({"messageBox", owner, std::string(text), std::string(caption), 0, 0});
    }
    void showNotice(WindowHandle window, std::string_view text) override {
        record({"showNotice", window, std::string(text), {}, 0, 0});
    }
    void setWindowTitle(WindowHandle window, std::string_view title) override {
        record({"setWindowTitle", window, std::string(title), {}, 0, 0});
    }
    void setForegroundWindow(WindowHandle window) override {
        record({"setForegroundWindow", window, {}, {}, 0, 0});
    }
    TimerId setTimer(WindowHandle window, TimerId id, unsigned intervalMs) override {
        record({"setTimer", window, {}, {}, id, intervalMs});
        return timerResult;
    }
    bool killTimer(WindowHandle window, TimerId id) override {
        record({"killTimer", window, {}, {}, id, 0});
        return killResult;
    }

    std::vector<Call> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::vector<std::string> messages() const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> out;
        for (const auto& c : calls_)
            if (c.kind == "messageBox")
                out.push_back(c.text);
        return out;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        calls_.clear();
    }

    TimerId timerResult = 100;  // what setTimer returns
    bool killResult = true;     // what killTimer returns

  private:
    void record(Call c) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(c));
    }
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
};

}  // namespace marrowdale
