#include "capture_area/gui/gui_mouse_watch.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>

#include "capture_area/gui/selection_overlay.h"

namespace marrowdale {

bool GuiMouseWatch::usesOverlay() {
    return QGuiApplication::platformName().startsWith(QStringLiteral("wayland"));
}

GuiMouseWatch* GuiMouseWatch::open(const Opener& openWatch, Deliver deliver, QString* error,
                                   Cancel cancel) {
    if (usesOverlay()) {
        if (QGuiApplication::screens().isEmpty()) {
            if (error)
                *error = QStringLiteral("no screen to select on");
            return nullptr;
        }
        return new GuiMouseWatch(std::move(deliver), std::move(cancel));
    }
    std::string reason = "no desktop-wide mouse watch in this program";
    std::unique_ptr<MouseWatch> watch = openWatch ? openWatch(&reason) : nullptr;
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

GuiMouseWatch::GuiMouseWatch(Deliver deliver, Cancel cancel)
    : QObject(QCoreApplication::instance()),
      deliver_(std::move(deliver)),
      cancel_(std::move(cancel)),
      overlayInstalled_(true) {
    SelectionOverlay::Callbacks callbacks;
    callbacks.press = [this](const QPoint& point) { onOverlayPress(point); };
    callbacks.cancel = [this] {
        if (overlayInstalled_ && cancel_)
            cancel_(handle());
    };
    for (QScreen* screen : QGuiApplication::screens()) {
        auto* overlay = new SelectionOverlay(screen, callbacks);
        overlays_.emplace_back(overlay);
        overlay->showFullScreen();
    }
    if (!overlays_.empty() && overlays_.front()) {
        overlays_.front()->raise();
        overlays_.front()->activateWindow();
    }
}

GuiMouseWatch::~GuiMouseWatch() {
    for (const QPointer<SelectionOverlay>& overlay : overlays_) {
        if (overlay)
            overlay->close();
    }
}

std::vector<SelectionOverlay*> GuiMouseWatch::overlays() const {
    std::vector<SelectionOverlay*> out;
    for (const QPointer<SelectionOverlay>& overlay : overlays_) {
        if (overlay)
            out.push_back(overlay.data());
    }
    return out;
}

void GuiMouseWatch::onOverlayPress(const QPoint& desktopPoint) {
    if (!overlayInstalled_)
        return;
    if (deliver_)
        deliver_(handle(),
                 MouseWatchEvent{kMouseMessageLeftDown, {desktopPoint.x(), desktopPoint.y()}});
    // Still installed: that press was the first corner.
    if (overlayInstalled_) {
        for (SelectionOverlay* overlay : overlays())
            overlay->setAnchor(desktopPoint);
    }
}

void GuiMouseWatch::onReadable() {
    if (!delivery_->dispatch() && delivery_->installed()) {
        // The server ended the recording: nothing more will come from this watch.
        notifier_->setEnabled(false);
    }
}

void GuiMouseWatch::syncAndDispatch() {
    if (delivery_)
        delivery_->syncAndDispatch();
}

void GuiMouseWatch::remove() {
    if (!delivery_) {
        if (!overlayInstalled_)
            return;
        overlayInstalled_ = false;
        for (SelectionOverlay* overlay : overlays())
            overlay->close();
        deleteLater();
        return;
    }
    if (!delivery_->installed()) {
        return;
    }
    delivery_->remove();
    notifier_->setEnabled(false);
    deleteLater();
}

}  // namespace marrowdale
