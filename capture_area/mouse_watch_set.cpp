#include "capture_area/mouse_watch_set.h"

#include <algorithm>

namespace marrowdale {

MouseWatchSet::MouseWatchSet(Factory factory, Deliver deliver)
    : factory_(std::move(factory)), deliver_(std::move(deliver)) {}

MouseWatchSet::~MouseWatchSet() = default;

HookHandle MouseWatchSet::install(int* fd) {
    std::string error;
    std::unique_ptr<MouseWatch> watch = factory_ ? factory_(&error) : nullptr;
    if (!watch) {
        lastError_ = error.empty() ? "the mouse watch could not be opened" : error;
        return nullptr;
    }
    auto entry = std::make_unique<Entry>();
    entry->id = nextId_++;
    entry->watch = std::move(watch);
    if (fd != nullptr) {
        *fd = entry->watch->fileDescriptor();
    }
    const auto handle = reinterpret_cast<HookHandle>(entry->id);
    entries_.push_back(std::move(entry));
    return handle;
}

MouseWatchSet::Entry* MouseWatchSet::find(HookHandle handle) {
    const auto id = reinterpret_cast<std::uintptr_t>(handle);
    for (const auto& entry : entries_) {
        if (entry->id == id && entry->installed) {
            return entry.get();
        }
    }
    return nullptr;
}

void MouseWatchSet::remove(HookHandle handle) {
    if (Entry* entry = find(handle)) {
        entry->installed = false;
    }
    releaseRemoved();
}

bool MouseWatchSet::deliverFrom(Entry& entry, bool sync) {
    ++delivering_;
    const auto sink = [this, &entry](const MouseWatchEvent& event) {
        if (entry.installed && deliver_) {
            deliver_(event);
        }
    };
    const bool ok = sync ? entry.watch->syncAndDispatch(sink) : entry.watch->dispatchPending(sink);
    --delivering_;
    return ok;
}

bool MouseWatchSet::dispatch(HookHandle handle) {
    Entry* entry = find(handle);
    if (entry == nullptr) {
        return false;
    }
    const bool ok = deliverFrom(*entry, false);
    const bool stillInstalled = entry->installed;
    releaseRemoved();
    return ok && stillInstalled;
}

void MouseWatchSet::syncAndDispatch() {
    // Entries may be removed (never added) while delivering; the loop runs over a count fixed
    // before it and the entries stay in place until releaseRemoved().
    const std::size_t count = entries_.size();
    for (std::size_t i = 0; i < count; ++i) {
        Entry& entry = *entries_[i];
        if (entry.installed) {
            deliverFrom(entry, true);
        }
    }
    releaseRemoved();
}

std::size_t MouseWatchSet::installedCount() const {
    return static_cast<std::size_t>(std::count_if(
        entries_.begin(), entries_.end(), [](const auto& entry) { return entry->installed; }));
}

void MouseWatchSet::releaseRemoved() {
    if (delivering_ != 0) {
        return;
    }
    std::erase_if(entries_, [](const auto& entry) { return !entry->installed; });
}

}  // namespace marrowdale
