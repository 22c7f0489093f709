#include "shell/shortcut_map.h"

#include <QAction>
#include <QByteArray>
#include <QStringList>

namespace marrowdale {

ShortcutMap::ShortcutMap(ActionOf actionOf, const std::vector<int>& commands)
    : actionOf_(std::move(actionOf)) {
    for (int id : commands)
        defaults_[id] = actionOf_(id)->shortcuts();
}

std::vector<int> ShortcutMap::keyboardCommands() const {
    std::vector<int> ids;
    for (const auto& [id, keys] : defaults_)
        ids.push_back(id);
    return ids;
}

QList<QKeySequence> ShortcutMap::shortcuts(int commandId) const {
    if (!hasCommand(commandId))
        return {};
    return actionOf_(commandId)->shortcuts();
}

int ShortcutMap::commandOfShortcut(const QKeySequence& keys) const {
    if (keys.isEmpty())
        return 0;
    for (const auto& [id, defaults] : defaults_)
        if (actionOf_(id)->shortcuts().contains(keys))
            return id;
    return 0;
}

bool ShortcutMap::assignShortcut(int commandId, const QKeySequence& keys) {
    if (keys.isEmpty() || !hasCommand(commandId))
        return false;
    QAction* action = actionOf_(commandId);
    QList<QKeySequence> list = action->shortcuts();
    if (list.contains(keys))
        return false;
    if (const int holder = commandOfShortcut(keys))
        removeShortcut(holder, keys);
    list << keys;
    action->setShortcuts(list);
    return true;
}

bool ShortcutMap::removeShortcut(int commandId, const QKeySequence& keys) {
    if (!hasCommand(commandId))
        return false;
    QAction* action = actionOf_(commandId);
    QList<QKeySequence> list = action->shortcuts();
    if (list.removeAll(keys) == 0)
        return false;
    action->setShortcuts(list);
    return true;
}

void ShortcutMap::resetShortcuts() {
    for (const auto& [id, keys] : defaults_)
        actionOf_(id)->setShortcuts(keys);
}

ShortcutTable ShortcutMap::changed() const {
    ShortcutTable out;
    for (const auto& [id, defaults] : defaults_) {
        const QList<QKeySequence> keys = actionOf_(id)->shortcuts();
        if (keys != defaults)
            out[id] = keys;
    }
    return out;
}

void ShortcutMap::apply(const ShortcutTable& stored) {
    for (const auto& [id, keys] : stored)
        if (hasCommand(id))
            actionOf_(id)->setShortcuts(QList<QKeySequence>{});
    for (const auto& [id, keys] : stored) {
        if (!hasCommand(id))
            continue;
        for (const QKeySequence& k : keys)
            if (commandOfShortcut(k) == 0)
                actionOf_(id)->setShortcuts(actionOf_(id)->shortcuts() << k);
    }
}

QString formatShortcuts(const ShortcutTable& now, const ShortcutTable& defaults) {
    QStringList entries;
    for (const auto& [id, keys] : now) {
        const auto d = defaults.find(id);
        if (d != defaults.end() && d->second == keys)
            continue;
        QStringList texts;
        // Percent-encoded, so that keys such as Ctrl+; cannot be taken for separators.
        for (const QKeySequence& k : keys)
            texts << QString::fromLatin1(
                k.toString(QKeySequence::PortableText).toUtf8().toPercentEncoding(" +,"));
        entries << QStringLiteral("%1=%2").arg(id).arg(texts.join(QLatin1Char('|')));
    }
    return entries.join(QLatin1Char(';'));
}

ShortcutTable parseShortcuts(const QString& text, const std::function<bool(int)>& known) {
    ShortcutTable result;
    for (const QString& entry : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const qsizetype eq = entry.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        bool ok = false;
        const int id = entry.left(eq).trimmed().toInt(&ok);
        if (!ok || !known(id) || result.count(id))
            continue;
        QList<QKeySequence> keys;
        bool valid = true;
        for (const QString& part : entry.mid(eq + 1).split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
            const QKeySequence k = QKeySequence::fromString(
                QString::fromUtf8(QByteArray::fromPercentEncoding(part.toLatin1())),
                QKeySequence::PortableText);
            if (k.isEmpty() || k[0].key() == Qt::Key_unknown) {
                valid = false;
                break;
            }
            if (!keys.contains(k))
                keys << k;
        }
        if (valid)
            result[id] = keys;
    }
    return result;
}

}  // namespace marrowdale
