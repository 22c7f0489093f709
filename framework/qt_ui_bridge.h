// The UI bridge of the desktop program. Every call runs on the GUI thread: called from the GUI
// thread it runs at once; called from a worker it is queued to the GUI thread and the worker
// waits until it has run (a message box: until the user has pressed OK).
//
// While the GUI thread itself waits for workers (closing a view, quitting), it must keep serving
// the bridge, or a worker showing a message would never finish: such waits call runPending().
// After shutDown() nothing is shown any more and every call returns at once, so that no worker
// stays blocked on a program that is ending.
#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/ui_bridge.h"

class QTimer;
class QWidget;

namespace marrowdale {

class QtUiBridge final : public QObject, public UiBridge {
    Q_OBJECT
  public:
    // Create on the GUI thread.
    explicit QtUiBridge(QObject* parent = nullptr);
    ~QtUiBridge() override;

    void generalMessage(WindowHandle owner, std::string_view text) override;
    void messageBox(WindowHandle owner, std::string_view text, std::string_view caption) override;
    // The status bar of the window's main window (showStatusNotice), until the next notice.
    void showNotice(WindowHandle window, std::string_view text) override;
    void setWindowTitle(WindowHandle window, std::string_view title) override;
    void setForegroundWindow(WindowHandle window) override;
    TimerId setTimer(WindowHandle window, TimerId id, unsigned intervalMs) override;
    bool killTimer(WindowHandle window, TimerId id) override;

    // GUI thread. What runs when a timer armed by setTimer fires (on the GUI thread,
    // with the window and id it was armed with). Without a handler a firing timer does nothing.
    using TimerHandler = std::function<void(WindowHandle window, TimerId id)>;
    void setTimerHandler(TimerHandler handler);

    // GUI thread. Runs the requests that workers have queued so far.
    void runPending();
    // GUI thread. From now on requests are dropped and every waiting worker is released.
    void shutDown();
    bool isShutDown() const;

    // GUI thread. Whether a timer is armed for (window, id) (tests, diagnostics).
    bool timerArmed(WindowHandle window, TimerId id) const;

  private:
    struct Request {
        std::function<void()> work;
        bool done = false;
    };
    // Runs `work` on the GUI thread and waits for it; false when it was dropped.
    bool runOnGuiThread(std::function<void()> work);
    Q_INVOKABLE void drain();

    mutable std::mutex mutex_;
    std::condition_variable doneCv_;
    std::deque<std::shared_ptr<Request>> queue_;
    bool shutDown_ = false;

    TimerHandler timerHandler_;
    QHash<QPair<QWidget*, TimerId>, QPointer<QTimer>> timers_;
};

}  // namespace marrowdale
