// Keys from the whole desktop: the global keys that start and stop a recording whatever window
// has the focus, and the lock keys' states that the CAP, NUM and SCRL indicators show.
//
// Global keys: start the screen, start the screen and sound, stop. Each has default keys that
// clash with nothing common, can be changed (or removed) in the Customize dialog's Keyboard page
// and is kept with the workspace. Keys that another program holds, or that this keyboard cannot
// type, are reported (in the status bar, and beside the key in the dialog), never left silently
// dead.
//
// GUI thread only.
#pragma once

#include <QGroupBox>
#include <QKeySequence>
#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/global_keys.h"
#include "platform/keyboard_locks.h"
#include "shell/shortcut_map.h"

class QKeySequenceEdit;
class QLabel;
class QSocketNotifier;
class QTreeWidget;

namespace marrowdale {

class CMainFrame;

class GlobalShortcuts : public QObject {
    Q_OBJECT
  public:
    enum class State : std::uint8_t {
        kActive,       // grabbed: it works in every window
        kNone,         // no keys given
        kTaken,        // another program holds the keys
        kUnusable,     // not one chord with a key this keyboard has
        kUnavailable,  // this desktop gives no global keys
    };

    // `keys` may be null (the desktop gives none). `run` runs a command when its keys are
    // pressed. Every command starts with its default keys.
    GlobalShortcuts(std::unique_ptr<GlobalKeys> keys, std::function<void(int commandId)> run,
                    QObject* parent = nullptr);
    ~GlobalShortcuts() override;

    // The commands that have global keys, in the order they are shown.
    static const std::vector<int>& commands();
    static bool isCommand(int commandId);
    static QKeySequence defaultKeys(int commandId);
    // The name shown for a command ("Record screen", ...).
    static QString commandName(int commandId);

    QKeySequence keys(int commandId) const;
    State state(int commandId) const;
    QString stateText(int commandId) const;
    // The command that has `keys` now, 0 when none.
    int commandOfKeys(const QKeySequence& keys) const;

    // Gives `keys` (empty: none) to a command and grabs them; keys another global key had are
    // taken from it. Returns the command's state.
    State setKeys(int commandId, const QKeySequence& keys);
    // Every command back to its default keys.
    void resetAll();

    // The commands whose keys differ from the defaults (an empty list: none), for the workspace.
    ShortcutTable changedKeys() const;
    // Stored keys replace the defaults, command by command.
    void apply(const ShortcutTable& stored);

    // One line for the user about keys that do not work ("" when all given keys work).
    QString problems() const;

  signals:
    // The keys or states changed.
    void keysChanged();

  private:
    struct Entry {
        QKeySequence keys;
        State state = State::kNone;
    };
    void grab(int commandId);
    void dispatch();

    std::unique_ptr<GlobalKeys> keys_;
    std::function<void(int)> run_;
    std::map<int, Entry> entries_;
    QSocketNotifier* notifier_ = nullptr;
};

// The group of the Keyboard page that shows and changes the global keys.
class GlobalKeysGroup : public QGroupBox {
    Q_OBJECT
  public:
    GlobalKeysGroup(GlobalShortcuts& shortcuts, QWidget* parent);

    QTreeWidget* list() const { return list_; }
    QKeySequenceEdit* newKeysEdit() const { return edit_; }
    QLabel* resultLabel() const { return result_; }
    // The buttons' actions, callable from tests.
    void assignKeys();
    void removeKeys();
    void resetKeys();

  private:
    void fill();
    int selectedCommand() const;
    void showResult(int commandId);

    GlobalShortcuts& shortcuts_;
    QTreeWidget* list_ = nullptr;
    QKeySequenceEdit* edit_ = nullptr;
    QLabel* result_ = nullptr;
};

// The CAP, NUM and SCRL indicators of `frame` follow the lock keys' states that `locks` reads
// (at once and on every change, whichever window has the focus). With null `locks` the frame
// keeps following the keys it sees itself.
void followLockStates(CMainFrame& frame, std::unique_ptr<KeyboardLocks> locks);

}  // namespace marrowdale
