// The workspace as it is kept in the settings (group "Workspace"): the toolbars and their
// buttons, the user images given to commands, the changed keyboard shortcuts and global keys, the
// main frame's bars and placement. Written when the frame closes and read at start; this file knows
// the stored form only (the toolbar customiser makes and applies the record).
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "shell/shortcut_map.h"
#include "shell/toolbar_layout.h"

class QSettings;

namespace marrowdale {

struct UserToolbarRecord {
    int id = 0;
    QString name;  // cleaned; empty when none was stored (the toolbar gets a default name)
    ButtonList buttons;
};

struct Workspace {
    // Absent when the standard toolbar was never stored (it keeps its default buttons).
    std::optional<ButtonList> standardButtons;
    std::vector<UserToolbarRecord> userToolbars;
    std::map<int, int> commandImages;  // command id -> user image index
    ShortcutTable shortcuts;           // the commands whose keys differ from the defaults
    ShortcutTable globalShortcuts;     // the global keys that differ from theirs (empty: none)
    QByteArray frameState;
    QByteArray frameGeometry;
};

// What reading accepts: commands that can be on a toolbar or have a user image, and commands
// that can have shortcuts.
struct WorkspaceRules {
    std::function<bool(int)> toolbarCommand;
    std::function<bool(int)> keyboardCommand;
    std::function<bool(int)> globalCommand;
};

// The version the frame's bar state is saved with.
inline constexpr int kWorkspaceStateVersion = 1;

// Replaces the stored workspace with `workspace` and writes it out.
void writeWorkspace(QSettings& settings, const Workspace& workspace);
// The stored workspace; what is malformed or unknown is left out (user toolbar ids outside
// 59432..59441 or given twice, unknown commands, negative image indexes).
Workspace readWorkspace(QSettings& settings, const WorkspaceRules& rules);

}  // namespace marrowdale
