// CMainFrame: the main window. Menu bar (menu 128 without a document window, menu 130 while one
// is active), toolbar 129, status bar (message pane, CAP, NUM, SCRL), accelerator table 128,
// the MDI area with the child frames, and the routing of every numbered command: active view,
// its document, its child frame, this frame, the application.
#pragma once

#include <QMainWindow>
#include <QMap>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>
#include <functional>
#include <vector>

#include "framework/command_map.h"
#include "platform/keyboard_locks.h"
#include "resources/resources.h"
#include "shell/frame_parts.h"

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolBar;

namespace marrowdale {

class CChildFrame;
class CMarrowdaleDoc;
class CMarrowdaleView;

// `wanted` made no larger than `available` and moved inside it.
QRect fitRectInto(const QRect& wanted, const QRect& available);
// A top-level window made no larger than its screen's free area, with room for the window
// manager's frame, and moved into it once it has a place. Maximised and full-screen windows are
// left alone.
void fitWindowToScreen(QWidget& window);

class CMainFrame : public QMainWindow, public CommandTarget, public PopupMenuHost {
    Q_OBJECT
  public:
    // `application` is the last target of the routing chain (may be null in tests).
    explicit CMainFrame(CommandTarget* application, QWidget* parent = nullptr);
    ~CMainFrame() override;

    QMdiArea* mdiArea() const { return mdiArea_; }
    QToolBar* toolBar() const { return toolBar_; }

    // The action of command `id` (one per id, made on first use): menu items, toolbar buttons
    // and accelerators of one id share it.
    QAction* commandAction(int id);
    // Routes `id` along the chain; false when no target takes it.
    bool executeCommand(int id);
    // The state `id` is shown with now.
    CommandUi commandState(int id);
    // Brings every action's enabled and mark state up to date.
    void updateCommandStates();

    // The menu resource shown now (128 or 130).
    int shownMenuId() const { return shownMenuId_; }
    // The active child frame and its view and document (null when there is none).
    CChildFrame* activeChildFrame() const;
    CMarrowdaleView* activeView() const;
    CMarrowdaleDoc* activeDocument() const;

    // Adds a child frame holding `view` (a CMarrowdaleView) and activates it.
    CChildFrame* addChildFrame(QWidget* view);
    // Child frames in creation order.
    std::vector<CChildFrame*> childFrames() const;

    // Shows popup menu resource `menuId` at `globalPos`, modally; returns when it is closed.
    void showPopupMenu(int menuId, const QPoint& globalPos) override;
    // The popup shown by showPopupMenu while it is open (tests).
    QMenu* openPopupMenu() const { return openPopup_; }

    // The recent-file entries shown in the File menu (most recent first).
    void setRecentFiles(const QStringList& files);

    // Window titles of the child frames follow their documents; this one follows the active
    // document ("Marrowdale - <document>", or "Marrowdale").
    void updateFrameTitle();

    // Makes the window no larger than the free area of its screen (in the desktop's units, so at
    // any scale factor) and moves it inside that area; a maximised window is left as it is.
    void fitToScreen();

    // The window-management dialog (131).
    void OnWindowManager();

    // What fills the panes menu; without one it lists the standard toolbar alone. The provider
    // outlives the frame's menus or is taken away (null) before it goes.
    void setPanesMenuProvider(PanesMenuProvider* provider) { panesMenu_ = provider; }
    // What adds to the "Capture area" menu (null: nothing); same terms.
    void setAreaMenuProvider(AreaMenuProvider* provider) { areaMenu_ = provider; }

    // Makes another child frame and view for `document` (Window New Window); set by the
    // application, which owns the document template.
    std::function<void(CMarrowdaleDoc*)> newWindowForDocument;

    QLabel* messagePane() const { return messagePane_; }
    QLabel* indicator(int index) const;  // 0 CAP, 1 NUM, 2 SCRL
    // The lock keys' states as the desktop keeps them; from the first call on, the indicators
    // show these and no longer follow the keys this window sees.
    void setLockStates(const LockStates& states);

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::vector<CommandTarget*> chain() const;
    void buildMenuBar(int menuId);
    void fillMenu(QMenu* menu, const std::vector<res::MenuItem>& items);
    void buildToolBar();
    void buildStatusBar();
    void buildAccelerators();
    void bindOwnCommands();
    void subWindowActivated(QMdiSubWindow* window);
    void refreshActive();
    void fillToolbarsMenu(QMenu* menu);
    void fillWindowList(QMenu* menu, int fixedItems);

    CommandTarget* application_;
    PanesMenuProvider* panesMenu_ = nullptr;
    AreaMenuProvider* areaMenu_ = nullptr;
    QMdiArea* mdiArea_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QLabel* messagePane_ = nullptr;
    QLabel* indicators_[3] = {nullptr, nullptr, nullptr};
    bool lockState_[3] = {false, false, false};
    bool locksFromDesktop_ = false;
    QMap<int, QAction*> actions_;
    int shownMenuId_ = 0;
    QPointer<QMdiSubWindow> lastActive_;
    QPointer<QMenu> openPopup_;
    QStringList recentFiles_;
};

}  // namespace marrowdale
