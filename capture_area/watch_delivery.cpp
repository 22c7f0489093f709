#include "capture_area/watch_delivery.h"

namespace marrowdale {

WatchDelivery::WatchDelivery(std::unique_ptr<MouseWatch> watch, Deliver deliver)
    : watch_(std::move(watch)), deliver_(std::move(deliver)) {}

bool WatchDelivery::deliverFrom(bool sync) {
    if (!installed_ || !watch_) {
        return false;
    }
    const auto sink = [this](const MouseWatchEvent& event) {
        if (installed_ && deliver_) {
            deliver_(event);
        }
    };
    const bool ok = sync ? watch_->syncAndDispatch(sink) : watch_->dispatchPending(sink);
    return ok && installed_;
}

bool WatchDelivery::dispatch() {
    return deliverFrom(false);
}

bool WatchDelivery::syncAndDispatch() {
    return deliverFrom(true);
}

}  // namespace marrowdale
