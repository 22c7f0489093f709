// Numbered commands and their routing.
//
// Every object that can take commands (the application, the main frame, a child frame, a
// document, a view) is a CommandTarget with a CommandMap that binds command ids to handlers
// that take nothing and return nothing. A command goes to the first target of the chain
// "active view, its document, its child frame, the main frame, the application" whose map has
// a handler for it. A command that no target takes is shown disabled. A target may also give
// a state handler (enabled, check or radio mark) for a command; the first target in the chain
// that has one decides the state.
#pragma once

#include <functional>
#include <map>
#include <span>

namespace marrowdale {

// The state a command is shown with.
struct CommandUi {
    bool enabled = true;
    enum class Mark { None, Check, Radio } mark = Mark::None;
};

class CommandMap {
  public:
    using Handler = std::function<void()>;
    using RangeHandler = std::function<void(int id)>;
    using UpdateHandler = std::function<void(int id, CommandUi& ui)>;

    // Binds `id` (or every id in first..last) to a handler; a later binding replaces an earlier.
    void on(int id, Handler handler);
    void onRange(int first, int last, RangeHandler handler);
    void onUpdate(int id, UpdateHandler handler);
    void onUpdateRange(int first, int last, UpdateHandler handler);
    void remove(int id);

    bool handles(int id) const;
    // Runs the handler of `id`; false when this map has none.
    bool execute(int id) const;
    // Fills `ui` from the state handler of `id`; false when this map has none.
    bool update(int id, CommandUi& ui) const;

  private:
    struct Range {
        int last;
        RangeHandler handler;
    };
    struct UpdateRange {
        int last;
        UpdateHandler handler;
    };
    std::map<int, Handler> handlers_;
    std::map<int, Range> ranges_;  // keyed by first id
    std::map<int, UpdateRange> updates_;
};

class CommandTarget {
  public:
    virtual ~CommandTarget() = default;
    CommandMap& commandMap() { return commandMap_; }
    const CommandMap& commandMap() const { return commandMap_; }

  private:
    CommandMap commandMap_;
};

// Sends `id` to the first target of `chain` (null entries are skipped) that takes it. False when
// none does.
bool routeCommand(std::span<CommandTarget* const> chain, int id);

// The state of `id` along `chain`: the first state handler decides; without one the command is
// enabled when a target takes it and disabled otherwise, without a mark.
CommandUi commandState(std::span<CommandTarget* const> chain, int id);

}  // namespace marrowdale
