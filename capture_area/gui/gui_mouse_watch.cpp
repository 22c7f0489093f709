#include "capture_area/gui/gui_mouse_watch.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>

#include "capture_area/gui/outline_overlay.h"
#include "capture_area/gui/selection_overlay.h"

namespace marrowdale {

bool GuiMouseWatch::usesOverlay() {
    return QGuiApplication::platformName().startsWith(QStringLiteral("wayland"));
}

namespace {
constexpr int kEscapeKey = 0;
}  // namespace

GuiMouseWatch* GuiMouseWatch::open(const Opener& openWatch, Deliver deliver, QString* error,
                                   Cancel cancel, const KeysOpener& openKeys) {
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
    return new GuiMouseWatch(std::move(watch), std::move(deliver), std::move(cancel), openKeys);
}

GuiMouseWatch* GuiMouseWatch::fromHandle(HookHandle handle) {
    return static_cast<GuiMouseWatch*>(handle);
}

GuiMouseWatch::GuiMouseWatch(std::unique_ptr<MouseWatch> watch, Deliver deliver, Cancel cancel,
                             const KeysOpener& openKeys)
    : QObject(QCoreApplication::instance()), cancel_(std::move(cancel)) {
    delivery_ = std::make_unique<WatchDelivery>(
        std::move(watch), [this, deliver = std::move(deliver)](const MouseWatchEvent& event) {
            onWatchedEvent(deliver, event);
        });
    notifier_ = new QSocketNotifier(delivery_->fileDescriptor(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &GuiMouseWatch::onReadable);
    // Escape, from whichever window has the focus, for the length of the selection.
    if (cancel_ && openKeys) {
        keys_ = openKeys(nullptr);
        if (keys_ && keys_->grab(kEscapeKey, KeyChord{0, "Esc"}) == KeyGrabResult::kGrabbed) {
            keysNotifier_ =
                new QSocketNotifier(keys_->fileDescriptor(), QSocketNotifier::Read, this);
            connect(keysNotifier_, &QSocketNotifier::activated, this,
                    &GuiMouseWatch::onKeysReadable);
        } else {
            keys_.reset();
        }
    }
}

void GuiMouseWatch::onWatchedEvent(const Deliver& deliver, const MouseWatchEvent& event) {
    if (deliver)
        deliver(handle(), event);
    // Still installed after a left press: that press was the first corner. The outline
    // follows the pointer from there.
    if (event.message == kMouseMessageLeftDown && delivery_->installed() && !outline_) {
        outline_ = new OutlineOverlay(QPoint(event.point.x, event.point.y));
        outline_->show();
    }
}

void GuiMouseWatch::onKeysReadable() {
    if (!keys_)
        return;
    bool escape = false;
    if (!keys_->dispatchPending([&escape](int id) { escape = escape || id == kEscapeKey; }))
        keysNotifier_->setEnabled(false);
    if (escape && delivery_ && delivery_->installed() && cancel_)
        cancel_(handle());
}

OutlineOverlay* GuiMouseWatch::outline() const {
    return outline_.data();
}

bool GuiMouseWatch::escapeCancels() const {
    return keys_ != nullptr || overlayInstalled_;
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
    if (outline_)
        outline_->close();
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
    // The outline goes at once; Escape is given back to the desktop.
    if (outline_)
        outline_->close();
    if (keys_) {
        keysNotifier_->setEnabled(false);
        keys_->release(kEscapeKey);
    }
    deleteLater();
}

}  // namespace marrowdale
