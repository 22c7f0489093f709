#include "shell/desktop_keys.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QTreeWidget>

#include "resources/resources.h"
#include "shell/main_frame.h"

namespace marrowdale {

namespace {

constexpr Qt::KeyboardModifiers kCtrlAltShift =
    Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier;

struct GlobalCommand {
    int id;
    const char* name;
    QKeyCombination defaults;
};

// Ctrl+Alt+Shift with a letter that the common desktops, terminals and editors leave free.
const std::vector<GlobalCommand>& globalCommands() {
    static const std::vector<GlobalCommand> commands = {
        {res::ID_RECORD, "Record screen", QKeyCombination(kCtrlAltShift, Qt::Key_V)},
        {res::ID_START_BOTH, "Record screen and sound", QKeyCombination(kCtrlAltShift, Qt::Key_B)},
        {res::ID_STOP_RECORDING, "Stop recording", QKeyCombination(kCtrlAltShift, Qt::Key_X)},
    };
    return commands;
}

// One chord of `keys` as the desktop-wide keys take it; none for no keys or several chords.
std::optional<KeyChord> chordOf(const QKeySequence& keys) {
    if (keys.count() != 1)
        return std::nullopt;
    return parseKeyChord(QKeySequence(keys[0]).toString(QKeySequence::PortableText).toStdString());
}

}  // namespace

GlobalShortcuts::GlobalShortcuts(std::unique_ptr<GlobalKeys> keys, std::function<void(int)> run,
                                 QObject* parent)
    : QObject(parent), keys_(std::move(keys)), run_(std::move(run)) {
    if (keys_ && keys_->fileDescriptor() >= 0) {
        notifier_ = new QSocketNotifier(keys_->fileDescriptor(), QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &GlobalShortcuts::dispatch);
    }
    for (const GlobalCommand& c : globalCommands()) {
        entries_[c.id].keys = QKeySequence(c.defaults);
        grab(c.id);
    }
}

GlobalShortcuts::~GlobalShortcuts() {
    // The notifier goes before the connection whose socket it watches.
    delete notifier_;
    notifier_ = nullptr;
}

const std::vector<int>& GlobalShortcuts::commands() {
    static const std::vector<int> ids = [] {
        std::vector<int> out;
        for (const GlobalCommand& c : globalCommands())
            out.push_back(c.id);
        return out;
    }();
    return ids;
}

bool GlobalShortcuts::isCommand(int commandId) {
    for (const GlobalCommand& c : globalCommands())
        if (c.id == commandId)
            return true;
    return false;
}

QKeySequence GlobalShortcuts::defaultKeys(int commandId) {
    for (const GlobalCommand& c : globalCommands())
        if (c.id == commandId)
            return QKeySequence(c.defaults);
    return {};
}

QString GlobalShortcuts::commandName(int commandId) {
    for (const GlobalCommand& c : globalCommands())
        if (c.id == commandId)
            return QString::fromLatin1(c.name);
    return {};
}

QKeySequence GlobalShortcuts::keys(int commandId) const {
    const auto it = entries_.find(commandId);
    return it != entries_.end() ? it->second.keys : QKeySequence();
}

GlobalShortcuts::State GlobalShortcuts::state(int commandId) const {
    const auto it = entries_.find(commandId);
    return it != entries_.end() ? it->second.state : State::kNone;
}

QString GlobalShortcuts::stateText(int commandId) const {
    switch (state(commandId)) {
        case State::kActive:
            return QStringLiteral("Works in every window");
        case State::kNone:
            return QStringLiteral("No keys");
        case State::kTaken:
            return QStringLiteral("Held by another program");
        case State::kUnusable:
            return QStringLiteral("Not a key this keyboard has");
        case State::kUnavailable:
            return QStringLiteral("This desktop gives no global keys");
    }
    return {};
}

int GlobalShortcuts::commandOfKeys(const QKeySequence& keys) const {
    if (keys.isEmpty())
        return 0;
    for (const auto& [id, entry] : entries_)
        if (entry.keys == keys)
            return id;
    return 0;
}

void GlobalShortcuts::grab(int commandId) {
    Entry& entry = entries_[commandId];
    if (keys_)
        keys_->release(commandId);
    if (entry.keys.isEmpty()) {
        entry.state = State::kNone;
        return;
    }
    if (!keys_) {
        entry.state = State::kUnavailable;
        return;
    }
    const std::optional<KeyChord> chord = chordOf(entry.keys);
    if (!chord) {
        entry.state = State::kUnusable;
        return;
    }
    switch (keys_->grab(commandId, *chord)) {
        case KeyGrabResult::kGrabbed:
            entry.state = State::kActive;
            break;
        case KeyGrabResult::kTaken:
            entry.state = State::kTaken;
            break;
        case KeyGrabResult::kUnknownKey:
            entry.state = State::kUnusable;
            break;
    }
    // The display may have read presses while it answered the grab: they wait in the queue
    // without the socket becoming readable.
    QTimer::singleShot(0, this, &GlobalShortcuts::dispatch);
}

GlobalShortcuts::State GlobalShortcuts::setKeys(int commandId, const QKeySequence& keys) {
    if (!isCommand(commandId))
        return State::kNone;
    if (const int holder = commandOfKeys(keys); holder != 0 && holder != commandId) {
        entries_[holder].keys = QKeySequence();
        grab(holder);
    }
    entries_[commandId].keys = keys;
    grab(commandId);
    emit keysChanged();
    return state(commandId);
}

void GlobalShortcuts::resetAll() {
    for (const GlobalCommand& c : globalCommands()) {
        if (keys_)
            keys_->release(c.id);
        entries_[c.id].keys = QKeySequence(c.defaults);
    }
    for (const GlobalCommand& c : globalCommands())
        grab(c.id);
    emit keysChanged();
}

ShortcutTable GlobalShortcuts::changedKeys() const {
    ShortcutTable out;
    for (const auto& [id, entry] : entries_) {
        if (entry.keys == defaultKeys(id))
            continue;
        out[id] = entry.keys.isEmpty() ? QList<QKeySequence>{} : QList<QKeySequence>{entry.keys};
    }
    return out;
}

void GlobalShortcuts::apply(const ShortcutTable& stored) {
    for (const auto& [id, keys] : stored) {
        if (!isCommand(id))
            continue;
        if (keys_)
            keys_->release(id);
        entries_[id].keys = keys.isEmpty() ? QKeySequence() : keys.front();
    }
    // Keys given to two commands stay with the first.
    for (const int id : commands())
        for (const int other : commands())
            if (other < id && !entries_[id].keys.isEmpty() &&
                entries_[other].keys == entries_[id].keys)
                entries_[id].keys = QKeySequence();
    for (const int id : commands())
        grab(id);
    emit keysChanged();
}

QString GlobalShortcuts::problems() const {
    QStringList lines;
    for (const int id : commands()) {
        const State s = state(id);
        if (s == State::kTaken || s == State::kUnusable)
            lines << QStringLiteral("%1 (%2): %3")
                         .arg(commandName(id), keys(id).toString(QKeySequence::NativeText),
                              stateText(id).toLower());
    }
    if (lines.isEmpty())
        return {};
    return QStringLiteral("Global keys that do not work: ") + lines.join(QStringLiteral("; "));
}

void GlobalShortcuts::dispatch() {
    if (!keys_)
        return;
    std::vector<int> pressed;
    const bool open = keys_->dispatchPending([&pressed](int id) { pressed.push_back(id); });
    if (!open && notifier_)
        notifier_->setEnabled(false);
    for (const int id : pressed)
        if (run_)
            run_(id);
}

GlobalKeysGroup::GlobalKeysGroup(GlobalShortcuts& shortcuts, QWidget* parent)
    : QGroupBox(QStringLiteral("&Global keys (work in every window)"), parent),
      shortcuts_(shortcuts) {
    setObjectName(QStringLiteral("globalKeys"));
    auto* grid = new QGridLayout(this);
    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("globalKeyList"));
    list_->setColumnCount(3);
    list_->setHeaderLabels(
        {QStringLiteral("Command"), QStringLiteral("Keys"), QStringLiteral("State")});
    list_->setRootIsDecorated(false);
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    grid->addWidget(list_, 0, 0, 1, 4);
    auto* label = new QLabel(QStringLiteral("New &keys:"), this);
    edit_ = new QKeySequenceEdit(this);
    edit_->setObjectName(QStringLiteral("globalNewKeys"));
    label->setBuddy(edit_);
    grid->addWidget(label, 1, 0);
    grid->addWidget(edit_, 1, 1, 1, 3);
    const auto button = [this, grid](const char* text, const char* name, int column, auto slot) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        grid->addWidget(b, 2, column);
    };
    button("A&ssign", "assignGlobalKey", 1, [this] { assignKeys(); });
    button("N&o keys", "removeGlobalKey", 2, [this] { removeKeys(); });
    button("R&eset", "resetGlobalKeys", 3, [this] { resetKeys(); });
    result_ = new QLabel(this);
    result_->setObjectName(QStringLiteral("globalKeyResult"));
    result_->setWordWrap(true);
    grid->addWidget(result_, 3, 0, 1, 4);
    fill();
    list_->setCurrentItem(list_->topLevelItem(0));
    connect(&shortcuts_, &GlobalShortcuts::keysChanged, this, &GlobalKeysGroup::fill);
}

void GlobalKeysGroup::fill() {
    const int selected = selectedCommand();
    list_->clear();
    for (const int id : GlobalShortcuts::commands()) {
        auto* item =
            new QTreeWidgetItem(list_, {GlobalShortcuts::commandName(id),
                                        shortcuts_.keys(id).toString(QKeySequence::NativeText),
                                        shortcuts_.stateText(id)});
        item->setData(0, Qt::UserRole, id);
        if (id == selected)
            list_->setCurrentItem(item);
    }
}

int GlobalKeysGroup::selectedCommand() const {
    const QTreeWidgetItem* item = list_ ? list_->currentItem() : nullptr;
    return item ? item->data(0, Qt::UserRole).toInt() : 0;
}

void GlobalKeysGroup::showResult(int commandId) {
    const GlobalShortcuts::State s = shortcuts_.state(commandId);
    const QString keys = shortcuts_.keys(commandId).toString(QKeySequence::NativeText);
    result_->setText(s == GlobalShortcuts::State::kActive || s == GlobalShortcuts::State::kNone
                         ? QString()
                         : QStringLiteral("%1: %2.").arg(keys, shortcuts_.stateText(commandId)));
}

void GlobalKeysGroup::assignKeys() {
    const int id = selectedCommand();
    if (id == 0 || edit_->keySequence().isEmpty())
        return;
    shortcuts_.setKeys(id, edit_->keySequence());
    edit_->clear();
    showResult(id);
}

void GlobalKeysGroup::removeKeys() {
    const int id = selectedCommand();
    if (id == 0)
        return;
    shortcuts_.setKeys(id, QKeySequence());
    showResult(id);
}

void GlobalKeysGroup::resetKeys() {
    shortcuts_.resetAll();
    result_->setText(shortcuts_.problems());
}

namespace {

// Reads the lock states when the display has news of them.
class LockStateFeed : public QObject {
  public:
    LockStateFeed(CMainFrame& frame, std::unique_ptr<KeyboardLocks> locks)
        : QObject(&frame), frame_(frame), locks_(std::move(locks)) {
        frame_.setLockStates(locks_->states());
        if (locks_->fileDescriptor() < 0)
            return;
        notifier_ =
            std::make_unique<QSocketNotifier>(locks_->fileDescriptor(), QSocketNotifier::Read);
        QSocketNotifier* notifier = notifier_.get();
        connect(notifier, &QSocketNotifier::activated, this, [this, notifier] {
            const bool open = locks_->dispatchPending(
                [this](const LockStates& states) { frame_.setLockStates(states); });
            if (!open)
                notifier->setEnabled(false);
        });
    }

  private:
    CMainFrame& frame_;
    std::unique_ptr<KeyboardLocks> locks_;
    // Declared after the connection whose socket it watches, so it goes first.
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace

void followLockStates(CMainFrame& frame, std::unique_ptr<KeyboardLocks> locks) {
    if (locks)
        new LockStateFeed(frame, std::move(locks));
}

}  // namespace marrowdale
