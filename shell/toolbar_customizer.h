// Toolbar customisation of the main frame: the standard toolbar and up to ten user toolbars,
// each with a customise button at its end (quick customisation in its menu); adding, removing
// and moving buttons, from the "Customize" dialog (command 126) or by dragging them (with Alt
// held down, or freely while the dialog is open); user images as button pictures; the panes
// menu ("&Toolbars and Docking Windows" and the bars' context menu); the keyboard shortcuts; and
// the workspace, saved when the frame closes and restored at start.
//
// The buttons themselves are kept in a ToolbarLayout; this class shows it on the toolbars.
//
// GUI thread only.
#pragma once

#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "shell/main_frame.h"
#include "shell/shortcut_map.h"
#include "shell/toolbar_commands.h"
#include "shell/toolbar_layout.h"
#include "shell/user_images.h"

class QMenu;
class QMimeData;
class QSettings;
class QToolBar;
class QToolButton;
class QWidget;
class QWidgetAction;

namespace marrowdale {

class GlobalShortcuts;

class ToolbarCustomizer : public QObject, public PanesMenuProvider {
    Q_OBJECT
  public:
    // Takes over `frame`'s standard toolbar and fills its panes menu; `settings` must outlive
    // this object.
    ToolbarCustomizer(CMainFrame& frame, QSettings& settings);
    ~ToolbarCustomizer() override;

    CMainFrame* frame() const { return &frame_; }

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
    void fillPanesMenu(QMenu* menu) override;
    // The customisation dialog while it is open (customize_dialog.h opens it): buttons move by
    // plain dragging (and do not run their commands) meanwhile. It goes with the customiser.
    QWidget* customizeDialog() const { return dialog_.data(); }
    void setCustomizeDialog(QWidget* dialog) { dialog_ = dialog; }
    bool customizing() const { return dialog_ != nullptr; }

    // The keyboard shortcuts of the commands of the menus, the toolbar and the accelerator
    // table, each with the accelerator table's keys until changed.
    ShortcutMap& shortcutMap() { return *shortcuts_; }
    const ShortcutMap& shortcutMap() const { return *shortcuts_; }

    // The global keys, kept with the workspace and changed on the Keyboard page (null: none).
    // They outlive this object or are taken away (null) before they go.
    void setGlobalShortcuts(GlobalShortcuts* shortcuts) { globalShortcuts_ = shortcuts; }
    GlobalShortcuts* globalShortcuts() const { return globalShortcuts_; }

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
    // A toolbar's widgets; its buttons are in layout_.
    struct Bar {
        QPointer<QToolBar> bar;
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
    // After a change of the layout: the toolbar shown anew and the change told.
    bool changed(bool done, int toolbarId, int otherToolbarId = 0);
    void fillCustomizeMenu(int toolbarId, QMenu* menu);
    void applyCommandImage(int commandId);
    bool handleButtonMouse(QToolButton* button, QEvent* event);
    bool handleDrop(QToolBar* bar, QEvent* event);
    void showPanesMenu(const QPoint& globalPos);
    QString nameForNewToolbar(const QString& wanted) const;

    CMainFrame& frame_;
    QSettings& settings_;
    std::map<int, Bar> bars_;
    ToolbarLayout layout_;
    std::map<int, int> commandImages_;
    std::unique_ptr<ShortcutMap> shortcuts_;
    GlobalShortcuts* globalShortcuts_ = nullptr;
    UserImages userImages_;
    UserImagesResult userImagesResult_ = UserImagesResult::Missing;
    bool userImagesRead_ = false;
    QPointer<QWidget> dialog_;
    // A press on a button that may become a drag.
    QPointer<QToolButton> pressedButton_;
    QPoint pressPos_;
};

}  // namespace marrowdale
