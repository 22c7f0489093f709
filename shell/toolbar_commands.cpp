#include "shell/toolbar_commands.h"

#include <QMimeData>
#include <QStringList>
#include <algorithm>
#include <array>
#include <set>

#include "resources/resources.h"

namespace marrowdale {

namespace {

constexpr std::array<int, 18> kBasicCommands = {res::ID_FILE_NEW,
                                                res::ID_FILE_OPEN,
                                                res::ID_FILE_SAVE,
                                                res::ID_FILE_PRINT,
                                                res::ID_APP_EXIT,
                                                res::ID_EDIT_CUT,
                                                res::ID_EDIT_PASTE,
                                                res::ID_EDIT_UNDO,
                                                res::ID_APP_ABOUT,
                                                res::ID_VIEW_STATUS_BAR,
                                                res::ID_VIEW_TOOLBAR,
                                                208,
                                                209,
                                                215,
                                                217,
                                                216,
                                                218,
                                                219};

QString menuTextToName(QString text) {
    const qsizetype tab = text.indexOf('\t');
    if (tab >= 0)
        text.truncate(tab);
    QString out;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') {
                out += '&';
                ++i;
            }
            continue;
        }
        out += text[i];
    }
    return out.trimmed();
}

void collectMenu(const std::vector<res::MenuItem>& items, const QString& category,
                 std::vector<CommandEntry>& out, std::set<int>& seen) {
    for (const res::MenuItem& item : items) {
        if (item.kind == res::MenuItem::Kind::Popup) {
            collectMenu(item.items, category, out, seen);
            continue;
        }
        if (item.kind != res::MenuItem::Kind::Command)
            continue;
        if (item.id == res::ID_FILE_MRU_FILE1 || item.id == res::ID_VIEW_TOOLBAR)
            continue;
        if (!seen.insert(item.id).second)
            continue;
        out.push_back({item.id, category, menuTextToName(item.text)});
    }
}

}  // namespace

std::vector<CommandEntry> customizableCommands() {
    std::vector<CommandEntry> out;
    std::set<int> seen;
    for (const res::MenuItem& popup : res::loadMenu(res::IDR_MarrowdaleTYPE))
        collectMenu(popup.items, menuTextToName(popup.text), out, seen);
    for (int id : res::loadToolbar(res::IDR_MAINFRAME_256)) {
        if (id == 0 || !seen.insert(id).second)
            continue;
        QString name = res::commandPrompt(id);
        if (name.isEmpty())
            name = res::commandTooltip(id);
        out.push_back({id, QStringLiteral("Toolbar buttons"), name});
    }
    return out;
}

bool isCustomizableCommand(int id) {
    const auto all = customizableCommands();
    return std::any_of(all.begin(), all.end(), [id](const CommandEntry& e) { return e.id == id; });
}

QString commandName(int id) {
    for (const CommandEntry& e : customizableCommands())
        if (e.id == id)
            return e.name;
    const QString prompt = res::commandPrompt(id);
    return prompt.isEmpty() ? QStringLiteral("Command %1").arg(id) : prompt;
}

std::span<const int> basicCommands() {
    return kBasicCommands;
}

QMimeData* makeButtonMime(const ButtonDrag& drag) {
    auto* mime = new QMimeData;
    mime->setData(QLatin1String(kButtonMimeType), QStringLiteral("%1 %2 %3")
                                                      .arg(drag.commandId)
                                                      .arg(drag.fromToolbar)
                                                      .arg(drag.fromIndex)
                                                      .toLatin1());
    return mime;
}

bool readButtonMime(const QMimeData* mime, ButtonDrag& drag) {
    if (!mime || !mime->hasFormat(QLatin1String(kButtonMimeType)))
        return false;
    const QStringList parts = QString::fromLatin1(mime->data(QLatin1String(kButtonMimeType)))
                                  .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() != 3)
        return false;
    bool ok1 = false, ok2 = false, ok3 = false;
    ButtonDrag d;
    d.commandId = parts[0].toInt(&ok1);
    d.fromToolbar = parts[1].toInt(&ok2);
    d.fromIndex = parts[2].toInt(&ok3);
    if (!ok1 || !ok2 || !ok3 || !isCustomizableCommand(d.commandId))
        return false;
    drag = d;
    return true;
}

}  // namespace marrowdale
