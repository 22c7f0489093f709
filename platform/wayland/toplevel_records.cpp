#include "platform/wayland/toplevel_records.h"

#include <algorithm>

namespace marrowdale {

WindowRecord recordFromToplevel(const ToplevelInfo& toplevel) {
    const auto has = [&](std::uint32_t state) {
        return std::find(toplevel.states.begin(), toplevel.states.end(), state) !=
               toplevel.states.end();
    };
    WindowRecord r;
    r.id = toplevel.id;
    // The compositor lists mapped windows only; a minimised one still counts as visible.
    r.visible = true;
    r.owner = toplevel.parent;
    r.lastActivePopup = 0;
    // Decorations are the compositor's business; every listed window is an ordinary one.
    r.titleBarInvisible = false;
    r.minimised = has(kToplevelMinimized);
    r.placementReadable = true;
    r.clientHeight = kUnknownClientHeight;
    if (r.minimised)
        r.showState = ShowState::Minimised;
    else if (has(kToplevelMaximized) || has(kToplevelFullscreen))
        r.showState = ShowState::Maximised;
    else
        r.showState = ShowState::Normal;
    r.title = toplevel.title;
    return r;
}

}  // namespace marrowdale
