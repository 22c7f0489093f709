#include "framework/command_map.h"
#include "resources/resources.h"
#include "shell/marrowdale_view.h"
#include "shell/view_command_bindings.h"
#include "tools/gui/fill_dialog.h"

namespace marrowdale {

namespace {

void OnCommandFillFrames() {
    CDIALOG_FILL dlg;
    dlg.doModal();
}

}  // namespace

void bindToolsCommands(CommandMap& map, CMarrowdaleView& view) {
    (void)view;
    map.on(res::ID_FILL_FRAMES, OnCommandFillFrames);
    map.on(res::ID_FILL_FRAMES_BUTTON, OnCommandFillFrames);
}

}  // namespace marrowdale
