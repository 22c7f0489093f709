#include "tools/close_others_filter.h"

namespace marrowdale {

WindowSnapshot::WindowSnapshot(std::vector<WindowRecord> records) : records_(std::move(records)) {
    index_.reserve(records_.size());
    for (std::size_t i = 0; i < records_.size(); ++i) {
        index_.emplace(records_[i].id, i);  // the first record of an id wins
    }
}

const WindowRecord* WindowSnapshot::find(WindowId id) const {
    const auto it = index_.find(id);
    return it == index_.end() ? nullptr : &records_[it->second];
}

std::string leadingCharacters(std::string_view utf8, std::size_t count) {
    const std::size_t nul = utf8.find('\0');
    if (nul != std::string_view::npos) {
        utf8 = utf8.substr(0, nul);
    }
    std::size_t chars = 0;
    std::size_t end = 0;
    for (; end < utf8.size(); ++end) {
        const auto byte = static_cast<unsigned char>(utf8[end]);
        const bool startsCharacter = (byte & 0xC0u) != 0x80u;
        if (startsCharacter) {
            if (chars == count) {
                break;
            }
            ++chars;
        }
    }
    return std::string(utf8.substr(0, end));
}

namespace {

// The top of the owner chain: the window itself when it has no owner. Nothing when the chain
// loops back on itself.
std::optional<WindowId> rootOwner(const WindowRecord& window, const WindowSnapshot& all) {
    WindowId current = window.id;
    WindowId owner = window.owner;
    for (std::size_t steps = 0; steps <= all.records().size(); ++steps) {
        if (owner == 0) {
            return current;
        }
        current = owner;
        const WindowRecord* record = all.find(current);
        if (record == nullptr) {
            return current;  // owned by a window outside the list (the root window, say)
        }
        owner = record->owner;
    }
    return std::nullopt;
}

WindowId lastActivePopup(WindowId id, const WindowSnapshot& all) {
    const WindowRecord* record = all.find(id);
    if (record == nullptr || record->lastActivePopup == 0) {
        return id;
    }
    return record->lastActivePopup;
}

bool isVisible(WindowId id, const WindowSnapshot& all) {
    const WindowRecord* record = all.find(id);
    return record != nullptr && record->visible;
}

// Walks from the root owner along the last active pop-ups until one is visible; the window
// passes when the walk stops at itself. An owned window never passes (its root owner is
// examined in its own turn); an unowned one passes when its last active pop-up is visible.
bool passesOwnerChain(const WindowRecord& window, const WindowSnapshot& all) {
    const std::optional<WindowId> root = rootOwner(window, all);
    if (!root) {
        return false;
    }
    WindowId walk = 0;
    WindowId next = *root;
    std::size_t steps = 0;
    while (next != walk) {
        if (++steps > all.records().size() + 1) {
            return false;  // the pop-ups point at each other in a ring
        }
        walk = next;
        next = lastActivePopup(walk, all);
        if (isVisible(next, all)) {
            break;
        }
    }
    return walk == window.id;
}

}  // namespace

std::optional<std::string> CloseOtherWindowsEnumProc(const WindowRecord& window,
                                                     const WindowSnapshot& all) {
    if (window.id == 0 || !window.visible) {
        return std::nullopt;
    }
    if (!passesOwnerChain(window, all)) {
        return std::nullopt;
    }
    if (window.titleBarInvisible) {
        return std::nullopt;
    }
    if (window.minimised) {
        return std::nullopt;
    }
    if (!window.placementReadable) {
        return std::nullopt;
    }
    if (window.clientHeight <= kCloseOthersMinClientHeight) {
        return std::nullopt;
    }
    if (window.showState != ShowState::Normal) {
        return std::nullopt;
    }
    std::string title = leadingCharacters(window.title, kCloseOthersTitleMaxChars);
    const std::string prefix = leadingCharacters(window.title, kCloseOthersSparedPrefix.size());
    if (prefix.empty() || prefix == kCloseOthersSparedPrefix) {
        return std::nullopt;
    }
    return title;
}

}  // namespace marrowdale
