#include "shell/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include "framework/template_dialog.h"
#include "shell/child_frame.h"
#include "shell/toolbar_pictures.h"

namespace marrowdale {

namespace {

// How often the enabled states are brought up to date while the program is idle.
constexpr int kIdleUpdateMs = 250;

// The window-management dialog: the document windows, to activate or close.
class CWindowsDialog : public TemplateDialog {
  public:
    CWindowsDialog(QMdiArea* area, QWidget* parent)
        : TemplateDialog(res::ID_WINDOW_MANAGER, parent), area_(area) {
        onCommand(kActivate, [this] { activateSelected(); });
        onCommand(kCloseWindows, [this] { closeSelected(); });
        onDoubleClick(kList, [this] { activateSelected(); });
    }

    static constexpr int kList = 1000;
    static constexpr int kActivate = 1001;
    static constexpr int kCloseWindows = 1002;

  protected:
    bool onInitDialog() override {
        fill();
        return true;
    }
    void onOK() override { activateSelected(); }

  private:
    void fill() {
        listResetContent(kList);
        windows_ = area_->subWindowList(QMdiArea::CreationOrder);
        for (QMdiSubWindow* w : windows_)
            listAddString(kList, w->windowTitle());
        const auto active = static_cast<int>(windows_.indexOf(area_->currentSubWindow()));
        if (active >= 0)
            listSetCurSel(kList, active);
    }
    void activateSelected() {
        const int sel = listCurSel(kList);
        if (sel >= 0 && sel < windows_.size() && windows_[sel])
            area_->setActiveSubWindow(windows_[sel]);
        endDialog(IDOK);
    }
    void closeSelected() {
        const auto selected = listBox(kList)->selectionModel()->selectedRows();
        QList<QPointer<QMdiSubWindow>> toClose;
        for (const auto& index : selected)
            if (index.row() < windows_.size())
                toClose << windows_[index.row()];
        for (auto& w : toClose)
            if (w)
                w->close();
        fill();
    }

    QMdiArea* area_;
    QList<QMdiSubWindow*> windows_;
};

}  // namespace

CMainFrame::CMainFrame(CommandTarget* application, QWidget* parent)
    : QMainWindow(parent), application_(application) {
    setWindowTitle(res::loadString(res::IDR_MAINFRAME));
    setWindowIcon(applicationIcon());
    mdiArea_ = new QMdiArea(this);
    mdiArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdiArea_);
    connect(mdiArea_, &QMdiArea::subWindowActivated, this, &CMainFrame::subWindowActivated);

    bindOwnCommands();
    buildToolBar();
    buildStatusBar();
    buildAccelerators();
    buildMenuBar(res::IDR_MAINFRAME);

    auto* idle = new QTimer(this);
    connect(idle, &QTimer::timeout, this, &CMainFrame::updateCommandStates);
    idle->start(kIdleUpdateMs);
    qApp->installEventFilter(this);
    updateCommandStates();
}

CMainFrame::~CMainFrame() {
    qApp->removeEventFilter(this);
    // The helpers attached to this window (the toolbar customisation, the looks, ...) go while
    // it is still a main frame: their destructors call into it. The latest made goes first, and
    // one that takes another with it is not deleted twice.
    const QObjectList kids = children();
    QList<QPointer<QObject>> helpers;
    for (QObject* kid : kids)
        if (!kid->isWidgetType())
            helpers.prepend(kid);
    for (const QPointer<QObject>& helper : helpers)
        delete helper.data();
}

void CMainFrame::bindOwnCommands() {
    CommandMap& map = commandMap();
    map.on(res::ID_WINDOW_MANAGER, [this] { OnWindowManager(); });
    map.on(res::ID_VIEW_STATUS_BAR, [this] { statusBar()->setVisible(!statusBar()->isVisible()); });
    map.onUpdate(res::ID_VIEW_STATUS_BAR, [this](int, CommandUi& ui) {
        ui.enabled = true;
        ui.mark = statusBar()->isVisible() ? CommandUi::Mark::Check : CommandUi::Mark::None;
    });
    auto needChild = [this](int, CommandUi& ui) { ui.enabled = activeChildFrame() != nullptr; };
    map.on(res::ID_WINDOW_NEW, [this] {
        if (CMarrowdaleDoc* doc = activeDocument(); doc && newWindowForDocument)
            newWindowForDocument(doc);
    });
    map.onUpdate(res::ID_WINDOW_NEW, needChild);
    map.on(res::ID_WINDOW_CASCADE, [this] { mdiArea_->cascadeSubWindows(); });
    map.onUpdate(res::ID_WINDOW_CASCADE, needChild);
    map.on(res::ID_WINDOW_TILE_HORZ, [this] { mdiArea_->tileSubWindows(); });
    map.onUpdate(res::ID_WINDOW_TILE_HORZ, needChild);
    map.on(res::ID_WINDOW_ARRANGE, [this] {
        // Minimized windows are lined up along the bottom of the client area.
        int x = 0;
        const int bottom = mdiArea_->viewport()->height();
        for (QMdiSubWindow* w : mdiArea_->subWindowList(QMdiArea::CreationOrder)) {
            if (!w->isMinimized())
                continue;
            w->move(x, bottom - w->height());
            x += w->width();
        }
    });
    map.onUpdate(res::ID_WINDOW_ARRANGE, needChild);
}

QAction* CMainFrame::commandAction(int id) {
    if (QAction* a = actions_.value(id))
        return a;
    auto* a = new QAction(this);
    a->setData(id);
    const QString prompt = res::commandPrompt(id);
    const QString tip = res::commandTooltip(id);
    a->setText(prompt);
    a->setStatusTip(prompt);
    a->setToolTip(tip.isEmpty() ? prompt : tip);
    if (!toolbarPicture(id).isNull())
        a->setIcon(QIcon(toolbarPicture(id)));
    a->setShortcutContext(Qt::WindowShortcut);
    connect(a, &QAction::triggered, this, [this, id] { executeCommand(id); });
    addAction(a);
    actions_.insert(id, a);
    return a;
}

std::vector<CommandTarget*> CMainFrame::chain() const {
    CChildFrame* frame = activeChildFrame();
    std::vector<CommandTarget*> targets =
        frame ? frame->commandTargets() : std::vector<CommandTarget*>{nullptr, nullptr, nullptr};
    targets.push_back(const_cast<CMainFrame*>(this));
    targets.push_back(application_);
    return targets;
}

bool CMainFrame::executeCommand(int id) {
    const auto targets = chain();
    const bool done = routeCommand(targets, id);
    updateCommandStates();
    return done;
}

CommandUi CMainFrame::commandState(int id) {
    const auto targets = chain();
    return marrowdale::commandState(targets, id);
}

void CMainFrame::updateCommandStates() {
    const auto targets = chain();
    for (auto it = actions_.constBegin(); it != actions_.constEnd(); ++it) {
        const CommandUi ui = marrowdale::commandState(targets, it.key());
        QAction* a = it.value();
        if (a->isEnabled() != ui.enabled)
            a->setEnabled(ui.enabled);
        const bool checkable = ui.mark != CommandUi::Mark::None;
        if (a->isCheckable() != checkable)
            a->setCheckable(checkable);
        if (checkable && !a->isChecked())
            a->setChecked(true);
    }
}

void CMainFrame::fillMenu(QMenu* menu, const std::vector<res::MenuItem>& items) {
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::updateCommandStates);
    for (const res::MenuItem& item : items) {
        switch (item.kind) {
            case res::MenuItem::Kind::Separator:
                menu->addSeparator();
                break;
            case res::MenuItem::Kind::Popup: {
                QMenu* sub = menu->addMenu(item.text);
                fillMenu(sub, item.items);
                // The framework's list of panes goes where its placeholder command is.
                if (res::popupHolds(item, res::ID_VIEW_TOOLBAR))
                    connect(sub, &QMenu::aboutToShow, this, [this, sub] { fillToolbarsMenu(sub); });
                break;
            }
            case res::MenuItem::Kind::Command:
                if (item.id == res::ID_FILE_MRU_FILE1 && item.disabled) {
                    if (recentFiles_.isEmpty()) {
                        auto* placeholder = menu->addAction(item.text);
                        placeholder->setData(item.id);
                        placeholder->setEnabled(false);
                        placeholder->setStatusTip(res::commandPrompt(item.id));
                    } else {
                        for (int i = 0; i < recentFiles_.size() && i < 10; ++i) {
                            QAction* a = commandAction(res::ID_FILE_MRU_FILE1 + i);
                            QString shown = recentFiles_[i];
                            shown.replace('&', QLatin1String("&&"));
                            a->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(shown));
                            menu->addAction(a);
                        }
                    }
                    break;
                }
                QAction* a = commandAction(item.id);
                a->setText(item.text);
                menu->addAction(a);
                break;
        }
    }
}

void CMainFrame::fillToolbarsMenu(QMenu* menu) {
    // The framework's list of panes replaces the placeholder item.
    if (panesMenu_) {
        panesMenu_->fillPanesMenu(menu);
        return;
    }
    menu->clear();
    QAction* standard = menu->addAction(res::loadString(res::IDS_TOOLBAR_STANDARD));
    standard->setCheckable(true);
    standard->setChecked(toolBar_->isVisible());
    connect(standard, &QAction::triggered, toolBar_, &QToolBar::setVisible);
    menu->addSeparator();
    QAction* customize = commandAction(res::ID_VIEW_CUSTOMIZE);
    customize->setText(res::loadString(res::IDS_TOOLBAR_CUSTOMIZE));
    menu->addAction(customize);
}

void CMainFrame::buildMenuBar(int menuId) {
    shownMenuId_ = menuId;
    QMenuBar* bar = menuBar();
    bar->clear();
    for (const res::MenuItem& popup : res::loadMenu(menuId)) {
        QMenu* menu = bar->addMenu(popup.text);
        fillMenu(menu, popup.items);
        // The capture-area menu ends with the monitors, asked as it opens.
        if (res::popupHolds(popup, res::ID_FIXED_SIZE)) {
            const int fixedItems = static_cast<int>(menu->actions().size());
            connect(menu, &QMenu::aboutToShow, this, [this, menu, fixedItems] {
                const QList<QAction*> actions = menu->actions();
                for (int i = fixedItems; i < actions.size(); ++i) {
                    menu->removeAction(actions[i]);
                    if (actions[i]->parent() == menu)
                        delete actions[i];
                }
                if (areaMenu_)
                    areaMenu_->fillAreaMenu(menu);
            });
        }
        // The window list follows the menu that holds the window commands.
        if (res::popupHolds(popup, res::ID_WINDOW_NEW)) {
            const int fixedItems = static_cast<int>(menu->actions().size());
            fillWindowList(menu, fixedItems);
            connect(menu, &QMenu::aboutToShow, this,
                    [this, menu, fixedItems] { fillWindowList(menu, fixedItems); });
        }
    }
    updateCommandStates();
}

void CMainFrame::fillWindowList(QMenu* menu, int fixedItems) {
    // After the menu's own items: the document windows (the active one checked) and the
    // window-management dialog, as the framework adds them.
    const QList<QAction*> actions = menu->actions();
    for (int i = fixedItems; i < actions.size(); ++i) {
        menu->removeAction(actions[i]);
        if (actions[i]->parent() == menu)
            delete actions[i];
    }
    menu->addSeparator();
    const QList<QMdiSubWindow*> windows = mdiArea_->subWindowList(QMdiArea::CreationOrder);
    for (int i = 0; i < windows.size() && i < 9; ++i) {
        QPointer<QMdiSubWindow> w = windows[i];
        QString title = w->windowTitle();
        title.replace('&', QLatin1String("&&"));
        QAction* a = new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(title), menu);
        a->setCheckable(true);
        a->setChecked(w == mdiArea_->currentSubWindow());
        connect(a, &QAction::triggered, this, [this, w] {
            if (w)
                mdiArea_->setActiveSubWindow(w);
        });
        menu->addAction(a);
    }
    QAction* manager = commandAction(res::ID_WINDOW_MANAGER);
    manager->setText(res::loadString(res::ID_WINDOW_MANAGER));
    menu->addAction(manager);
}

void CMainFrame::buildToolBar() {
    toolBar_ = new QToolBar(res::loadString(res::IDS_TOOLBAR_STANDARD), this);
    toolBar_->setObjectName(QStringLiteral("toolbar129"));
    toolBar_->setIconSize(QSize(kToolbarPictureWidth, kToolbarPictureHeight));
    toolBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (int id : res::loadToolbar(res::IDR_MAINFRAME_256)) {
        if (id == 0)
            toolBar_->addSeparator();
        else
            toolBar_->addAction(commandAction(id));
    }
    addToolBar(Qt::TopToolBarArea, toolBar_);
}

void CMainFrame::buildStatusBar() {
    QStatusBar* bar = statusBar();
    messagePane_ = new QLabel(res::loadString(res::AFX_IDS_IDLEMESSAGE), bar);
    messagePane_->setObjectName(QStringLiteral("messagePane"));  // notices go there
    bar->addWidget(messagePane_, 1);
    const char* names[3] = {"CAP", "NUM", "SCRL"};
    for (int i = 0; i < 3; ++i) {
        indicators_[i] = new QLabel(QString::fromLatin1(names[i]), bar);
        indicators_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        indicators_[i]->setEnabled(lockState_[i]);
        bar->addPermanentWidget(indicators_[i]);
    }
}

QLabel* CMainFrame::indicator(int index) const {
    return index >= 0 && index < 3 ? indicators_[index] : nullptr;
}

void CMainFrame::buildAccelerators() {
    QMap<int, QList<QKeySequence>> keys;
    for (const res::Accelerator& a : res::loadAccelerators(res::IDR_MAINFRAME))
        keys[a.id] << a.keys;
    for (auto it = keys.constBegin(); it != keys.constEnd(); ++it)
        commandAction(it.key())->setShortcuts(it.value());
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    // Key events reach the top-level window object once, before the widgets; the indicators
    // follow them. On X11 an event's native modifiers are its state: Lock (0x2) is Caps Lock and
    // Mod2 (0x10) Num Lock. A lock key's own press shows the state before it, so it toggles.
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
        watched->isWindowType() && !locksFromDesktop_) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (QGuiApplication::platformName() == QLatin1String("xcb") && key->nativeModifiers()) {
            lockState_[0] = (key->nativeModifiers() & 0x2) != 0;
            lockState_[1] = (key->nativeModifiers() & 0x10) != 0;
        }
        if (event->type() == QEvent::KeyPress && !key->isAutoRepeat()) {
            int index = -1;
            if (key->key() == Qt::Key_CapsLock)
                index = 0;
            if (key->key() == Qt::Key_NumLock)
                index = 1;
            if (key->key() == Qt::Key_ScrollLock)
                index = 2;
            if (index >= 0)
                lockState_[index] = !lockState_[index];
        }
        for (int i = 0; i < 3; ++i)
            if (indicators_[i]->isEnabled() != lockState_[i])
                indicators_[i]->setEnabled(lockState_[i]);
    }
    return QMainWindow::eventFilter(watched, event);
}

QRect fitRectInto(const QRect& wanted, const QRect& available) {
    if (!available.isValid())
        return wanted;
    QRect fitted(wanted.topLeft(), wanted.size().boundedTo(available.size()));
    if (fitted.right() > available.right())
        fitted.moveRight(available.right());
    if (fitted.bottom() > available.bottom())
        fitted.moveBottom(available.bottom());
    if (fitted.left() < available.left())
        fitted.moveLeft(available.left());
    if (fitted.top() < available.top())
        fitted.moveTop(available.top());
    return fitted;
}

void fitWindowToScreen(QWidget& window) {
    if (window.isMaximized() || window.isFullScreen())
        return;
    QScreen* shown = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!shown)
        return;
    // Room for the window manager's frame around the window: its real size once it is mapped,
    // a usual title bar and border before.
    const QRect outer = window.frameGeometry();
    const QRect inner = window.geometry();
    const QMargins frame =
        outer != inner ? QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                                  outer.right() - inner.right(), outer.bottom() - inner.bottom())
                       : QMargins(8, 32, 8, 8);
    const QRect room = shown->availableGeometry().marginsRemoved(frame);
    const QRect fitted = fitRectInto(inner, room);
    if (fitted.size() != window.size())
        window.resize(fitted.size());
    if (fitted.topLeft() != window.geometry().topLeft() &&
        (window.isVisible() || window.testAttribute(Qt::WA_Moved)))
        window.move(fitted.topLeft() - (window.geometry().topLeft() - window.pos()));
}

void CMainFrame::fitToScreen() {
    fitWindowToScreen(*this);
}

void CMainFrame::setLockStates(const LockStates& states) {
    locksFromDesktop_ = true;
    lockState_[0] = states.caps;
    lockState_[1] = states.num;
    lockState_[2] = states.scroll;
    for (int i = 0; i < 3; ++i)
        indicators_[i]->setEnabled(lockState_[i]);
}

CChildFrame* CMainFrame::activeChildFrame() const {
    return qobject_cast<CChildFrame*>(mdiArea_->currentSubWindow());
}

CMarrowdaleView* CMainFrame::activeView() const {
    CChildFrame* f = activeChildFrame();
    return f ? f->view() : nullptr;
}

CMarrowdaleDoc* CMainFrame::activeDocument() const {
    CChildFrame* f = activeChildFrame();
    return f ? f->document() : nullptr;
}

CChildFrame* CMainFrame::addChildFrame(QWidget* view) {
    auto* frame = new CChildFrame;
    frame->setWidget(view);
    frame->setWindowIcon(applicationIcon());
    mdiArea_->addSubWindow(frame);
    connect(frame, &QObject::destroyed, this,
            [this] { QTimer::singleShot(0, this, &CMainFrame::refreshActive); });
    // Before the main window is laid out the area has no size yet.
    const QSize area = mdiArea_->viewport()->size();
    frame->resize(area.width() >= 400 && area.height() >= 300 ? area * 3 / 4 : QSize(640, 420));
    frame->show();
    mdiArea_->setActiveSubWindow(frame);
    view->setFocus();
    refreshActive();
    return frame;
}

std::vector<CChildFrame*> CMainFrame::childFrames() const {
    std::vector<CChildFrame*> out;
    for (QMdiSubWindow* w : mdiArea_->subWindowList(QMdiArea::CreationOrder))
        if (auto* f = qobject_cast<CChildFrame*>(w))
            out.push_back(f);
    return out;
}

void CMainFrame::subWindowActivated(QMdiSubWindow* window) {
    // A null activation while document windows exist only means that the main window lost the
    // focus; the active document is unchanged.
    if (!window && !mdiArea_->subWindowList().isEmpty())
        return;
    refreshActive();
}

void CMainFrame::refreshActive() {
    QMdiSubWindow* current = mdiArea_->currentSubWindow();
    if (!current && !mdiArea_->subWindowList().isEmpty())
        current = mdiArea_->subWindowList(QMdiArea::ActivationHistoryOrder).last();
    const int menuId = current ? res::IDR_MarrowdaleTYPE : res::IDR_MAINFRAME;
    if (menuId != shownMenuId_)
        buildMenuBar(menuId);
    if (current != lastActive_.data() || !current) {
        lastActive_ = current;
        updateFrameTitle();
    }
    updateCommandStates();
}

void CMainFrame::updateFrameTitle() {
    const QString app = res::loadString(res::IDR_MAINFRAME);
    QMdiSubWindow* current = lastActive_.data();
    setWindowTitle(current ? app + QStringLiteral(" - ") + current->windowTitle() : app);
}

void CMainFrame::setRecentFiles(const QStringList& files) {
    recentFiles_ = files;
    buildMenuBar(shownMenuId_ ? shownMenuId_ : res::IDR_MAINFRAME);
}

void CMainFrame::showPopupMenu(int menuId, const QPoint& globalPos) {
    const auto menus = res::loadMenu(menuId);
    if (menus.empty())
        return;
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("popupMenu%1").arg(menuId));
    fillMenu(&menu, menus.front().items);
    updateCommandStates();
    openPopup_ = &menu;
    menu.exec(globalPos);
    openPopup_ = nullptr;
}

void CMainFrame::OnWindowManager() {
    CWindowsDialog dialog(mdiArea_, this);
    dialog.doModal();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    mdiArea_->closeAllSubWindows();
    if (!mdiArea_->subWindowList().isEmpty()) {
        event->ignore();
        return;
    }
    event->accept();
}

}  // namespace marrowdale
