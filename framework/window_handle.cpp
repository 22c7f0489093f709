#include "framework/window_handle.h"

#include <QHash>
#include <QPointer>
#include <mutex>

namespace marrowdale {

namespace {
// The widgets handed out as handles. A destroyed widget's entry reads as null; entries are
// pruned when a new widget is handed out, so the table holds about as many entries as there
// are live windows with a handle.
struct HandedOut {
    std::mutex mutex;
    QHash<WindowHandle, QPointer<QWidget>> table;
};
HandedOut& handedOut() {
    static HandedOut handed;
    return handed;
}
}  // namespace

WindowHandle toWindowHandle(QWidget* w) {
    if (w == nullptr)
        return nullptr;
    const auto handle = static_cast<WindowHandle>(w);
    HandedOut& handed = handedOut();
    std::lock_guard lock(handed.mutex);
    auto& table = handed.table;
    const auto found = table.constFind(handle);
    if (found == table.constEnd() || found.value() != w) {
        table.removeIf([](const auto& entry) { return entry.value().isNull(); });
        table.insert(handle, QPointer<QWidget>(w));
    }
    return handle;
}

QWidget* widgetFromHandle(WindowHandle handle) {
    if (handle == nullptr)
        return nullptr;
    HandedOut& handed = handedOut();
    std::lock_guard lock(handed.mutex);
    return handed.table.value(handle).data();
}

}  // namespace marrowdale
