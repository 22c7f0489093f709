#include "framework/background_work.h"

#include <QEventLoop>
#include <QMetaObject>
#include <atomic>
#include <thread>

namespace marrowdale {

void runWhileServing(const BackgroundWork& background) {
    QEventLoop loop;
    std::atomic<bool> notifyPending{false};
    std::atomic<bool> done{false};

    // Calls queued to `loop` are dropped with it, so none runs after this function returns.
    const NotifyGui notify = [&] {
        if (notifyPending.exchange(true))
            return;
        QMetaObject::invokeMethod(
            &loop,
            [&] {
                notifyPending = false;
                if (background.onNotify && !done.load())
                    background.onNotify();
            },
            Qt::QueuedConnection);
    };
    std::thread thread([&] {
        if (background.work)
            background.work(notify);
        done = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    if (!done.load())
        loop.exec();
    if (!done.load() && background.onAbandoned)
        background.onAbandoned();
    thread.join();
}

}  // namespace marrowdale
