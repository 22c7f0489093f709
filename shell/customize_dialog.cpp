#include "shell/customize_dialog.h"

#include <QComboBox>
#include <QDrag>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "shell/desktop_keys.h"
#include "shell/toolbar_commands.h"
#include "shell/toolbar_customizer.h"
#include "shell/toolbar_pictures.h"
#include "shell/user_images.h"

namespace marrowdale {

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

void OpenToolbarCustomization(ToolbarCustomizer& customizer) {
    if (QWidget* open = customizer.customizeDialog()) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto* dialog = new CustomizeDialog(customizer, customizer.frame());
    customizer.setCustomizeDialog(dialog);
    dialog->show();
}

CustomizeDialog* customizeDialogOf(const ToolbarCustomizer& customizer) {
    return qobject_cast<CustomizeDialog*>(customizer.customizeDialog());
}

CustomizeDialog::CustomizeDialog(ToolbarCustomizer& customizer, QWidget* parent)
    : QDialog(parent), customizer_(customizer) {
    setObjectName(QStringLiteral("customizeDialog"));
    setWindowTitle(QStringLiteral("Customize"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);

    auto* tabs = new QTabWidget(this);
    tabs->addTab(buildCommandsPage(tabs), QStringLiteral("&Commands"));
    tabs->addTab(buildToolbarsPage(tabs), QStringLiteral("&Toolbars"));
    tabs->addTab(buildKeyboardPage(tabs), QStringLiteral("&Keyboard"));

    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("closeButton"));
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(close);
    layout->addLayout(bottom);

    connect(&customizer_, &ToolbarCustomizer::toolbarsChanged, this, &CustomizeDialog::refresh);
    refresh();
    resize(560, 520);
}

// Categories, their commands, the buttons of a chosen toolbar and the user images.
QWidget* CustomizeDialog::buildCommandsPage(QTabWidget* tabs) {
    auto* page = new QWidget(tabs);
    auto* grid = new QGridLayout(page);
    auto* categoriesLabel = new QLabel(QStringLiteral("Cate&gories:"), page);
    auto* commandsLabel = new QLabel(QStringLiteral("Comman&ds:"), page);
    grid->addWidget(categoriesLabel, 0, 0);
    grid->addWidget(commandsLabel, 0, 1);
    categories_ = new QListWidget(page);
    categories_->setObjectName(QStringLiteral("categories"));
    commands_ = new CommandListWidget(page);
    commands_->setObjectName(QStringLiteral("commands"));
    categoriesLabel->setBuddy(categories_);
    commandsLabel->setBuddy(commands_);
    grid->addWidget(categories_, 1, 0);
    grid->addWidget(commands_, 1, 1);

    auto* toolbarRow = new QHBoxLayout;
    auto* toolbarLabel = new QLabel(QStringLiteral("Tool&bar:"), page);
    toolbarRow->addWidget(toolbarLabel);
    toolbarChoice_ = new QComboBox(page);
    toolbarLabel->setBuddy(toolbarChoice_);
    toolbarChoice_->setObjectName(QStringLiteral("toolbarChoice"));
    toolbarRow->addWidget(toolbarChoice_, 1);
    grid->addLayout(toolbarRow, 2, 0, 1, 2);

    buttons_ = new QListWidget(page);
    buttons_->setObjectName(QStringLiteral("toolbarButtons"));
    grid->addWidget(buttons_, 3, 0);
    auto* buttonColumn = new QVBoxLayout;
    auto addButton = [&](const char* text, const char* name, auto slot) {
        return addNamedButton(this, buttonColumn, page, text, name, slot);
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

    auto* imageBox = new QGroupBox(QStringLiteral("Button &image (user images)"), page);
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
                            page);
    hint->setWordWrap(true);
    grid->addWidget(hint, 5, 0, 1, 2);

    fillCategories();
    fillImages(imageBox);
    connect(toolbarChoice_, &QComboBox::currentIndexChanged, this, [this] {
        if (!refreshing_)
            refreshButtons();
    });
    return page;
}

// Show, hide, make, rename, delete, reset.
QWidget* CustomizeDialog::buildToolbarsPage(QTabWidget* tabs) {
    auto* page = new QWidget(tabs);
    auto* row = new QHBoxLayout(page);
    toolbars_ = new QListWidget(page);
    toolbars_->setObjectName(QStringLiteral("toolbarList"));
    row->addWidget(toolbars_, 1);
    auto* column = new QVBoxLayout;
    new_ = new QPushButton(QStringLiteral("&New..."), page);
    new_->setObjectName(QStringLiteral("newToolbarButton"));
    rename_ = new QPushButton(QStringLiteral("Rena&me..."), page);
    rename_->setObjectName(QStringLiteral("renameToolbarButton"));
    delete_ = new QPushButton(QStringLiteral("&Delete"), page);
    delete_->setObjectName(QStringLiteral("deleteToolbarButton"));
    auto* reset = new QPushButton(QStringLiteral("R&eset"), page);
    reset->setObjectName(QStringLiteral("resetToolbarButton"));
    connect(new_, &QPushButton::clicked, this, [this] { newToolbar(); });
    connect(rename_, &QPushButton::clicked, this, [this] { renameToolbar(); });
    connect(delete_, &QPushButton::clicked, this, [this] { deleteToolbar(); });
    connect(reset, &QPushButton::clicked, this, [this] { resetToolbar(); });
    for (QPushButton* b : {new_, rename_, delete_, reset})
        column->addWidget(b);
    column->addStretch(1);
    row->addLayout(column);

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
    return page;
}

// The keys of each command; new keys taken from another command.
QWidget* CustomizeDialog::buildKeyboardPage(QTabWidget* tabs) {
    auto* page = new QWidget(tabs);
    auto* keyGrid = new QGridLayout(page);
    auto* keyCommandsLabel = new QLabel(QStringLiteral("Co&mmands:"), page);
    keyCommands_ = new QListWidget(page);
    keyCommands_->setObjectName(QStringLiteral("keyboardCommands"));
    keyCommandsLabel->setBuddy(keyCommands_);
    keyGrid->addWidget(keyCommandsLabel, 0, 0);
    keyGrid->addWidget(keyCommands_, 1, 0, 6, 1);
    auto* currentLabel = new QLabel(QStringLiteral("C&urrent Keys:"), page);
    currentKeys_ = new QListWidget(page);
    currentKeys_->setObjectName(QStringLiteral("currentKeys"));
    currentLabel->setBuddy(currentKeys_);
    keyGrid->addWidget(currentLabel, 0, 1);
    keyGrid->addWidget(currentKeys_, 1, 1);
    auto* newLabel = new QLabel(QStringLiteral("&Press New Shortcut Key:"), page);
    newKeys_ = new QKeySequenceEdit(page);
    newKeys_->setObjectName(QStringLiteral("newKeys"));
    newLabel->setBuddy(newKeys_);
    keyGrid->addWidget(newLabel, 2, 1);
    keyGrid->addWidget(newKeys_, 3, 1);
    assignedTo_ = new QLabel(page);
    assignedTo_->setObjectName(QStringLiteral("assignedTo"));
    keyGrid->addWidget(assignedTo_, 4, 1);
    auto* keyButtons = new QHBoxLayout;
    auto addKeyButton = [&](const char* text, const char* name, auto slot) {
        return addNamedButton(this, keyButtons, page, text, name, slot);
    };
    addKeyButton("&Assign", "assignKeyButton", [this] { assignKeys(); });
    addKeyButton("&Remove", "removeKeyButton", [this] { removeKeys(); });
    addKeyButton("Reset A&ll", "resetKeysButton", [this] { resetAllKeys(); });
    keyGrid->addLayout(keyButtons, 5, 1);
    keyGrid->setRowStretch(6, 1);
    if (GlobalShortcuts* global = customizer_.globalShortcuts()) {
        globalKeys_ = new GlobalKeysGroup(*global, page);
        keyGrid->addWidget(globalKeys_, 7, 0, 1, 2);
    }

    for (int id : customizer_.shortcutMap().keyboardCommands()) {
        auto* item = new QListWidgetItem(commandName(id), keyCommands_);
        item->setData(Qt::UserRole, id);
    }
    keyCommands_->sortItems();
    connect(keyCommands_, &QListWidget::currentRowChanged, this, [this] { refreshKeys(); });
    connect(newKeys_, &QKeySequenceEdit::keySequenceChanged, this, [this] { showAssignedTo(); });
    return page;
}

// The menus, the toolbar-only commands, and everything.
void CustomizeDialog::fillCategories() {
    QStringList names;
    for (const CommandEntry& e : customizableCommands())
        if (!names.contains(e.category))
            names << e.category;
    names << QStringLiteral("All Commands");
    categories_->addItems(names);
    connect(categories_, &QListWidget::currentRowChanged, this, &CustomizeDialog::showCategory);
    categories_->setCurrentRow(0);
}

void CustomizeDialog::fillImages(QGroupBox* imageBox) {
    const UserImages& images = customizer_.userImages();
    for (int i = 0; i < images.count(); ++i) {
        auto* item = new QListWidgetItem(QIcon(images.image(i)), QString::number(i + 1), images_);
        item->setData(Qt::UserRole, i);
    }
    if (images.isEmpty()) {
        imageBox->setEnabled(false);
        imageBox->setTitle(QStringLiteral("Button &image (no user images)"));
    } else {
        auto* own = new QListWidgetItem(QStringLiteral("Own"));
        own->setData(Qt::UserRole, -1);
        images_->insertItem(0, own);
    }
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

int CustomizeDialog::selectedKeyboardCommand() const {
    const QListWidgetItem* item = keyCommands_->currentItem();
    return item ? item->data(Qt::UserRole).toInt() : 0;
}

void CustomizeDialog::refreshKeys() {
    currentKeys_->clear();
    for (const QKeySequence& k : customizer_.shortcutMap().shortcuts(selectedKeyboardCommand()))
        currentKeys_->addItem(k.toString(QKeySequence::NativeText));
    showAssignedTo();
}

void CustomizeDialog::showAssignedTo() {
    const int holder = customizer_.shortcutMap().commandOfShortcut(newKeys_->keySequence());
    assignedTo_->setText(holder ? QStringLiteral("Assigned to: %1").arg(commandName(holder))
                                : QString());
}

void CustomizeDialog::assignKeys() {
    if (customizer_.shortcutMap().assignShortcut(selectedKeyboardCommand(),
                                                 newKeys_->keySequence()))
        newKeys_->clear();
    refreshKeys();
}

void CustomizeDialog::removeKeys() {
    const int row = currentKeys_->currentRow();
    const QList<QKeySequence> keys = customizer_.shortcutMap().shortcuts(selectedKeyboardCommand());
    if (row >= 0 && row < keys.size())
        customizer_.shortcutMap().removeShortcut(selectedKeyboardCommand(), keys[row]);
    refreshKeys();
}

void CustomizeDialog::resetAllKeys() {
    customizer_.shortcutMap().resetShortcuts();
    refreshKeys();
}

}  // namespace marrowdale
