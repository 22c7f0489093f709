// The area selection's mouse watch in the desktop program. On X11, a desktop-wide watch whose
// presses are delivered on the GUI thread through a socket notifier; once the first corner is
// taken, an outline that lets every press through follows the pointer (OutlineOverlay), and
// Escape, grabbed from the whole desktop for the length of the selection, cancels. On a Wayland
// desktop, where
// no program sees the presses on other programs' windows, a transparent overlay of our own over
// every screen takes them (SelectionOverlay), and Escape there cancels the selection. The object
// itself is the handle recorded in RecorderState::mouseHook.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "capture_area/watch_delivery.h"
#include "platform/global_keys.h"
#include "recorder/state.h"

class QSocketNotifier;

namespace marrowdale {

class OutlineOverlay;
class SelectionOverlay;

class GuiMouseWatch final : public QObject {
    Q_OBJECT
  public:
    // Receives each event with the handle of the watch that saw it.
    using Deliver = std::function<void(HookHandle watch, const MouseWatchEvent& event)>;
    // Escape on the overlay, with the handle of the watch.
    using Cancel = std::function<void(HookHandle watch)>;
    // Opens the desktop-wide watch (the program's platform services); null and the reason in
    // `error` when it cannot.
    using Opener = std::function<std::unique_ptr<MouseWatch>(std::string* error)>;
    // Opens the desktop-wide keys, for Escape (the program's platform services).
    using KeysOpener = std::function<std::unique_ptr<GlobalKeys>(std::string* error)>;

    // GUI thread. Opens a watch whose events go to `deliver`; null (and the reason in `error`)
    // when it cannot be opened. The watch belongs to the application object until removed.
    // On a Wayland desktop it is the overlay, and `cancel` runs on Escape; elsewhere `openWatch`
    // gives the desktop-wide watch (an empty opener: none can be opened), and `cancel` runs on
    // Escape when `openKeys` can grab it (the selection goes on without it otherwise).
    static GuiMouseWatch* open(const Opener& openWatch, Deliver deliver, QString* error,
                               Cancel cancel = {}, const KeysOpener& openKeys = {});

    // Whether this program takes the corners on an overlay (it runs on a Wayland desktop).
    static bool usesOverlay();

    // The watch behind a handle made by handle(); null for a null handle.
    static GuiMouseWatch* fromHandle(HookHandle handle);
    HookHandle handle() { return static_cast<HookHandle>(this); }

    // Stops the delivery at once and releases the watch once control is back in the event
    // loop (safe from inside the watch's own delivery).
    void remove();

    // Delivers every press the server processed before this call.
    void syncAndDispatch();

    ~GuiMouseWatch() override;

    // The overlay windows, one a screen (empty on X11).
    std::vector<SelectionOverlay*> overlays() const;
    // The outline that follows the pointer once the first corner is taken (X11; null before
    // and after).
    OutlineOverlay* outline() const;
    // Whether Escape cancels this selection (on X11: it could be grabbed).
    bool escapeCancels() const;

  private:
    GuiMouseWatch(std::unique_ptr<MouseWatch> watch, Deliver deliver, Cancel cancel,
                  const KeysOpener& openKeys);
    GuiMouseWatch(Deliver deliver, Cancel cancel);
    void onReadable();
    void onOverlayPress(const QPoint& desktopPoint);
    void onWatchedEvent(const Deliver& deliver, const MouseWatchEvent& event);
    void onKeysReadable();

    std::unique_ptr<WatchDelivery> delivery_;
    QSocketNotifier* notifier_ = nullptr;

    Deliver deliver_;
    Cancel cancel_;
    bool overlayInstalled_ = false;
    std::vector<QPointer<SelectionOverlay>> overlays_;

    QPointer<OutlineOverlay> outline_;
    std::unique_ptr<GlobalKeys> keys_;
    QSocketNotifier* keysNotifier_ = nullptr;
};

}  // namespace marrowdale
