#include "shell/toolbar_customizer.h"

#include <QAction>
#include <QDrag>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QSettings>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWidgetAction>
#include <algorithm>

#include "resources/resources.h"
#include "shell/desktop_keys.h"
#include "shell/docking.h"
#include "shell/toolbar_pictures.h"
#include "shell/workspace_store.h"

namespace marrowdale {

namespace {

// The small picture of the customise button: a bar over a downward triangle.
QIcon customizeIcon() {
    QPixmap pm(9, 15);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 40, 40));
    p.drawRect(2, 5, 5, 1);
    const QPoint tri[3] = {QPoint(1, 8), QPoint(8, 8), QPoint(4, 12)};
    p.drawPolygon(tri, 3);
    return QIcon(pm);
}

// The commands that can have shortcuts: those of the menus and the toolbar, and those of the
// accelerator table.
std::vector<int> keyboardCommandIds() {
    std::vector<int> ids;
    for (const CommandEntry& e : customizableCommands())
        ids.push_back(e.id);
    for (const res::Accelerator& a : res::loadAccelerators(res::IDR_MAINFRAME))
        ids.push_back(a.id);
    return ids;
}

}  // namespace

ToolbarCustomizer::ToolbarCustomizer(CMainFrame& frame, QSettings& settings)
    : QObject(&frame), frame_(frame), settings_(settings) {
    setObjectName(QStringLiteral("toolbarCustomizer"));
    Bar& standard = bars_[kStandardToolbarId];
    standard.bar = frame.toolBar();
    layout_.set(kStandardToolbarId, defaultButtons(kStandardToolbarId));
    adopt(kStandardToolbarId, standard);
    rebuild(kStandardToolbarId);
    shortcuts_ = std::make_unique<ShortcutMap>([this](int id) { return frame_.commandAction(id); },
                                               keyboardCommandIds());
    frame_.installEventFilter(this);
    frame_.setPanesMenuProvider(this);
    runDrag = [](QMimeData* mime, QWidget* source) {
        auto* drag = new QDrag(source);
        drag->setMimeData(mime);
        return drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
    };
}

ToolbarCustomizer::~ToolbarCustomizer() {
    frame_.setPanesMenuProvider(nullptr);
    delete dialog_.data();
}

ToolbarCustomizer::Bar* ToolbarCustomizer::find(int toolbarId) {
    auto it = bars_.find(toolbarId);
    return it == bars_.end() || !it->second.bar ? nullptr : &it->second;
}

const ToolbarCustomizer::Bar* ToolbarCustomizer::find(int toolbarId) const {
    auto it = bars_.find(toolbarId);
    return it == bars_.end() || !it->second.bar ? nullptr : &it->second;
}

std::vector<int> ToolbarCustomizer::toolbarIds() const {
    std::vector<int> ids;
    if (find(kStandardToolbarId))
        ids.push_back(kStandardToolbarId);
    for (int id : userToolbarIds())
        ids.push_back(id);
    return ids;
}

std::vector<int> ToolbarCustomizer::userToolbarIds() const {
    std::vector<int> ids;
    for (const auto& [id, bar] : bars_)
        if (id != kStandardToolbarId && bar.bar)
            ids.push_back(id);
    return ids;
}

QToolBar* ToolbarCustomizer::toolbar(int toolbarId) const {
    const Bar* b = find(toolbarId);
    return b ? b->bar.data() : nullptr;
}

int ToolbarCustomizer::toolbarIdOf(const QToolBar* bar) const {
    for (const auto& [id, b] : bars_)
        if (b.bar && b.bar.data() == bar)
            return id;
    return -1;
}

QString ToolbarCustomizer::toolbarName(int toolbarId) const {
    const Bar* b = find(toolbarId);
    return b ? b->bar->windowTitle() : QString();
}

const ButtonList& ToolbarCustomizer::buttons(int toolbarId) const {
    static const ButtonList none;
    return find(toolbarId) ? layout_.buttons(toolbarId) : none;
}

ButtonList ToolbarCustomizer::defaultButtons(int toolbarId) const {
    if (toolbarId == kStandardToolbarId)
        return res::loadToolbar(res::IDR_MAINFRAME_256);
    return {};
}

QToolButton* ToolbarCustomizer::customizeButton(int toolbarId) const {
    const Bar* b = find(toolbarId);
    return b ? b->customize : nullptr;
}

void ToolbarCustomizer::adopt(int toolbarId, Bar& b) {
    QToolBar* bar = b.bar;
    allowDockingEverywhere(*bar);
    bar->setAcceptDrops(true);
    bar->installEventFilter(this);
    bar->setContextMenuPolicy(Qt::DefaultContextMenu);

    // The customise button at the end of the toolbar (command 126, "Customize..."), with quick
    // customisation in its menu.
    const QString label = res::loadString(res::IDS_TOOLBAR_CUSTOMIZE);
    b.customize = new QToolButton(bar);
    b.customize->setObjectName(QStringLiteral("customizeButton"));
    b.customize->setText(label);
    b.customize->setToolTip(label);
    b.customize->setIcon(customizeIcon());
    b.customize->setAutoRaise(true);
    b.customize->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(b.customize);
    connect(menu, &QMenu::aboutToShow, this,
            [this, toolbarId, menu] { fillCustomizeMenu(toolbarId, menu); });
    b.customize->setMenu(menu);
    b.customizeAction = new QWidgetAction(bar);
    b.customizeAction->setDefaultWidget(b.customize);
}

ToolbarCustomizer::Bar& ToolbarCustomizer::addUserToolbar(int toolbarId, const QString& name) {
    auto* bar = new QToolBar(name, &frame_);
    bar->setObjectName(QStringLiteral("userToolbar%1").arg(toolbarId));
    bar->setIconSize(QSize(kToolbarPictureWidth, kToolbarPictureHeight));
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    // A row of its own, under the bars already there.
    frame_.addToolBarBreak(Qt::TopToolBarArea);
    frame_.addToolBar(Qt::TopToolBarArea, bar);
    Bar& b = bars_[toolbarId];
    b = Bar{};
    b.bar = bar;
    layout_.set(toolbarId, {});
    adopt(toolbarId, b);
    return b;
}

void ToolbarCustomizer::rebuild(int toolbarId) {
    Bar* b = find(toolbarId);
    if (!b)
        return;
    QToolBar* bar = b->bar;
    for (QAction* a : bar->actions())
        bar->removeAction(a);
    for (QAction* s : b->separators)
        delete s;
    b->separators.clear();
    for (int id : layout_.buttons(toolbarId)) {
        QAction* a = nullptr;
        if (id == 0) {
            a = new QAction(bar);
            a->setSeparator(true);
            b->separators.push_back(a);
        } else {
            a = frame_.commandAction(id);
            a->setIconText(commandName(id));
        }
        bar->addAction(a);
    }
    bar->addAction(b->customizeAction);
    for (QAction* a : bar->actions()) {
        if (a == b->customizeAction || a->isSeparator())
            continue;
        if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(a)))
            button->installEventFilter(this);
    }
}

void ToolbarCustomizer::rebuildLater(int toolbarId) {
    QTimer::singleShot(0, this, [this, toolbarId] {
        rebuild(toolbarId);
        emit toolbarsChanged();
    });
}

bool ToolbarCustomizer::changed(bool done, int toolbarId, int otherToolbarId) {
    if (!done)
        return false;
    rebuild(toolbarId);
    if (otherToolbarId != 0 && otherToolbarId != toolbarId)
        rebuild(otherToolbarId);
    emit toolbarsChanged();
    return true;
}

QString ToolbarCustomizer::nameForNewToolbar(const QString& wanted) const {
    const QString clean = cleanToolbarName(wanted);
    if (!clean.isEmpty())
        return clean;
    std::vector<QString> names;
    for (int u : userToolbarIds())
        names.push_back(toolbarName(u));
    return defaultUserToolbarName(names);
}

int ToolbarCustomizer::createUserToolbar(const QString& name) {
    const int id = freeUserToolbarId(userToolbarIds());
    if (id == 0)
        return 0;
    addUserToolbar(id, nameForNewToolbar(name));
    rebuild(id);
    toolbar(id)->show();
    emit toolbarsChanged();
    return id;
}

bool ToolbarCustomizer::renameUserToolbar(int toolbarId, const QString& name) {
    if (toolbarId == kStandardToolbarId)
        return false;
    Bar* b = find(toolbarId);
    const QString clean = cleanToolbarName(name);
    if (!b || clean.isEmpty())
        return false;
    b->bar->setWindowTitle(clean);
    b->bar->toggleViewAction()->setText(clean);
    emit toolbarsChanged();
    return true;
}

bool ToolbarCustomizer::deleteUserToolbar(int toolbarId) {
    if (toolbarId == kStandardToolbarId)
        return false;
    Bar* b = find(toolbarId);
    if (!b)
        return false;
    // The separators and the customise button are the toolbar's children and go with it.
    QToolBar* bar = b->bar;
    bars_.erase(toolbarId);
    layout_.remove(toolbarId);
    frame_.removeToolBar(bar);
    bar->hide();
    bar->deleteLater();
    emit toolbarsChanged();
    return true;
}

void ToolbarCustomizer::setToolbarVisible(int toolbarId, bool visible) {
    if (QToolBar* bar = toolbar(toolbarId)) {
        bar->setVisible(visible);
        emit toolbarsChanged();
    }
}

void ToolbarCustomizer::resetToolbar(int toolbarId) {
    if (!find(toolbarId))
        return;
    layout_.set(toolbarId, defaultButtons(toolbarId));
    changed(true, toolbarId);
}

bool ToolbarCustomizer::insertButton(int toolbarId, int index, int commandId) {
    if (!find(toolbarId) || !isCustomizableCommand(commandId))
        return false;
    return changed(layout_.insertCommand(toolbarId, index, commandId), toolbarId);
}

bool ToolbarCustomizer::insertSeparator(int toolbarId, int index) {
    if (!find(toolbarId))
        return false;
    return changed(layout_.insertSeparator(toolbarId, index), toolbarId);
}

bool ToolbarCustomizer::removeButton(int toolbarId, int index) {
    if (!find(toolbarId))
        return false;
    return changed(layout_.removeAt(toolbarId, index), toolbarId);
}

bool ToolbarCustomizer::moveButtonTo(int fromToolbar, int fromIndex, int toToolbar, int toIndex) {
    if (!find(fromToolbar) || !find(toToolbar))
        return false;
    return changed(layout_.move(fromToolbar, fromIndex, toToolbar, toIndex), fromToolbar,
                   toToolbar);
}

UserImagesResult ToolbarCustomizer::loadUserImages(const QString& path) {
    if (userImagesRead_)
        return userImagesResult_;
    userImagesRead_ = true;
    userImagesResult_ = userImages_.load(path);
    for (const auto& [id, image] : commandImages_)
        applyCommandImage(id);
    return userImagesResult_;
}

QIcon ToolbarCustomizer::commandIcon(int commandId) const {
    return frame_.commandAction(commandId)->icon();
}

int ToolbarCustomizer::commandImage(int commandId) const {
    auto it = commandImages_.find(commandId);
    return it == commandImages_.end() ? -1 : it->second;
}

bool ToolbarCustomizer::setCommandImage(int commandId, int userImageIndex) {
    if (!isCustomizableCommand(commandId))
        return false;
    if (userImageIndex < 0) {
        commandImages_.erase(commandId);
    } else {
        if (userImageIndex >= userImages_.count())
            return false;
        commandImages_[commandId] = userImageIndex;
    }
    applyCommandImage(commandId);
    emit toolbarsChanged();
    return true;
}

void ToolbarCustomizer::applyCommandImage(int commandId) {
    QAction* a = frame_.commandAction(commandId);
    const int index = commandImage(commandId);
    const QPixmap user = userImages_.image(index);
    if (!user.isNull()) {
        a->setIcon(QIcon(user));
        return;
    }
    const QPixmap own = toolbarPicture(commandId);
    a->setIcon(own.isNull() ? QIcon() : QIcon(own));
}

void ToolbarCustomizer::fillPanesMenu(QMenu* menu) {
    menu->clear();
    for (int id : toolbarIds()) {
        QToolBar* bar = toolbar(id);
        QAction* toggle = bar->toggleViewAction();
        toggle->setText(bar->windowTitle());
        menu->addAction(toggle);
    }
    menu->addSeparator();
    QAction* customize = frame_.commandAction(res::ID_VIEW_CUSTOMIZE);
    customize->setText(res::loadString(res::IDS_TOOLBAR_CUSTOMIZE));
    menu->addAction(customize);
}

void ToolbarCustomizer::fillCustomizeMenu(int toolbarId, QMenu* menu) {
    menu->clear();
    if (!find(toolbarId))
        return;
    QMenu* addRemove = menu->addMenu(QStringLiteral("&Add or Remove Buttons"));
    const ButtonList defaults = defaultButtons(toolbarId);
    const ButtonList& list = layout_.buttons(toolbarId);
    ButtonList offered;
    for (int id : defaults)
        if (id != 0)
            offered.push_back(id);
    for (int id : list)
        if (id != 0 && std::find(offered.begin(), offered.end(), id) == offered.end())
            offered.push_back(id);
    for (int id : offered) {
        QAction* item = addRemove->addAction(frame_.commandAction(id)->icon(), commandName(id));
        item->setCheckable(true);
        item->setChecked(std::find(list.begin(), list.end(), id) != list.end());
        connect(item, &QAction::toggled, this, [this, toolbarId, id, defaults](bool on) {
            if (!find(toolbarId))
                return;
            const ButtonList& now = layout_.buttons(toolbarId);
            const auto at = std::find(now.begin(), now.end(), id);
            if (!on) {
                if (at != now.end())
                    removeButton(toolbarId, static_cast<int>(at - now.begin()));
                return;
            }
            // Back at its default place: before the first present button that follows it there.
            if (isCustomizableCommand(id))
                changed(layout_.insertAtDefaultPlace(toolbarId, id, defaults), toolbarId);
        });
    }
    addRemove->addSeparator();
    QAction* reset = addRemove->addAction(QStringLiteral("&Reset Toolbar"));
    connect(reset, &QAction::triggered, this, [this, toolbarId] { resetToolbar(toolbarId); });
    menu->addSeparator();
    QAction* customize = frame_.commandAction(res::ID_VIEW_CUSTOMIZE);
    customize->setText(res::loadString(res::IDS_TOOLBAR_CUSTOMIZE));
    menu->addAction(customize);
}

void ToolbarCustomizer::showPanesMenu(const QPoint& globalPos) {
    QMenu menu(&frame_);
    menu.setObjectName(QStringLiteral("panesMenu"));
    fillPanesMenu(&menu);
    frame_.updateCommandStates();
    menu.exec(globalPos);
}

void ToolbarCustomizer::saveWorkspace() {
    Workspace workspace;
    workspace.standardButtons = buttons(kStandardToolbarId);
    for (int id : userToolbarIds())
        workspace.userToolbars.push_back({id, toolbarName(id), buttons(id)});
    workspace.commandImages = commandImages_;
    workspace.shortcuts = shortcuts_->changed();
    if (globalShortcuts_)
        workspace.globalShortcuts = globalShortcuts_->changedKeys();
    workspace.frameState = frame_.saveState(kWorkspaceStateVersion);
    workspace.frameGeometry = frame_.saveGeometry();
    writeWorkspace(settings_, workspace);
}

void ToolbarCustomizer::restoreWorkspace() {
    const WorkspaceRules rules{[](int id) { return isCustomizableCommand(id); },
                               [this](int id) { return shortcuts_->hasCommand(id); },
                               [](int id) { return GlobalShortcuts::isCommand(id); }};
    const Workspace workspace = readWorkspace(settings_, rules);
    if (workspace.standardButtons) {
        layout_.set(kStandardToolbarId, *workspace.standardButtons);
        rebuild(kStandardToolbarId);
    }
    for (const UserToolbarRecord& stored : workspace.userToolbars) {
        if (find(stored.id))
            continue;
        addUserToolbar(stored.id, nameForNewToolbar(stored.name));
        layout_.set(stored.id, stored.buttons);
        rebuild(stored.id);
    }
    for (const auto& [command, image] : workspace.commandImages) {
        commandImages_[command] = image;
        applyCommandImage(command);
    }
    // Stored keys replace the table's, command by command; keys given to two commands stay
    // with the first.
    shortcuts_->apply(workspace.shortcuts);
    if (globalShortcuts_)
        globalShortcuts_->apply(workspace.globalShortcuts);
    if (!workspace.frameState.isEmpty())
        frame_.restoreState(workspace.frameState, kWorkspaceStateVersion);
    if (!workspace.frameGeometry.isEmpty())
        frame_.restoreGeometry(workspace.frameGeometry);
    emit toolbarsChanged();
}

}  // namespace marrowdale
