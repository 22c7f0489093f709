// The toolbars' layout as data: which toolbars exist (the standard toolbar and up to ten user
// toolbars, 59432 to 59441) and the buttons of each, with the rules every change follows (a
// command appears once on a toolbar, at most 100 entries, separators never doubled when read).
// It knows no widget: the toolbar customiser shows it, the workspace store keeps it.
#pragma once

#include <QString>
#include <functional>
#include <map>
#include <vector>

namespace marrowdale {

// A toolbar's buttons left to right: command ids, 0 for a separator.
using ButtonList = std::vector<int>;

inline constexpr int kStandardToolbarId = 0xE800;  // the frame's own toolbar
inline constexpr int kFirstUserToolbarId = 59432;
inline constexpr int kLastUserToolbarId = 59441;
inline constexpr int kMaxUserToolbars = kLastUserToolbarId - kFirstUserToolbarId + 1;
inline constexpr int kMaxToolbarButtons = 100;
inline constexpr int kMaxToolbarNameLength = 64;

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

// The button lists of the toolbars, by toolbar id. Every change returns whether it was made;
// a refused change leaves every list as it was.
class ToolbarLayout {
  public:
    bool has(int toolbarId) const { return lists_.count(toolbarId) != 0; }
    // Adds a toolbar (or replaces the buttons of one that exists).
    void set(int toolbarId, ButtonList buttons) { lists_[toolbarId] = std::move(buttons); }
    void remove(int toolbarId) { lists_.erase(toolbarId); }
    // The buttons of a toolbar; none for an unknown one.
    const ButtonList& buttons(int toolbarId) const;

    // Puts `commandId` at `index` (clamped to the list); a command already there moves there
    // instead. Refused for an unknown toolbar and a full one.
    bool insertCommand(int toolbarId, int index, int commandId);
    bool insertSeparator(int toolbarId, int index);
    bool removeAt(int toolbarId, int index);
    // Moves entry `fromIndex` of one toolbar to `toIndex` (clamped) of another or the same one.
    // A command already on the target toolbar is taken out there first. Refused for an index
    // out of range and a full target.
    bool move(int fromToolbar, int fromIndex, int toToolbar, int toIndex);
    // Puts `commandId` back on a toolbar at its place in `defaults`: before the first button
    // that follows it there and is present now, else at the end.
    bool insertAtDefaultPlace(int toolbarId, int commandId, const ButtonList& defaults);

  private:
    std::map<int, ButtonList> lists_;
};

}  // namespace marrowdale
