#include "shell/toolbar_customization.h"

#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDrag>
#include <QDropEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidgetAction>
#include <algorithm>
#include <array>
#include <set>

#include "resources/resources.h"
#include "shell/docking.h"
#include "shell/looks.h"
#include "shell/main_frame.h"
#include "shell/toolbar_pictures.h"

namespace marrowdale {

namespace {

constexpr std::array<int, 18> kBasicCommands = {res::ID_FILE_NEW,
                                                res::ID_FILE_OPEN,
                                                res::ID_FILE_SAVE,
                                                res::ID_FILE_PRINT,
                                                res::ID_APP_EXIT,
                                                res::ID_EDIT_CUT,
                                                res::ID_EDIT_PASTE,
                                                res::ID_EDIT_UNDO,
                                                res::ID_APP_ABOUT,
                                                res::ID_VIEW_STATUS_BAR,
                                                res::ID_VIEW_TOOLBAR,
                                                208,
                                                209,
                                                215,
                                                217,
                                                216,
                                                218,
                                                219};

constexpr int kStateVersion = 1;
const char* const kWorkspaceGroup = "Workspace";

QString menuTextToName(QString text) {
    const int tab = text.indexOf('\t');
    if (tab >= 0)
        text.truncate(tab);
    QString out;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') {
                out += '&';
                ++i;
            }
            continue;
        }
        out += text[i];
    }
    return out.trimmed();
}

void collectMenu(const std::vector<res::MenuItem>& items, const QString& category,
                 std::vector<CommandEntry>& out, std::set<int>& seen) {
    for (const res::MenuItem& item : items) {
        if (item.kind == res::MenuItem::Kind::Popup) {
            collectMenu(item.items, category, out, seen);
            continue;
        }
        if (item.kind != res::MenuItem::Kind::Command)
            continue;
        if (item.id == res::ID_FILE_MRU_FILE1 || item.id == res::ID_VIEW_TOOLBAR)
            continue;
        if (!seen.insert(item.id).second)
            continue;
        out.push_back({item.id, category, menuTextToName(item.text)});
    }
}

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

}  // namespace

// ---- Pure helpers ----

int freeUserToolbarId(const std::vector<int>& used) {
    for (int id = kFirstUserToolbarId; id <= kLastUserToolbarId; ++id)
        if (std::find(used.begin(), used.end(), id) == used.end())
            return id;
    return 0;
}

QString defaultUserToolbarName(const std::vector<QString>& existing) {
    for (int n = 1;; ++n) {
        const QString name = QStringLiteral("Custom %1").arg(n);
        if (std::find(existing.begin(), existing.end(), name) == existing.end())
            return name;
    }
}

QString cleanToolbarName(const QString& name) {
    QString s = name;
    s.replace(QLatin1Char('\n'), QLatin1Char(' '));
    s.replace(QLatin1Char('\r'), QLatin1Char(' '));
    s.replace(QLatin1Char('\t'), QLatin1Char(' '));
    s = s.trimmed();
    if (s.size() > kMaxToolbarNameLength)
        s = s.left(kMaxToolbarNameLength).trimmed();
    return s;
}

ButtonList parseButtonList(const QString& text, const std::function<bool(int)>& known) {
    ButtonList out;
    std::set<int> seen;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (static_cast<int>(out.size()) >= kMaxToolbarButtons)
            break;
        bool ok = false;
        const int id = part.trimmed().toInt(&ok);
        if (!ok)
            continue;
        if (id == 0) {
            if (!out.empty() && out.back() != 0)
                out.push_back(0);
            continue;
        }
        if (!known || !known(id) || !seen.insert(id).second)
            continue;
        out.push_back(id);
    }
    while (!out.empty() && out.back() == 0)
        out.pop_back();
    return out;
}

QString formatButtonList(const ButtonList& buttons) {
    QStringList parts;
    for (int id : buttons)
        parts << QString::number(id);
    return parts.join(QLatin1Char(','));
}

bool moveButton(ButtonList& from, int fromIndex, ButtonList& to, int toIndex) {
    if (fromIndex < 0 || fromIndex >= static_cast<int>(from.size()))
        return false;
    if (toIndex < 0 || toIndex > static_cast<int>(to.size()))
        return false;
    const int id = from[static_cast<std::size_t>(fromIndex)];
    if (&from == &to) {
        if (toIndex > fromIndex)
            --toIndex;
        from.erase(from.begin() + fromIndex);
        from.insert(from.begin() + toIndex, id);
        return true;
    }
    from.erase(from.begin() + fromIndex);
    to.insert(to.begin() + toIndex, id);
    return true;
}

std::vector<CommandEntry> customizableCommands() {
    std::vector<CommandEntry> out;
    std::set<int> seen;
    for (const res::MenuItem& popup : res::loadMenu(res::IDR_MarrowdaleTYPE))
        collectMenu(popup.items, menuTextToName(popup.text), out, seen);
    for (int id : res::loadToolbar(res::IDR_MAINFRAME_256)) {
        if (id == 0 || !seen.insert(id).second)
            continue;
        QString name = res::commandPrompt(id);
        if (name.isEmpty())
            name = res::commandTooltip(id);
        out.push_back({id, QStringLiteral("Toolbar buttons"), name});
    }
    return out;
}

bool isCustomizableCommand(int id) {
    const auto all = customizableCommands();
    return std::any_of(all.begin(), all.end(), [id](const CommandEntry& e) { return e.id == id; });
}

QString commandName(int id) {
    for (const CommandEntry& e : customizableCommands())
        if (e.id == id)
            return e.name;
    const QString prompt = res::commandPrompt(id);
    return prompt.isEmpty() ? QStringLiteral("Command %1").arg(id) : prompt;
}

std::span<const int> basicCommands() {
    return kBasicCommands;
}

QMimeData* makeButtonMime(const ButtonDrag& drag) {
    auto* mime = new QMimeData;
    mime->setData(QLatin1String(kButtonMimeType), QStringLiteral("%1 %2 %3")
                                                      .arg(drag.commandId)
                                                      .arg(drag.fromToolbar)
                                                      .arg(drag.fromIndex)
                                                      .toLatin1());
    return mime;
}

bool readButtonMime(const QMimeData* mime, ButtonDrag& drag) {
    if (!mime || !mime->hasFormat(QLatin1String(kButtonMimeType)))
        return false;
    const QStringList parts = QString::fromLatin1(mime->data(QLatin1String(kButtonMimeType)))
                                  .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() != 3)
        return false;
    bool ok1 = false, ok2 = false, ok3 = false;
    ButtonDrag d;
    d.commandId = parts[0].toInt(&ok1);
    d.fromToolbar = parts[1].toInt(&ok2);
    d.fromIndex = parts[2].toInt(&ok3);
    if (!ok1 || !ok2 || !ok3 || !isCustomizableCommand(d.commandId))
        return false;
    drag = d;
    return true;
}

// ---- ToolbarCustomizer ----

ToolbarCustomizer::ToolbarCustomizer(CMainFrame& frame, QSettings& settings)
    : QObject(&frame), frame_(frame), settings_(settings) {
    setObjectName(QStringLiteral("toolbarCustomizer"));
    Bar& standard = bars_[kStandardToolbarId];
    standard.bar = frame.toolBar();
    standard.buttons = defaultButtons(kStandardToolbarId);
    adopt(kStandardToolbarId, standard);
    rebuild(kStandardToolbarId);
    for (const CommandEntry& e : customizableCommands())
        defaultShortcuts_[e.id] = frame_.commandAction(e.id)->shortcuts();
    for (const res::Accelerator& a : res::loadAccelerators(res::IDR_MAINFRAME))
        defaultShortcuts_[a.id] = frame_.commandAction(a.id)->shortcuts();
    frame_.installEventFilter(this);
    runDrag = [](QMimeData* mime, QWidget* source) {
        auto* drag = new QDrag(source);
        drag->setMimeData(mime);
        return drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
    };
}

ToolbarCustomizer::~ToolbarCustomizer() {
    if (dialog_)
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
    const Bar* b = find(toolbarId);
    return b ? b->buttons : noButtons_;
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
    for (int id : b->buttons) {
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

int ToolbarCustomizer::createUserToolbar(const QString& name) {
    const std::vector<int> used = userToolbarIds();
    const int id = freeUserToolbarId(used);
    if (id == 0)
        return 0;
    QString clean = cleanToolbarName(name);
    if (clean.isEmpty()) {
        std::vector<QString> names;
        for (int u : used)
            names.push_back(toolbarName(u));
        clean = defaultUserToolbarName(names);
    }
    addUserToolbar(id, clean);
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
    Bar* b = find(toolbarId);
    if (!b)
        return;
    b->buttons = defaultButtons(toolbarId);
    rebuild(toolbarId);
    emit toolbarsChanged();
}

bool ToolbarCustomizer::insertButton(int toolbarId, int index, int commandId) {
    Bar* b = find(toolbarId);
    if (!b || !isCustomizableCommand(commandId))
        return false;
    ButtonList& list = b->buttons;
    index = std::clamp(index, 0, static_cast<int>(list.size()));
    auto present = std::find(list.begin(), list.end(), commandId);
    if (present != list.end()) {
        moveButton(list, static_cast<int>(present - list.begin()), list, index);
    } else {
        if (static_cast<int>(list.size()) >= kMaxToolbarButtons)
            return false;
        list.insert(list.begin() + index, commandId);
    }
    rebuild(toolbarId);
    emit toolbarsChanged();
    return true;
}

bool ToolbarCustomizer::insertSeparator(int toolbarId, int index) {
    Bar* b = find(toolbarId);
    if (!b || static_cast<int>(b->buttons.size()) >= kMaxToolbarButtons)
        return false;
    index = std::clamp(index, 0, static_cast<int>(b->buttons.size()));
    b->buttons.insert(b->buttons.begin() + index, 0);
    rebuild(toolbarId);
    emit toolbarsChanged();
    return true;
}

bool ToolbarCustomizer::removeButton(int toolbarId, int index) {
    Bar* b = find(toolbarId);
    if (!b || index < 0 || index >= static_cast<int>(b->buttons.size()))
        return false;
    b->buttons.erase(b->buttons.begin() + index);
    rebuild(toolbarId);
    emit toolbarsChanged();
    return true;
}

bool ToolbarCustomizer::moveButtonTo(int fromToolbar, int fromIndex, int toToolbar, int toIndex) {
    Bar* from = find(fromToolbar);
    Bar* to = find(toToolbar);
    if (!from || !to)
        return false;
    if (fromIndex < 0 || fromIndex >= static_cast<int>(from->buttons.size()))
        return false;
    const int id = from->buttons[static_cast<std::size_t>(fromIndex)];
    if (from != to && id != 0) {
        // A command already on the target toolbar moves there instead of appearing twice.
        auto present = std::find(to->buttons.begin(), to->buttons.end(), id);
        if (present != to->buttons.end()) {
            const int at = static_cast<int>(present - to->buttons.begin());
            to->buttons.erase(present);
            if (toIndex > at)
                --toIndex;
        }
        if (static_cast<int>(to->buttons.size()) >= kMaxToolbarButtons)
            return false;
    }
    toIndex = std::clamp(toIndex, 0, static_cast<int>(to->buttons.size()));
    if (!moveButton(from->buttons, fromIndex, to->buttons, toIndex))
        return false;
    rebuild(fromToolbar);
    if (toToolbar != fromToolbar)
        rebuild(toToolbar);
    emit toolbarsChanged();
    return true;
}

int ToolbarCustomizer::dropIndexAt(int toolbarId, const QPoint& pos) const {
    const Bar* b = find(toolbarId);
    if (!b)
        return 0;
    const bool vertical = b->bar->orientation() == Qt::Vertical;
    int index = 0;
    for (QAction* a : b->bar->actions()) {
        if (a == b->customizeAction)
            break;
        QWidget* w = b->bar->widgetForAction(a);
        if (w && w->isVisible()) {
            const QPoint centre = w->geometry().center();
            if ((vertical ? pos.y() : pos.x()) < (vertical ? centre.y() : centre.x()))
                return index;
        }
        ++index;
    }
    return static_cast<int>(b->buttons.size());
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
    Bar* b = find(toolbarId);
    if (!b)
        return;
    QMenu* addRemove = menu->addMenu(QStringLiteral("&Add or Remove Buttons"));
    const ButtonList defaults = defaultButtons(toolbarId);
    ButtonList offered;
    for (int id : defaults)
        if (id != 0)
            offered.push_back(id);
    for (int id : b->buttons)
        if (id != 0 && std::find(offered.begin(), offered.end(), id) == offered.end())
            offered.push_back(id);
    for (int id : offered) {
        QAction* item = addRemove->addAction(frame_.commandAction(id)->icon(), commandName(id));
        item->setCheckable(true);
        const auto& list = b->buttons;
        item->setChecked(std::find(list.begin(), list.end(), id) != list.end());
        connect(item, &QAction::toggled, this, [this, toolbarId, id, defaults](bool on) {
            Bar* bar = find(toolbarId);
            if (!bar)
                return;
            ButtonList& list = bar->buttons;
            auto at = std::find(list.begin(), list.end(), id);
            if (!on) {
                if (at != list.end())
                    removeButton(toolbarId, static_cast<int>(at - list.begin()));
                return;
            }
            if (at != list.end())
                return;
            // Back at its default place: before the first present button that follows it there.
            int index = static_cast<int>(list.size());
            auto def = std::find(defaults.begin(), defaults.end(), id);
            if (def != defaults.end()) {
                for (auto later = def + 1; later != defaults.end(); ++later) {
                    if (*later == 0)
                        continue;
                    auto found = std::find(list.begin(), list.end(), *later);
                    if (found != list.end()) {
                        index = static_cast<int>(found - list.begin());
                        break;
                    }
                }
            }
            insertButton(toolbarId, index, id);
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

void ToolbarCustomizer::OpenToolbarCustomization() {
    if (dialog_) {
        dialog_->raise();
        dialog_->activateWindow();
        return;
    }
    dialog_ = new CustomizeDialog(*this, &frame_);
    dialog_->show();
}

bool ToolbarCustomizer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &frame_) {
        if (event->type() == QEvent::Close) {
            saveWorkspace();
        } else if (event->type() == QEvent::ContextMenu) {
            auto* menuEvent = static_cast<QContextMenuEvent*>(event);
            QWidget* child = frame_.childAt(menuEvent->pos());
            QWidget* central = frame_.centralWidget();
            const bool inCentral =
                child && central && (child == central || central->isAncestorOf(child));
            if (!inCentral) {
                showPanesMenu(menuEvent->globalPos());
                return true;
            }
        }
        return false;
    }
    if (auto* bar = qobject_cast<QToolBar*>(watched); bar && toolbarIdOf(bar) >= 0) {
        switch (event->type()) {
            case QEvent::DragEnter:
            case QEvent::DragMove:
            case QEvent::Drop:
                return handleDrop(bar, event);
            case QEvent::ContextMenu:
                showPanesMenu(static_cast<QContextMenuEvent*>(event)->globalPos());
                return true;
            default:
                return false;
        }
    }
    if (auto* button = qobject_cast<QToolButton*>(watched))
        return handleButtonMouse(button, event);
    return false;
}

bool ToolbarCustomizer::handleButtonMouse(QToolButton* button, QEvent* event) {
    auto* bar = qobject_cast<QToolBar*>(button->parentWidget());
    const int toolbarId = bar ? toolbarIdOf(bar) : -1;
    if (toolbarId < 0)
        return false;
    Bar* b = find(toolbarId);
    if (!b || button == b->customize)
        return false;
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            auto* me = static_cast<QMouseEvent*>(event);
            if (me->button() != Qt::LeftButton)
                return false;
            if (!(me->modifiers() & Qt::AltModifier) && !customizing())
                return false;
            pressedButton_ = button;
            pressPos_ = me->position().toPoint();
            return true;
        }
        case QEvent::MouseMove: {
            if (pressedButton_ != button)
                return false;
            auto* me = static_cast<QMouseEvent*>(event);
            if (!(me->buttons() & Qt::LeftButton)) {
                pressedButton_ = nullptr;
                return false;
            }
            if ((me->position().toPoint() - pressPos_).manhattanLength() <
                QApplication::startDragDistance())
                return true;
            pressedButton_ = nullptr;
            // The button's place on its toolbar.
            const QList<QAction*> actions = bar->actions();
            const int index = static_cast<int>(actions.indexOf(button->defaultAction()));
            if (index < 0 || index >= static_cast<int>(b->buttons.size()))
                return true;
            const int commandId = b->buttons[static_cast<std::size_t>(index)];
            QPointer<QToolBar> source(bar);
            const Qt::DropAction result =
                runDrag(makeButtonMime({commandId, toolbarId, index}), bar);
            if (result == Qt::IgnoreAction && source) {
                // Dragged off every toolbar: the button goes away.
                Bar* still = find(toolbarId);
                if (still && index < static_cast<int>(still->buttons.size()) &&
                    still->buttons[static_cast<std::size_t>(index)] == commandId) {
                    still->buttons.erase(still->buttons.begin() + index);
                    rebuildLater(toolbarId);
                }
            }
            return true;
        }
        case QEvent::MouseButtonRelease:
            if (pressedButton_ != button)
                return false;
            pressedButton_ = nullptr;
            return true;
        default:
            return false;
    }
}

bool ToolbarCustomizer::handleDrop(QToolBar* bar, QEvent* event) {
    auto* drop = static_cast<QDropEvent*>(event);
    ButtonDrag drag;
    if (!readButtonMime(drop->mimeData(), drag))
        return false;
    const int target = toolbarIdOf(bar);
    Bar* to = find(target);
    if (!to)
        return false;
    Bar* from = drag.fromToolbar ? find(drag.fromToolbar) : nullptr;
    const bool move = from && drag.fromIndex >= 0 &&
                      drag.fromIndex < static_cast<int>(from->buttons.size()) &&
                      from->buttons[static_cast<std::size_t>(drag.fromIndex)] == drag.commandId;
    drop->setDropAction(move ? Qt::MoveAction : Qt::CopyAction);
    if (event->type() != QEvent::Drop) {
        drop->accept();
        return true;
    }
    int index = dropIndexAt(target, drop->position().toPoint());
    bool done = false;
    if (move) {
        // The toolbars are rebuilt after the drag has ended: the dragged button is the source
        // of the drag and must live until then.
        const int id = drag.commandId;
        if (from != to) {
            auto present = std::find(to->buttons.begin(), to->buttons.end(), id);
            if (present != to->buttons.end()) {
                const int at = static_cast<int>(present - to->buttons.begin());
                to->buttons.erase(present);
                if (index > at)
                    --index;
            }
        }
        index = std::clamp(index, 0, static_cast<int>(to->buttons.size()));
        if (from == to || static_cast<int>(to->buttons.size()) < kMaxToolbarButtons)
            done = moveButton(from->buttons, drag.fromIndex, to->buttons, index);
    } else {
        ButtonList& list = to->buttons;
        auto present = std::find(list.begin(), list.end(), drag.commandId);
        index = std::clamp(index, 0, static_cast<int>(list.size()));
        if (present != list.end()) {
            done = moveButton(list, static_cast<int>(present - list.begin()), list, index);
        } else if (static_cast<int>(list.size()) < kMaxToolbarButtons) {
            list.insert(list.begin() + index, drag.commandId);
            done = true;
        }
    }
    if (done) {
        rebuildLater(target);
        if (move && drag.fromToolbar != target)
            rebuildLater(drag.fromToolbar);
        drop->accept();
    } else {
        drop->ignore();
    }
    return true;
}

std::vector<int> ToolbarCustomizer::keyboardCommands() const {
    std::vector<int> ids;
    for (const auto& [id, keys] : defaultShortcuts_)
        ids.push_back(id);
    return ids;
}

QList<QKeySequence> ToolbarCustomizer::shortcuts(int commandId) const {
    if (!defaultShortcuts_.count(commandId))
        return {};
    return frame_.commandAction(commandId)->shortcuts();
}

int ToolbarCustomizer::commandOfShortcut(const QKeySequence& keys) const {
    if (keys.isEmpty())
        return 0;
    for (const auto& [id, defaults] : defaultShortcuts_)
        if (frame_.commandAction(id)->shortcuts().contains(keys))
            return id;
    return 0;
}

bool ToolbarCustomizer::assignShortcut(int commandId, const QKeySequence& keys) {
    if (keys.isEmpty() || !defaultShortcuts_.count(commandId))
        return false;
    QAction* action = frame_.commandAction(commandId);
    QList<QKeySequence> list = action->shortcuts();
    if (list.contains(keys))
        return false;
    if (const int holder = commandOfShortcut(keys))
        removeShortcut(holder, keys);
    list << keys;
    action->setShortcuts(list);
    return true;
}

bool ToolbarCustomizer::removeShortcut(int commandId, const QKeySequence& keys) {
    if (!defaultShortcuts_.count(commandId))
        return false;
    QAction* action = frame_.commandAction(commandId);
    QList<QKeySequence> list = action->shortcuts();
    if (list.removeAll(keys) == 0)
        return false;
    action->setShortcuts(list);
    return true;
}

void ToolbarCustomizer::resetShortcuts() {
    for (const auto& [id, keys] : defaultShortcuts_)
        frame_.commandAction(id)->setShortcuts(keys);
}

QString ToolbarCustomizer::formatShortcuts(const std::map<int, QList<QKeySequence>>& now,
                                           const std::map<int, QList<QKeySequence>>& defaults) {
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

std::map<int, QList<QKeySequence>> ToolbarCustomizer::parseShortcuts(
    const QString& text, const std::function<bool(int)>& known) {
    std::map<int, QList<QKeySequence>> result;
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

void ToolbarCustomizer::saveWorkspace() {
    settings_.beginGroup(QLatin1String(kWorkspaceGroup));
    settings_.remove(QString());
    settings_.setValue(QStringLiteral("StandardButtons"),
                       formatButtonList(buttons(kStandardToolbarId)));
    QStringList ids;
    for (int id : userToolbarIds()) {
        ids << QString::number(id);
        settings_.setValue(QStringLiteral("UserToolbar%1/Name").arg(id), toolbarName(id));
        settings_.setValue(QStringLiteral("UserToolbar%1/Buttons").arg(id),
                           formatButtonList(buttons(id)));
    }
    settings_.setValue(QStringLiteral("UserToolbars"), ids.join(QLatin1Char(',')));
    QStringList images;
    for (const auto& [command, image] : commandImages_)
        images << QStringLiteral("%1:%2").arg(command).arg(image);
    settings_.setValue(QStringLiteral("CommandImages"), images.join(QLatin1Char(',')));
    std::map<int, QList<QKeySequence>> keys;
    for (const auto& [id, defaults] : defaultShortcuts_)
        keys[id] = frame_.commandAction(id)->shortcuts();
    settings_.setValue(QStringLiteral("Shortcuts"), formatShortcuts(keys, defaultShortcuts_));
    settings_.setValue(QStringLiteral("State"), frame_.saveState(kStateVersion));
    settings_.setValue(QStringLiteral("Geometry"), frame_.saveGeometry());
    settings_.endGroup();
    settings_.sync();
}

void ToolbarCustomizer::restoreWorkspace() {
    settings_.beginGroup(QLatin1String(kWorkspaceGroup));
    const auto known = [](int id) { return isCustomizableCommand(id); };
    if (settings_.contains(QStringLiteral("StandardButtons"))) {
        bars_[kStandardToolbarId].buttons =
            parseButtonList(settings_.value(QStringLiteral("StandardButtons")).toString(), known);
        rebuild(kStandardToolbarId);
    }
    const QStringList ids = settings_.value(QStringLiteral("UserToolbars"))
                                .toString()
                                .split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& text : ids) {
        bool ok = false;
        const int id = text.trimmed().toInt(&ok);
        if (!ok || id < kFirstUserToolbarId || id > kLastUserToolbarId || find(id))
            continue;
        QString name = cleanToolbarName(
            settings_.value(QStringLiteral("UserToolbar%1/Name").arg(id)).toString());
        if (name.isEmpty()) {
            std::vector<QString> names;
            for (int u : userToolbarIds())
                names.push_back(toolbarName(u));
            name = defaultUserToolbarName(names);
        }
        Bar& b = addUserToolbar(id, name);
        b.buttons = parseButtonList(
            settings_.value(QStringLiteral("UserToolbar%1/Buttons").arg(id)).toString(), known);
        rebuild(id);
    }
    for (const QString& pair : settings_.value(QStringLiteral("CommandImages"))
                                   .toString()
                                   .split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList parts = pair.split(QLatin1Char(':'));
        if (parts.size() != 2)
            continue;
        bool ok1 = false, ok2 = false;
        const int command = parts[0].toInt(&ok1);
        const int image = parts[1].toInt(&ok2);
        if (!ok1 || !ok2 || image < 0 || !isCustomizableCommand(command))
            continue;
        commandImages_[command] = image;
        applyCommandImage(command);
    }
    // Stored keys replace the table's, command by command; keys given to two commands stay
    // with the first.
    const auto stored = parseShortcuts(settings_.value(QStringLiteral("Shortcuts")).toString(),
                                       [this](int id) { return defaultShortcuts_.count(id) != 0; });
    for (const auto& [id, keys] : stored)
        frame_.commandAction(id)->setShortcuts(QList<QKeySequence>{});
    for (const auto& [id, keys] : stored)
        for (const QKeySequence& k : keys)
            if (commandOfShortcut(k) == 0)
                frame_.commandAction(id)->setShortcuts(frame_.commandAction(id)->shortcuts() << k);
    const QByteArray state = settings_.value(QStringLiteral("State")).toByteArray();
    if (!state.isEmpty())
        frame_.restoreState(state, kStateVersion);
    const QByteArray geometry = settings_.value(QStringLiteral("Geometry")).toByteArray();
    if (!geometry.isEmpty())
        frame_.restoreGeometry(geometry);
    settings_.endGroup();
    emit toolbarsChanged();
}

// ---- The dialog ----

namespace {

// A push button of the dialog, named for tests, put into `layout`; a click runs `slot`.
template <typename Slot>
QPushButton* addNamedButton(QObject* receiver, QBoxLayout* layout, QWidget* page, const char* text,
                            const char* name, Slot slot) {
    auto* b = new QPushButton(QString::fromUtf8(text), page);
    b->setObjectName(QLatin1String(name));
    QObject::connect(b, &QPushButton::clicked, receiver, slot);
    layout->addWidget(b);
    return b;
}

// The dialog's command list: its items drag as toolbar buttons.
class CommandListWidget : public QListWidget {
  public:
    explicit CommandListWidget(QWidget* parent) : QListWidget(parent) {
        setDragEnabled(true);
        setDragDropMode(QAbstractItemView::DragOnly);
        setDefaultDropAction(Qt::CopyAction);
        setSelectionMode(QAbstractItemView::SingleSelection);
    }

  protected:
    QStringList mimeTypes() const override { return {QLatin1String(kButtonMimeType)}; }
    QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override {
        if (items.isEmpty())
            return nullptr;
        return makeButtonMime({items.front()->data(Qt::UserRole).toInt(), 0, -1});
    }
    Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }
    void startDrag(Qt::DropActions) override {
        QListWidgetItem* item = currentItem();
        if (!item)
            return;
        auto* drag = new QDrag(this);
        drag->setMimeData(mimeData({item}));
        drag->setPixmap(item->icon().pixmap(16, 15));
        drag->exec(Qt::CopyAction, Qt::CopyAction);
    }
};

}  // namespace

CustomizeDialog::CustomizeDialog(ToolbarCustomizer& customizer, QWidget* parent)
    : QDialog(parent), customizer_(customizer) {
    setObjectName(QStringLiteral("customizeDialog"));
    setWindowTitle(QStringLiteral("Customize"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);

    auto* tabs = new QTabWidget(this);

    // Commands page: categories, their commands, and the buttons of a chosen toolbar.
    auto* commandsPage = new QWidget(tabs);
    auto* grid = new QGridLayout(commandsPage);
    auto* categoriesLabel = new QLabel(QStringLiteral("Cate&gories:"), commandsPage);
    auto* commandsLabel = new QLabel(QStringLiteral("Comman&ds:"), commandsPage);
    grid->addWidget(categoriesLabel, 0, 0);
    grid->addWidget(commandsLabel, 0, 1);
    categories_ = new QListWidget(commandsPage);
    categories_->setObjectName(QStringLiteral("categories"));
    commands_ = new CommandListWidget(commandsPage);
    commands_->setObjectName(QStringLiteral("commands"));
    categoriesLabel->setBuddy(categories_);
    commandsLabel->setBuddy(commands_);
    grid->addWidget(categories_, 1, 0);
    grid->addWidget(commands_, 1, 1);

    auto* toolbarRow = new QHBoxLayout;
    auto* toolbarLabel = new QLabel(QStringLiteral("Tool&bar:"), commandsPage);
    toolbarRow->addWidget(toolbarLabel);
    toolbarChoice_ = new QComboBox(commandsPage);
    toolbarLabel->setBuddy(toolbarChoice_);
    toolbarChoice_->setObjectName(QStringLiteral("toolbarChoice"));
    toolbarRow->addWidget(toolbarChoice_, 1);
    grid->addLayout(toolbarRow, 2, 0, 1, 2);

    buttons_ = new QListWidget(commandsPage);
    buttons_->setObjectName(QStringLiteral("toolbarButtons"));
    grid->addWidget(buttons_, 3, 0);
    auto* buttonColumn = new QVBoxLayout;
    auto addButton = [&](const char* text, const char* name, auto slot) {
        return addNamedButton(this, buttonColumn, commandsPage, text, name, slot);
    };
    addButton("&Add", "addButton", [this] { addSelectedCommand(); });
    addButton("&Remove", "removeButton", [this] { removeSelectedButton(); });
    addButton("Move &Up", "moveUpButton", [this] { moveSelectedButton(-1); });
    addButton("Move Do&wn", "moveDownButton", [this] { moveSelectedButton(1); });
    addButton("&Separator", "separatorButton", [this] {
        const int row = buttons_->currentRow();
        customizer_.insertSeparator(chosenToolbar(), row < 0 ? buttons_->count() : row + 1);
    });
    buttonColumn->addStretch(1);
    grid->addLayout(buttonColumn, 3, 1);

    auto* imageBox = new QGroupBox(QStringLiteral("Button &image (user images)"), commandsPage);
    auto* imageLayout = new QHBoxLayout(imageBox);
    images_ = new QListWidget(imageBox);
    images_->setObjectName(QStringLiteral("userImages"));
    images_->setViewMode(QListView::IconMode);
    images_->setIconSize(QSize(kUserImageWidth, kUserImageHeight));
    images_->setMovement(QListView::Static);
    images_->setMaximumHeight(72);
    imageLayout->addWidget(images_, 1);
    auto* useImage = new QPushButton(QStringLiteral("&Use Image"), imageBox);
    useImage->setObjectName(QStringLiteral("useImageButton"));
    connect(useImage, &QPushButton::clicked, this, [this] { applyImage(); });
    imageLayout->addWidget(useImage);
    grid->addWidget(imageBox, 4, 0, 1, 2);
    auto* hint = new QLabel(QStringLiteral("Drag a command onto a toolbar to add it. Drag a "
                                           "button off its toolbar to remove it."),
                            commandsPage);
    hint->setWordWrap(true);
    grid->addWidget(hint, 5, 0, 1, 2);
    tabs->addTab(commandsPage, QStringLiteral("&Commands"));

    // Toolbars page: show, hide, make, rename, delete, reset.
    auto* toolbarsPage = new QWidget(tabs);
    auto* row = new QHBoxLayout(toolbarsPage);
    toolbars_ = new QListWidget(toolbarsPage);
    toolbars_->setObjectName(QStringLiteral("toolbarList"));
    row->addWidget(toolbars_, 1);
    auto* column = new QVBoxLayout;
    new_ = new QPushButton(QStringLiteral("&New..."), toolbarsPage);
    new_->setObjectName(QStringLiteral("newToolbarButton"));
    rename_ = new QPushButton(QStringLiteral("Rena&me..."), toolbarsPage);
    rename_->setObjectName(QStringLiteral("renameToolbarButton"));
    delete_ = new QPushButton(QStringLiteral("&Delete"), toolbarsPage);
    delete_->setObjectName(QStringLiteral("deleteToolbarButton"));
    auto* reset = new QPushButton(QStringLiteral("R&eset"), toolbarsPage);
    reset->setObjectName(QStringLiteral("resetToolbarButton"));
    connect(new_, &QPushButton::clicked, this, [this] { newToolbar(); });
    connect(rename_, &QPushButton::clicked, this, [this] { renameToolbar(); });
    connect(delete_, &QPushButton::clicked, this, [this] { deleteToolbar(); });
    connect(reset, &QPushButton::clicked, this, [this] { resetToolbar(); });
    for (QPushButton* b : {new_, rename_, delete_, reset})
        column->addWidget(b);
    column->addStretch(1);
    row->addLayout(column);
    tabs->addTab(toolbarsPage, QStringLiteral("&Toolbars"));

    // Keyboard page: the keys of each command; new keys taken from another command.
    auto* keyboardPage = new QWidget(tabs);
    auto* keyGrid = new QGridLayout(keyboardPage);
    auto* keyCommandsLabel = new QLabel(QStringLiteral("Co&mmands:"), keyboardPage);
    keyCommands_ = new QListWidget(keyboardPage);
    keyCommands_->setObjectName(QStringLiteral("keyboardCommands"));
    keyCommandsLabel->setBuddy(keyCommands_);
    keyGrid->addWidget(keyCommandsLabel, 0, 0);
    keyGrid->addWidget(keyCommands_, 1, 0, 6, 1);
    auto* currentLabel = new QLabel(QStringLiteral("C&urrent Keys:"), keyboardPage);
    currentKeys_ = new QListWidget(keyboardPage);
    currentKeys_->setObjectName(QStringLiteral("currentKeys"));
    currentLabel->setBuddy(currentKeys_);
    keyGrid->addWidget(currentLabel, 0, 1);
    keyGrid->addWidget(currentKeys_, 1, 1);
    auto* newLabel = new QLabel(QStringLiteral("&Press New Shortcut Key:"), keyboardPage);
    newKeys_ = new QKeySequenceEdit(keyboardPage);
    newKeys_->setObjectName(QStringLiteral("newKeys"));
    newLabel->setBuddy(newKeys_);
    keyGrid->addWidget(newLabel, 2, 1);
    keyGrid->addWidget(newKeys_, 3, 1);
    assignedTo_ = new QLabel(keyboardPage);
    assignedTo_->setObjectName(QStringLiteral("assignedTo"));
    keyGrid->addWidget(assignedTo_, 4, 1);
    auto* keyButtons = new QHBoxLayout;
    auto addKeyButton = [&](const char* text, const char* name, auto slot) {
        return addNamedButton(this, keyButtons, keyboardPage, text, name, slot);
    };
    addKeyButton("&Assign", "assignKeyButton", [this] { assignKeys(); });
    addKeyButton("&Remove", "removeKeyButton", [this] { removeKeys(); });
    addKeyButton("Reset A&ll", "resetKeysButton", [this] { resetAllKeys(); });
    keyGrid->addLayout(keyButtons, 5, 1);
    keyGrid->setRowStretch(6, 1);
    tabs->addTab(keyboardPage, QStringLiteral("&Keyboard"));
    for (int id : customizer_.keyboardCommands()) {
        auto* item = new QListWidgetItem(commandName(id), keyCommands_);
        item->setData(Qt::UserRole, id);
    }
    keyCommands_->sortItems();
    connect(keyCommands_, &QListWidget::currentRowChanged, this, [this] { refreshKeys(); });
    connect(newKeys_, &QKeySequenceEdit::keySequenceChanged, this, [this] { showAssignedTo(); });

    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("closeButton"));
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(close);
    layout->addLayout(bottom);

    // Categories: the menus, the toolbar-only commands, and everything.
    QStringList names;
    for (const CommandEntry& e : customizableCommands())
        if (!names.contains(e.category))
            names << e.category;
    names << QStringLiteral("All Commands");
    categories_->addItems(names);
    connect(categories_, &QListWidget::currentRowChanged, this, &CustomizeDialog::showCategory);
    categories_->setCurrentRow(0);

    for (int i = 0; i < customizer_.userImages().count(); ++i) {
        auto* item = new QListWidgetItem(QIcon(customizer_.userImages().image(i)),
                                         QString::number(i + 1), images_);
        item->setData(Qt::UserRole, i);
    }
    if (customizer_.userImages().isEmpty()) {
        imageBox->setEnabled(false);
        imageBox->setTitle(QStringLiteral("Button &image (no user images)"));
    } else {
        auto* own = new QListWidgetItem(QStringLiteral("Own"));
        own->setData(Qt::UserRole, -1);
        images_->insertItem(0, own);
    }

    connect(toolbarChoice_, &QComboBox::currentIndexChanged, this, [this] {
        if (!refreshing_)
            refreshButtons();
    });
    connect(toolbars_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (refreshing_)
            return;
        customizer_.setToolbarVisible(item->data(Qt::UserRole).toInt(),
                                      item->checkState() == Qt::Checked);
    });
    connect(toolbars_, &QListWidget::currentRowChanged, this, [this] {
        const int id = selectedToolbarOnList();
        rename_->setEnabled(id >= kFirstUserToolbarId);
        delete_->setEnabled(id >= kFirstUserToolbarId);
    });
    connect(&customizer_, &ToolbarCustomizer::toolbarsChanged, this, &CustomizeDialog::refresh);
    refresh();
    resize(560, 520);
}

void CustomizeDialog::showCategory(int row) {
    commands_->clear();
    if (row < 0 || row >= categories_->count())
        return;
    const QString category = categories_->item(row)->text();
    const bool all = row == categories_->count() - 1;
    for (const CommandEntry& e : customizableCommands()) {
        if (!all && e.category != category)
            continue;
        auto* item = new QListWidgetItem(e.name, commands_);
        const QPixmap picture = toolbarPicture(e.id);
        if (!picture.isNull())
            item->setIcon(QIcon(picture));
        item->setData(Qt::UserRole, e.id);
    }
    if (commands_->count() > 0)
        commands_->setCurrentRow(0);
}

int CustomizeDialog::chosenToolbar() const {
    return toolbarChoice_->currentData().toInt();
}

void CustomizeDialog::chooseToolbar(int toolbarId) {
    const int index = toolbarChoice_->findData(toolbarId);
    if (index >= 0)
        toolbarChoice_->setCurrentIndex(index);
}

int CustomizeDialog::selectedCommand() const {
    QListWidgetItem* item = commands_->currentItem();
    return item ? item->data(Qt::UserRole).toInt() : 0;
}

int CustomizeDialog::selectedToolbarOnList() const {
    QListWidgetItem* item = toolbars_->currentItem();
    return item ? item->data(Qt::UserRole).toInt() : 0;
}

void CustomizeDialog::refresh() {
    refreshing_ = true;
    const int chosen = chosenToolbar();
    const int listed = selectedToolbarOnList();
    toolbarChoice_->clear();
    toolbars_->clear();
    for (int id : customizer_.toolbarIds()) {
        const QString name = customizer_.toolbarName(id);
        toolbarChoice_->addItem(name, id);
        auto* item = new QListWidgetItem(name, toolbars_);
        item->setData(Qt::UserRole, id);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        QToolBar* bar = customizer_.toolbar(id);
        item->setCheckState(bar && !bar->isHidden() ? Qt::Checked : Qt::Unchecked);
    }
    const int choiceIndex = toolbarChoice_->findData(chosen);
    toolbarChoice_->setCurrentIndex(choiceIndex >= 0 ? choiceIndex : 0);
    for (int i = 0; i < toolbars_->count(); ++i)
        if (toolbars_->item(i)->data(Qt::UserRole).toInt() == listed)
            toolbars_->setCurrentRow(i);
    if (!toolbars_->currentItem() && toolbars_->count() > 0)
        toolbars_->setCurrentRow(0);
    const int id = selectedToolbarOnList();
    rename_->setEnabled(id >= kFirstUserToolbarId);
    delete_->setEnabled(id >= kFirstUserToolbarId);
    new_->setEnabled(static_cast<int>(customizer_.userToolbarIds().size()) < kMaxUserToolbars);
    refreshing_ = false;
    refreshButtons();
}

void CustomizeDialog::refreshButtons() {
    const int row = buttons_->currentRow();
    buttons_->clear();
    for (int id : customizer_.buttons(chosenToolbar())) {
        auto* item = new QListWidgetItem(id == 0 ? QStringLiteral("(separator)") : commandName(id),
                                         buttons_);
        item->setData(Qt::UserRole, id);
        if (id != 0)
            item->setIcon(customizer_.commandIcon(id));
    }
    if (buttons_->count() > 0)
        buttons_->setCurrentRow(std::clamp(row, 0, buttons_->count() - 1));
}

void CustomizeDialog::addSelectedCommand() {
    const int command = selectedCommand();
    if (command == 0)
        return;
    const int row = buttons_->currentRow();
    const int at = row < 0 ? buttons_->count() : row + 1;
    if (customizer_.insertButton(chosenToolbar(), at, command)) {
        const auto& list = customizer_.buttons(chosenToolbar());
        auto it = std::find(list.begin(), list.end(), command);
        if (it != list.end())
            buttons_->setCurrentRow(static_cast<int>(it - list.begin()));
    }
}

void CustomizeDialog::removeSelectedButton() {
    const int row = buttons_->currentRow();
    if (row >= 0)
        customizer_.removeButton(chosenToolbar(), row);
}

void CustomizeDialog::moveSelectedButton(int delta) {
    const int row = buttons_->currentRow();
    const int to = row + delta;
    if (row < 0 || to < 0 || to >= buttons_->count())
        return;
    const int toolbarId = chosenToolbar();
    if (customizer_.moveButtonTo(toolbarId, row, toolbarId, delta > 0 ? to + 1 : to))
        buttons_->setCurrentRow(to);
}

void CustomizeDialog::newToolbar() {
    std::vector<QString> names;
    for (int id : customizer_.userToolbarIds())
        names.push_back(customizer_.toolbarName(id));
    bool ok = false;
    const QString name =
        QInputDialog::getText(this, QStringLiteral("New Toolbar"), QStringLiteral("Toolbar &name:"),
                              QLineEdit::Normal, defaultUserToolbarName(names), &ok);
    if (!ok || cleanToolbarName(name).isEmpty())
        return;
    const int id = customizer_.createUserToolbar(name);
    if (id != 0)
        chooseToolbar(id);
}

void CustomizeDialog::renameToolbar() {
    const int id = selectedToolbarOnList();
    if (id < kFirstUserToolbarId)
        return;
    bool ok = false;
    const QString name = QInputDialog::getText(this, QStringLiteral("Rename Toolbar"),
                                               QStringLiteral("Toolbar &name:"), QLineEdit::Normal,
                                               customizer_.toolbarName(id), &ok);
    if (ok)
        customizer_.renameUserToolbar(id, name);
}

void CustomizeDialog::deleteToolbar() {
    const int id = selectedToolbarOnList();
    if (id < kFirstUserToolbarId)
        return;
    const auto answer = QMessageBox::question(
        this, QStringLiteral("Customize"),
        QStringLiteral("Delete the toolbar '%1'?").arg(customizer_.toolbarName(id)));
    if (answer == QMessageBox::Yes)
        customizer_.deleteUserToolbar(id);
}

void CustomizeDialog::resetToolbar() {
    const int id = selectedToolbarOnList();
    if (id != 0)
        customizer_.resetToolbar(id);
}

void CustomizeDialog::applyImage() {
    const int command = selectedCommand();
    QListWidgetItem* item = images_->currentItem();
    if (command == 0 || !item)
        return;
    customizer_.setCommandImage(command, item->data(Qt::UserRole).toInt());
}

// ---- Set-up ----

int CustomizeDialog::selectedKeyboardCommand() const {
    const QListWidgetItem* item = keyCommands_->currentItem();
    return item ? item->data(Qt::UserRole).toInt() : 0;
}

void CustomizeDialog::refreshKeys() {
    currentKeys_->clear();
    for (const QKeySequence& k : customizer_.shortcuts(selectedKeyboardCommand()))
        currentKeys_->addItem(k.toString(QKeySequence::NativeText));
    showAssignedTo();
}

void CustomizeDialog::showAssignedTo() {
    const int holder = customizer_.commandOfShortcut(newKeys_->keySequence());
    assignedTo_->setText(holder ? QStringLiteral("Assigned to: %1").arg(commandName(holder))
                                : QString());
}

void CustomizeDialog::assignKeys() {
    if (customizer_.assignShortcut(selectedKeyboardCommand(), newKeys_->keySequence()))
        newKeys_->clear();
    refreshKeys();
}

void CustomizeDialog::removeKeys() {
    const int row = currentKeys_->currentRow();
    const QList<QKeySequence> keys = customizer_.shortcuts(selectedKeyboardCommand());
    if (row >= 0 && row < keys.size())
        customizer_.removeShortcut(selectedKeyboardCommand(), keys[row]);
    refreshKeys();
}

void CustomizeDialog::resetAllKeys() {
    customizer_.resetShortcuts();
    refreshKeys();
}

ApplicationLooks* attachLooksAndCustomization(CMainFrame& frame, QSettings& settings) {
    // Smart docking from the start; the looks that do not set it leave it so.
    setDockingMode(frame, DockingMode::Smart);
    auto* customizer = new ToolbarCustomizer(frame, settings);

    auto* looks = new ApplicationLooks(frame, settings);
    looks->bindCommands(frame.commandMap());
    // The looks' menu items show their mark as a radio mark.
    auto* group = new QActionGroup(&frame);
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (int id = kFirstLook; id <= kLastLook; ++id)
        group->addAction(frame.commandAction(id));
    looks->SelectApplicationLook(looks->applicationLook());

    frame.commandMap().on(res::ID_VIEW_CUSTOMIZE,
                          [customizer] { customizer->OpenToolbarCustomization(); });
    customizer->loadUserImages(QString::fromLatin1(kUserImagesFile));
    customizer->restoreWorkspace();
    frame.updateCommandStates();
    return looks;
}

}  // namespace marrowdale
