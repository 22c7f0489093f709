// The "Customize" dialog (command 126), modeless: the Commands page (categories, their commands,
// the buttons of a chosen toolbar and the user images), the Toolbars page (show, hide, make,
// rename, delete, reset) and the Keyboard page (the keys of each command). Every change goes
// through the toolbar customiser, whose changes the dialog follows.
//
// GUI thread only.
#pragma once

#include <QDialog>

class QComboBox;
class QGroupBox;
class QKeySequenceEdit;
class QLabel;
class QListWidget;
class QPushButton;
class QTabWidget;

namespace marrowdale {

class GlobalKeysGroup;
class ToolbarCustomizer;
class CustomizeDialog;

// The customisation dialog (command 126), modeless: opened once, brought forward when it is open
// already; it frees itself when closed.
void OpenToolbarCustomization(ToolbarCustomizer& customizer);
// The dialog while it is open, else null.
CustomizeDialog* customizeDialogOf(const ToolbarCustomizer& customizer);

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
    // The group of the global keys (null when the program has none).
    GlobalKeysGroup* globalKeysGroup() const { return globalKeys_; }

  private:
    QWidget* buildCommandsPage(QTabWidget* tabs);
    QWidget* buildToolbarsPage(QTabWidget* tabs);
    QWidget* buildKeyboardPage(QTabWidget* tabs);
    void fillCategories();
    void fillImages(QGroupBox* imageBox);
    void refresh();
    void refreshButtons();
    int selectedCommand() const;
    int selectedToolbarOnList() const;
    int selectedKeyboardCommand() const;
    void refreshKeys();
    void showAssignedTo();

    ToolbarCustomizer& customizer_;
    GlobalKeysGroup* globalKeys_ = nullptr;
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

}  // namespace marrowdale
