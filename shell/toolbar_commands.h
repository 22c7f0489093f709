// The commands that can be put on a toolbar, as the customisation offers them, and the drag
// payload that carries one (a button dragged off a toolbar, or a command of the dialog's list).
#pragma once

#include <QString>
#include <span>
#include <vector>

class QMimeData;

namespace marrowdale {

// A command that can be put on a toolbar, with its category (the menu it is in, or "Toolbar
// buttons" for those only on the toolbar) and its name (the menu text without mnemonic marks
// and accelerator text, or its prompt).
struct CommandEntry {
    int id;
    QString category;
    QString name;
};
std::vector<CommandEntry> customizableCommands();
bool isCustomizableCommand(int id);
QString commandName(int id);

// The basic commands of the menus: the ones they always show, in their order.
std::span<const int> basicCommands();

// The drag payload of a toolbar button or of a command of the dialog's list.
inline constexpr const char* kButtonMimeType = "application/x-marrowdale-toolbar-button";

// Encodes and decodes the drag payload: a command, and the toolbar and position it comes from
// (0 and -1 for a command from the dialog's list).
struct ButtonDrag {
    int commandId = 0;
    int fromToolbar = 0;
    int fromIndex = -1;
};
QMimeData* makeButtonMime(const ButtonDrag& drag);
bool readButtonMime(const QMimeData* mime, ButtonDrag& drag);

}  // namespace marrowdale
