// The area selection's mouse watch in the desktop program: an X11 watch whose presses are
// delivered on the GUI thread through a socket notifier. The object itself is the handle
// recorded in RecorderState::mouseHook.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "capture_area/watch_delivery.h"
#include "recorder/state.h"

class QSocketNotifier;

namespace marrowdale {

class GuiMouseWatch final : public QObject {
    Q_OBJECT
  public:
    // Receives each event with the handle of the watch that saw it.
    using Deliver = std::function<void(HookHandle watch, const MouseWatchEvent& event)>;

    // GUI thread. Opens a watch whose events go to `deliver`; null (and the reason in `error`)
    // when it cannot be opened. The watch belongs to the application object until removed.
    static GuiMouseWatch* open(Deliver deliver, QString* error);

    // The watch behind a handle made by handle(); null for a null handle.
    static GuiMouseWatch* fromHandle(HookHandle handle);
    HookHandle handle() { return static_cast<HookHandle>(this); }

    // Stops the delivery at once and releases the watch once control is back in the event
    // loop (safe from inside the watch's own delivery).
    void remove();

    // Delivers every press the server processed before this call.
    void syncAndDispatch();

    ~GuiMouseWatch() override;

  private:
    GuiMouseWatch(std::unique_ptr<MouseWatch> watch, Deliver deliver);
    void onReadable();

    std::unique_ptr<WatchDelivery> delivery_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace marrowdale
