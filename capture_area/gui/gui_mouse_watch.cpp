#include "capture_area/gui/gui_mouse_watch.h"

#include <QCoreApplication>
#include <QSocketNotifier>

namespace marrowdale {

GuiMouseWatch* GuiMouseWatch::open(Deliver deliver, QString* error) {
    std::string reason;
    std::unique_ptr<MouseWatch> watch = openX11MouseWatch(&reason);
    if (!watch) {
        if (error)
            *error = QString::fromStdString(reason);
        return nullptr;
    }
    return new GuiMouseWatch(std::move(watch), std::move(deliver));
}

GuiMouseWatch* GuiMouseWatch::fromHandle(HookHandle handle) {
    return static_cast<GuiMouseWatch*>(handle);
}

GuiMouseWatch::GuiMouseWatch(std::unique_ptr<MouseWatch> watch, Deliver deliver)
    : QObject(QCoreApplication::instance()) {
    delivery_ = std::make_unique<WatchDelivery>(
        std::move(watch), [this, deliver = std::move(deliver)](const MouseWatchEvent& event) {
            if (deliver)
                deliver(handle(), event);
        });
    notifier_ = new QSocketNotifier(delivery_->fileDescriptor(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &GuiMouseWatch::onReadable);
}

GuiMouseWatch::~GuiMouseWatch() = default;

void GuiMouseWatch::onReadable() {
    if (!delivery_->dispatch() && delivery_->installed()) {
        // The server ended the recording: nothing more will come from this watch.
        notifier_->setEnabled(false);
    }
}

void GuiMouseWatch::syncAndDispatch() {
    delivery_->syncAndDispatch();
}

void GuiMouseWatch::remove() {
    if (!delivery_->installed()) {
        return;
    }
    delivery_->remove();
    notifier_->setEnabled(false);
    deleteLater();
}

}  // namespace marrowdale
