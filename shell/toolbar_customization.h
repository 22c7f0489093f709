// Toolbar customisation of the main frame: the standard toolbar and up to ten user toolbars
// (59432 to 59441), each with a customise button at its end; the "Customize" dialog (command
// 126) that shows and hides toolbars, makes, renames and deletes user toolbars, adds and removes
// buttons from a list or by dragging, and gives commands a picture of the user image list;
// moving buttons by dragging them with Alt held down; the panes menu ("&Toolbars and Docking
// Windows" and the bars' context menu); and the workspace state (toolbars, their buttons and
// places, button pictures, window placement), written when the frame closes and read at start.
//
// GUI thread only.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <map>
#include <span>
#include <vector>

#include "shell/user_images.h"

class QAction;
class QComboBox;
class QKeySequenceEdit;
class QLabel;
class QListWidget;
class QMenu;
class QMimeData;
class QPushButton;
class QSettings;
class QToolBar;
class QToolButton;
class QWidgetAction;

namespace marrowdale {

class ApplicationLooks;
class CMainFrame;
class CustomizeDialog;

// A toolbar's buttons left to right: command ids, 0 for a separator.
using ButtonList = std::vector<int>;

inline constexpr int kStandardToolbarId = 0xE800;  // the frame's own toolbar
inline constexpr int kFirstUserToolbarId = 59432;
inline constexpr int kLastUserToolbarId = 59441;
inline constexpr int kMaxUserToolbars = kLastUserToolbarId - kFirstUserToolbarId + 1;
inline constexpr int kMaxToolbarButtons = 100;
inline constexpr int kMaxToolbarNameLength = 64;
// The drag payload of a toolbar button or of a command of the dialog's list.
inline constexpr const char* kButtonMimeType = "application/x-marrowdale-toolbar-button";

// The lowest user-toolbar id not in `used`; 0 when all ten are taken.
int freeUserToolbarId(const std::vector<int>& used);
// "Custom N" with the lowest N >= 1 not among `existing`.
QString defaultUserToolbarName(const std::vector<QString>& existing);
// `name` trimmed, line breaks removed and cut to kMaxToolbarNameLength; empty when nothing is
// left.
QString cleanToolbarName(const QString& name);

// A stored button list: comma-separated ids. Ids for which `known` is false, duplicates of a
// command, malformed entries, leading, trailing and doubled separators are dropped; at most
// kMaxToolbarButtons entries are kept.
ButtonList parseButtonList(const QString& text, const std::function<bool(int)>& known);
QString formatButtonList(const ButtonList& buttons);

// Moves entry `fromIndex` of `from` to position `toIndex` of `to` (the position counted in `to`
// before the move; `from` and `to` may be one list). False, with nothing changed, for an index
// out of range.
bool moveButton(ButtonList& from, int fromIndex, ButtonList& to, int toIndex);

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

// Encodes and decodes the drag payload: a command, and the toolbar and position it comes from
// (0 and -1 for a command from the dialog's list).
struct ButtonDrag {
    int commandId = 0;
    int fromToolbar = 0;
    int fromIndex = -1;
};
QMimeData* makeButtonMime(const ButtonDrag& drag);
bool readButtonMime(const QMimeData* mime, ButtonDrag& drag);

class ToolbarCustomizer : public QObject {
    Q_OBJECT
  public:
    // Takes over `frame`'s standard toolbar; `settings` must outlive this object.
    ToolbarCustomizer(CMainFrame& frame, QSettings& settings);
    ~ToolbarCustomizer() override;

    // The toolbars: the standard one first, then the user toolbars by id.
    std::vector<int> toolbarIds() const;
    std::vector<int> userToolbarIds() const;
    QToolBar* toolbar(int toolbarId) const;
    // -1 when `bar` is none of ours.
    int toolbarIdOf(const QToolBar* bar) const;
    QString toolbarName(int toolbarId) const;
    const ButtonList& buttons(int toolbarId) const;
    // The default buttons of a toolbar (toolbar 129 for the standard one, none for a user one).
    ButtonList defaultButtons(int toolbarId) const;
    QToolButton* customizeButton(int toolbarId) const;

    // A new user toolbar with the lowest free id, docked at the top and shown; 0 when all ten
    // exist. An empty name gives "Custom N".
    int createUserToolbar(const QString& name = {});
    bool renameUserToolbar(int toolbarId, const QString& name);
    bool deleteUserToolbar(int toolbarId);
    void setToolbarVisible(int toolbarId, bool visible);
    void resetToolbar(int toolbarId);

    // Puts `commandId` at `index` (clamped to the list) of a toolbar; a command already there is
    // moved instead. False for an unknown toolbar or command or a full toolbar.
    bool insertButton(int toolbarId, int index, int commandId);
    bool insertSeparator(int toolbarId, int index);
    bool removeButton(int toolbarId, int index);
    bool moveButtonTo(int fromToolbar, int fromIndex, int toToolbar, int toIndex);
    // The position a drop at `pos` (toolbar coordinates) lands on.
    int dropIndexAt(int toolbarId, const QPoint& pos) const;

    // The user image list (UserImages.bmp of the current directory, read at start).
    const UserImages& userImages() const { return userImages_; }
    UserImagesResult userImagesResult() const { return userImagesResult_; }
    // Reads the user image list from `path` when none has been read yet.
    UserImagesResult loadUserImages(const QString& path);
    // The picture a button of `commandId` shows now.
    QIcon commandIcon(int commandId) const;
    // The user image shown for `commandId`, -1 for its own picture.
    int commandImage(int commandId) const;
    bool setCommandImage(int commandId, int userImageIndex);

    // Fills `menu` with the panes (a check item per toolbar) and "Customize...".
    void fillPanesMenu(QMenu* menu);
    // The customisation dialog (command 126), modeless; it frees itself when closed.
    void OpenToolbarCustomization();
    CustomizeDialog* customizeDialog() const { return dialog_; }
    // Buttons move by plain dragging (and do not run their commands) while the dialog is open.
    bool customizing() const { return dialog_ != nullptr; }

    // Keyboard shortcuts: the commands that can have them (those of the menus and the toolbar,
    // and those of the accelerator table), each with the accelerator table's keys until changed.
    std::vector<int> keyboardCommands() const;
    QList<QKeySequence> shortcuts(int commandId) const;
    // The command that `keys` runs now, 0 when none.
    int commandOfShortcut(const QKeySequence& keys) const;
    // Gives `keys` to `commandId`, taking them from the command that had them. False for a
    // command without shortcuts, empty keys, or keys the command has already.
    bool assignShortcut(int commandId, const QKeySequence& keys);
    bool removeShortcut(int commandId, const QKeySequence& keys);
    // Every command back to the accelerator table's keys.
    void resetShortcuts();
    // A stored shortcut list: "id=keys|keys;id=" for the commands whose keys differ from
    // `defaults`, in portable text, percent-encoded. Unknown ids and malformed entries are
    // dropped when read.
    static QString formatShortcuts(const std::map<int, QList<QKeySequence>>& now,
                                   const std::map<int, QList<QKeySequence>>& defaults);
    static std::map<int, QList<QKeySequence>> parseShortcuts(const QString& text,
                                                             const std::function<bool(int)>& known);

    void saveWorkspace();
    void restoreWorkspace();

    // Runs a button drag; the program's runs QDrag, tests put their own (the result is the
    // drop action the target took, Qt::IgnoreAction when the button went nowhere).
    std::function<Qt::DropAction(QMimeData* mime, QWidget* source)> runDrag;

  signals:
    void toolbarsChanged();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Bar {
        QPointer<QToolBar> bar;
        ButtonList buttons;
        QToolButton* customize = nullptr;
        QWidgetAction* customizeAction = nullptr;
        std::vector<QAction*> separators;
    };

    Bar* find(int toolbarId);
    const Bar* find(int toolbarId) const;
    Bar& addUserToolbar(int toolbarId, const QString& name);
    void adopt(int toolbarId, Bar& bar);
    void rebuild(int toolbarId);
    void rebuildLater(int toolbarId);
    void fillCustomizeMenu(int toolbarId, QMenu* menu);
    void applyCommandImage(int commandId);
    bool handleButtonMouse(QToolButton* button, QEvent* event);
    bool handleDrop(QToolBar* bar, QEvent* event);
    void showPanesMenu(const QPoint& globalPos);

    CMainFrame& frame_;
    QSettings& settings_;
    std::map<int, Bar> bars_;
    std::map<int, int> commandImages_;
    // Each keyboard command's keys as the accelerator table gives them.
    std::map<int, QList<QKeySequence>> defaultShortcuts_;
    const ButtonList noButtons_;
    UserImages userImages_;
    UserImagesResult userImagesResult_ = UserImagesResult::Missing;
    bool userImagesRead_ = false;
    QPointer<CustomizeDialog> dialog_;
    // A press on a button that may become a drag.
    QPointer<QToolButton> pressedButton_;
    QPoint pressPos_;
};

// The "Customize" dialog.
class CustomizeDialog : public QDialog {
    Q_OBJECT
  public:
    CustomizeDialog(ToolbarCustomizer& customizer, QWidget* parent);

    QListWidget* categoryList() const { return categories_; }
    QListWidget* commandList() const { return commands_; }
    QComboBox* toolbarChoice() const { return toolbarChoice_; }
    QListWidget* buttonList() const { return buttons_; }
    QListWidget* toolbarList() const { return toolbars_; }
    QListWidget* imageList() const { return images_; }

    // The toolbar chosen on the Commands page.
    int chosenToolbar() const;
    void chooseToolbar(int toolbarId);
    // Shows the commands of category `row` of the category list.
    void showCategory(int row);

    // The buttons' actions, callable from tests.
    void addSelectedCommand();
    void removeSelectedButton();
    void moveSelectedButton(int delta);
    void newToolbar();
    void renameToolbar();
    void deleteToolbar();
    void resetToolbar();
    void applyImage();
    // The Keyboard page: its lists and the keys typed, and its buttons' actions.
    QListWidget* keyboardCommandList() const { return keyCommands_; }
    QListWidget* currentKeysList() const { return currentKeys_; }
    QKeySequenceEdit* newKeysEdit() const { return newKeys_; }
    QLabel* assignedToLabel() const { return assignedTo_; }
    void assignKeys();
    void removeKeys();
    void resetAllKeys();

  private:
    void refresh();
    void refreshButtons();
    int selectedCommand() const;
    int selectedToolbarOnList() const;
    int selectedKeyboardCommand() const;
    void refreshKeys();
    void showAssignedTo();

    ToolbarCustomizer& customizer_;
    QListWidget* categories_ = nullptr;
    QListWidget* commands_ = nullptr;
    QComboBox* toolbarChoice_ = nullptr;
    QListWidget* buttons_ = nullptr;
    QListWidget* toolbars_ = nullptr;
    QListWidget* images_ = nullptr;
    QPushButton* rename_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* new_ = nullptr;
    QListWidget* keyCommands_ = nullptr;
    QListWidget* currentKeys_ = nullptr;
    QKeySequenceEdit* newKeys_ = nullptr;
    QLabel* assignedTo_ = nullptr;
    bool refreshing_ = false;
};

// Sets up docking, the looks and the customisation of `frame` from `settings` (which must
// outlive the frame): applies the stored look, restores the workspace and reads the user image
// list. Returns the looks object (a child of the frame).
ApplicationLooks* attachLooksAndCustomization(CMainFrame& frame, QSettings& settings);

}  // namespace marrowdale
