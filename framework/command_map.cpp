#include "framework/command_map.h"

namespace marrowdale {

void CommandMap::on(int id, Handler handler) {
    handlers_[id] = std::move(handler);
}

void CommandMap::onRange(int first, int last, RangeHandler handler) {
    if (last < first)
        return;
    ranges_[first] = Range{last, std::move(handler)};
}

void CommandMap::onUpdate(int id, UpdateHandler handler) {
    updates_[id] = UpdateRange{id, std::move(handler)};
}

void CommandMap::onUpdateRange(int first, int last, UpdateHandler handler) {
    if (last < first)
        return;
    updates_[first] = UpdateRange{last, std::move(handler)};
}

void CommandMap::remove(int id) {
    handlers_.erase(id);
    updates_.erase(id);
}

bool CommandMap::handles(int id) const {
    if (handlers_.count(id))
        return true;
    for (const auto& [first, range] : ranges_)
        if (id >= first && id <= range.last)
            return true;
    return false;
}

bool CommandMap::execute(int id) const {
    if (auto it = handlers_.find(id); it != handlers_.end()) {
        if (!it->second)
            return false;
        const Handler handler = it->second;  // the handler may change this map
        handler();
        return true;
    }
    for (const auto& [first, range] : ranges_) {
        if (id >= first && id <= range.last && range.handler) {
            const RangeHandler handler = range.handler;
            handler(id);
            return true;
        }
    }
    return false;
}

bool CommandMap::update(int id, CommandUi& ui) const {
    for (const auto& [first, range] : updates_) {
        if (id >= first && id <= range.last && range.handler) {
            range.handler(id, ui);
            return true;
        }
    }
    return false;
}

bool routeCommand(std::span<CommandTarget* const> chain, int id) {
    for (CommandTarget* t : chain) {
        if (t && t->commandMap().handles(id))
            return t->commandMap().execute(id);
    }
    return false;
}

CommandUi commandState(std::span<CommandTarget* const> chain, int id) {
    CommandUi ui;
    for (CommandTarget* t : chain)
        if (t && t->commandMap().update(id, ui))
            return ui;
    for (CommandTarget* t : chain)
        if (t && t->commandMap().handles(id))
            return ui;
    ui.enabled = false;
    return ui;
}

}  // namespace marrowdale
