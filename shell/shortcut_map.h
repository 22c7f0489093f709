// The keyboard shortcuts of the commands: each command that can have them (those of the menus
// and the toolbar, and those of the accelerator table) starts with the keys its action has when
// the map is made, and keys given to one command are taken from the one that had them. The keys
// live in the commands' actions, so menus, toolbars and the accelerators follow at once.
//
// GUI thread only.
#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>
#include <functional>
#include <map>
#include <vector>

class QAction;

namespace marrowdale {

using ShortcutTable = std::map<int, QList<QKeySequence>>;

class ShortcutMap {
  public:
    // The action of a command (made on first use, never null).
    using ActionOf = std::function<QAction*(int commandId)>;

    // `commands` are the commands that can have shortcuts; the keys their actions have now are
    // their defaults.
    ShortcutMap(ActionOf actionOf, const std::vector<int>& commands);

    std::vector<int> keyboardCommands() const;
    bool hasCommand(int commandId) const { return defaults_.count(commandId) != 0; }
    QList<QKeySequence> shortcuts(int commandId) const;
    // The command that `keys` runs now, 0 when none.
    int commandOfShortcut(const QKeySequence& keys) const;
    // Gives `keys` to `commandId`, taking them from the command that had them. False for a
    // command without shortcuts, empty keys, or keys the command has already.
    bool assignShortcut(int commandId, const QKeySequence& keys);
    bool removeShortcut(int commandId, const QKeySequence& keys);
    // Every command back to its default keys.
    void resetShortcuts();

    // The commands whose keys differ from their defaults, with their keys now.
    ShortcutTable changed() const;
    // Stored keys replace the defaults, command by command; keys given to two commands stay
    // with the first. Commands the map does not know are left out.
    void apply(const ShortcutTable& stored);

  private:
    ActionOf actionOf_;
    ShortcutTable defaults_;
};

// A stored shortcut list: "id=keys|keys;id=" for the commands whose keys differ from
// `defaults`, in portable text, percent-encoded.
QString formatShortcuts(const ShortcutTable& now, const ShortcutTable& defaults);
// Reads what formatShortcuts wrote; unknown ids and malformed entries are dropped.
ShortcutTable parseShortcuts(const QString& text, const std::function<bool(int)>& known);

}  // namespace marrowdale
