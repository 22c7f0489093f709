#include "shell/toolbar_layout.h"

#include <QStringList>
#include <algorithm>
#include <set>

namespace marrowdale {

namespace {

int sizeOf(const ButtonList& list) {
    return static_cast<int>(list.size());
}

}  // namespace

int freeUserToolbarId(const std::vector<int>& used) {
    for (int id = kFirstUserToolbarId; id <= kLastUserToolbarId; ++id)
        if (std::find(used.begin(), used.end(), id) == used.end())
            return id;
    return 0;
}

QString defaultUserToolbarName(const std::vector<QString>& existing) {
    for (int n = 1;; ++n) {
        const QString name = QStringLiteral("Custom %1").arg(n);
        if (std::find(existing.begin(), existing.end(), name) == existing.end())
            return name;
    }
}

QString cleanToolbarName(const QString& name) {
    QString s = name;
    s.replace(QLatin1Char('\n'), QLatin1Char(' '));
    s.replace(QLatin1Char('\r'), QLatin1Char(' '));
    s.replace(QLatin1Char('\t'), QLatin1Char(' '));
    s = s.trimmed();
    if (s.size() > kMaxToolbarNameLength)
        s = s.left(kMaxToolbarNameLength).trimmed();
    return s;
}

ButtonList parseButtonList(const QString& text, const std::function<bool(int)>& known) {
    ButtonList out;
    std::set<int> seen;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (sizeOf(out) >= kMaxToolbarButtons)
            break;
        bool ok = false;
        const int id = part.trimmed().toInt(&ok);
        if (!ok)
            continue;
        if (id == 0) {
            if (!out.empty() && out.back() != 0)
                out.push_back(0);
            continue;
        }
        if (!known || !known(id) || !seen.insert(id).second)
            continue;
        out.push_back(id);
    }
    while (!out.empty() && out.back() == 0)
        out.pop_back();
    return out;
}

QString formatButtonList(const ButtonList& buttons) {
    QStringList parts;
    for (int id : buttons)
        parts << QString::number(id);
    return parts.join(QLatin1Char(','));
}

bool moveButton(ButtonList& from, int fromIndex, ButtonList& to, int toIndex) {
    if (fromIndex < 0 || fromIndex >= sizeOf(from))
        return false;
    if (toIndex < 0 || toIndex > sizeOf(to))
        return false;
    const int id = from[static_cast<std::size_t>(fromIndex)];
    if (&from == &to) {
        if (toIndex > fromIndex)
            --toIndex;
        from.erase(from.begin() + fromIndex);
        from.insert(from.begin() + toIndex, id);
        return true;
    }
    from.erase(from.begin() + fromIndex);
    to.insert(to.begin() + toIndex, id);
    return true;
}

const ButtonList& ToolbarLayout::buttons(int toolbarId) const {
    static const ButtonList none;
    const auto it = lists_.find(toolbarId);
    return it == lists_.end() ? none : it->second;
}

bool ToolbarLayout::insertCommand(int toolbarId, int index, int commandId) {
    const auto it = lists_.find(toolbarId);
    if (it == lists_.end())
        return false;
    ButtonList& list = it->second;
    index = std::clamp(index, 0, sizeOf(list));
    const auto present = std::find(list.begin(), list.end(), commandId);
    if (present != list.end())
        return moveButton(list, static_cast<int>(present - list.begin()), list, index);
    if (sizeOf(list) >= kMaxToolbarButtons)
        return false;
    list.insert(list.begin() + index, commandId);
    return true;
}

bool ToolbarLayout::insertSeparator(int toolbarId, int index) {
    const auto it = lists_.find(toolbarId);
    if (it == lists_.end() || sizeOf(it->second) >= kMaxToolbarButtons)
        return false;
    ButtonList& list = it->second;
    index = std::clamp(index, 0, sizeOf(list));
    list.insert(list.begin() + index, 0);
    return true;
}

bool ToolbarLayout::removeAt(int toolbarId, int index) {
    const auto it = lists_.find(toolbarId);
    if (it == lists_.end() || index < 0 || index >= sizeOf(it->second))
        return false;
    it->second.erase(it->second.begin() + index);
    return true;
}

bool ToolbarLayout::move(int fromToolbar, int fromIndex, int toToolbar, int toIndex) {
    const auto fromIt = lists_.find(fromToolbar);
    const auto toIt = lists_.find(toToolbar);
    if (fromIt == lists_.end() || toIt == lists_.end())
        return false;
    ButtonList& from = fromIt->second;
    ButtonList& to = toIt->second;
    if (fromIndex < 0 || fromIndex >= sizeOf(from))
        return false;
    const int id = from[static_cast<std::size_t>(fromIndex)];
    if (&from != &to && id != 0) {
        // A command already on the target toolbar moves there instead of appearing twice (and
        // then the target has room for it).
        const auto present = std::find(to.begin(), to.end(), id);
        if (present != to.end()) {
            if (toIndex > static_cast<int>(present - to.begin()))
                --toIndex;
            to.erase(present);
        } else if (sizeOf(to) >= kMaxToolbarButtons) {
            return false;
        }
    }
    toIndex = std::clamp(toIndex, 0, sizeOf(to));
    return moveButton(from, fromIndex, to, toIndex);
}

bool ToolbarLayout::insertAtDefaultPlace(int toolbarId, int commandId, const ButtonList& defaults) {
    const ButtonList& list = buttons(toolbarId);
    if (std::find(list.begin(), list.end(), commandId) != list.end())
        return false;
    int index = sizeOf(list);
    const auto def = std::find(defaults.begin(), defaults.end(), commandId);
    if (def != defaults.end()) {
        for (auto later = def + 1; later != defaults.end(); ++later) {
            if (*later == 0)
                continue;
            const auto found = std::find(list.begin(), list.end(), *later);
            if (found != list.end()) {
                index = static_cast<int>(found - list.begin());
                break;
            }
        }
    }
    return insertCommand(toolbarId, index, commandId);
}

}  // namespace marrowdale
