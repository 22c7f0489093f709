#include "framework/qt_ui_bridge.h"

#include <QApplication>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include "framework/message_box.h"
#include "framework/status_notice.h"
#include "framework/window_handle.h"

namespace marrowdale {

namespace {
QString fromView(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
}  // namespace

QtUiBridge::QtUiBridge(QObject* parent) : QObject(parent) {}

QtUiBridge::~QtUiBridge() {
    shutDown();
}

bool QtUiBridge::runOnGuiThread(std::function<void()> work) {
    if (QThread::currentThread() == thread()) {
        if (isShutDown())
            return false;
        work();
        return true;
    }
    auto request = std::make_shared<Request>();
    request->work = std::move(work);
    {
        std::lock_guard lock(mutex_);
        if (shutDown_)
            return false;
        queue_.push_back(request);
    }
    QMetaObject::invokeMethod(this, "drain", Qt::QueuedConnection);
    std::unique_lock lock(mutex_);
    doneCv_.wait(lock, [&] { return request->done || shutDown_; });
    return request->done;
}

void QtUiBridge::drain() {
    runPending();
}

void QtUiBridge::runPending() {
    for (;;) {
        std::shared_ptr<Request> request;
        {
            std::lock_guard lock(mutex_);
            if (shutDown_ || queue_.empty())
                return;
            request = queue_.front();
            queue_.pop_front();
        }
        request->work();
        {
            std::lock_guard lock(mutex_);
            request->done = true;
        }
        doneCv_.notify_all();
    }
}

void QtUiBridge::shutDown() {
    {
        std::lock_guard lock(mutex_);
        shutDown_ = true;
        queue_.clear();
    }
    doneCv_.notify_all();
}

bool QtUiBridge::isShutDown() const {
    std::lock_guard lock(mutex_);
    return shutDown_;
}

void QtUiBridge::generalMessage(WindowHandle owner, std::string_view text) {
    const QString t = fromView(text);
    runOnGuiThread([owner, t] {
        if (QWidget* w = widgetFromHandle(owner))
            captionedMessageBox(w, t, fromView(kCaptionApp));
        else
            afxMessageBox(t);
    });
}

void QtUiBridge::messageBox(WindowHandle owner, std::string_view text, std::string_view caption) {
    const QString t = fromView(text);
    const QString c = fromView(caption);
    runOnGuiThread([owner, t, c] { captionedMessageBox(widgetFromHandle(owner), t, c); });
}

void QtUiBridge::showNotice(WindowHandle window, std::string_view text) {
    const QString t = fromView(text);
    runOnGuiThread([window, t] { showStatusNotice(widgetFromHandle(window), t); });
}

void QtUiBridge::setWindowTitle(WindowHandle window, std::string_view title) {
    const QString t = fromView(title);
    runOnGuiThread([window, t] {
        if (QWidget* w = widgetFromHandle(window))
            w->setWindowTitle(t);
    });
}

void QtUiBridge::setForegroundWindow(WindowHandle window) {
    runOnGuiThread([window] {
        QWidget* w = widgetFromHandle(window);
        if (!w)
            return;
        QWidget* top = w->window();
        top->raise();
        top->activateWindow();
        if (w != top) {
            // A child frame inside the main window: make it the active one there.
            w->raise();
            w->setFocus(Qt::OtherFocusReason);
        }
    });
}

TimerId QtUiBridge::setTimer(WindowHandle window, TimerId id, unsigned intervalMs) {
    TimerId result = 0;
    runOnGuiThread([&] {
        QWidget* w = widgetFromHandle(window);
        if (!w || id == 0)
            return;
        const auto key = qMakePair(w, id);
        QPointer<QTimer> timer = timers_.value(key);
        if (!timer) {
            timer = new QTimer(w);
            QPointer<QWidget> guard(w);
            connect(timer, &QTimer::timeout, this, [this, guard, window, id] {
                if (!guard)
                    return;
                if (timerHandler_) {
                    const auto handler = timerHandler_;
                    handler(window, id);
                }
            });
            timers_.insert(key, timer);
        }
        // Arming an armed timer again restarts it with the new interval.
        timer->start(static_cast<int>(intervalMs));
        result = id;
    });
    return result;
}

bool QtUiBridge::killTimer(WindowHandle window, TimerId id) {
    bool result = false;
    runOnGuiThread([&] {
        QWidget* w = widgetFromHandle(window);
        if (!w)
            return;
        const auto key = qMakePair(w, id);
        QPointer<QTimer> timer = timers_.take(key);
        if (!timer)
            return;
        timer->stop();
        timer->deleteLater();
        result = true;
    });
    return result;
}

bool QtUiBridge::timerArmed(WindowHandle window, TimerId id) const {
    QWidget* w = widgetFromHandle(window);
    if (!w)
        return false;
    QPointer<QTimer> timer = timers_.value(qMakePair(w, id));
    return timer && timer->isActive();
}

void QtUiBridge::setTimerHandler(TimerHandler handler) {
    timerHandler_ = std::move(handler);
}

}  // namespace marrowdale
