#include "framework/command_map.h"
#include "options/gui/frame_rate_dialog.h"
#include "options/gui/max_frames_dialog.h"
#include "options/gui/record_mode_dialog.h"
#include "resources/resources.h"
#include "shell/marrowdale_view.h"
#include "shell/view_command_bindings.h"

namespace marrowdale {

namespace {

void OnCommandFrameOptions() {
    CDIALOGFRAMERATE dlg;
    dlg.doModal();
}

// The close-other-windows box says so where this desktop offers no list of its windows.
void OnCommandMaxFrames(const PlatformServices& platform) {
    CMAXFRAMES dlg(captureSettings(), nullptr, {}, [&platform] {
        return platform.windowList && platform.windowList(nullptr) != nullptr;
    });
    dlg.doModal();
}

void OnCommandCaptureMode() {
    CDialogScreenSaveMode dlg;
    dlg.doModal();
}

}  // namespace

void bindOptionsCommands(CommandMap& map, CMarrowdaleView& view) {
    const PlatformServices& platform = view.platform();
    const auto maxFrames = [&platform] { OnCommandMaxFrames(platform); };
    map.on(res::ID_FRAME_OPTIONS, OnCommandFrameOptions);
    map.on(res::ID_FRAME_OPTIONS_BUTTON, OnCommandFrameOptions);
    map.on(res::ID_MAX_FRAMES, maxFrames);
    map.on(res::ID_MAX_FRAMES_BUTTON, maxFrames);
    map.on(res::ID_CAPTURE_MODE_BUTTON, OnCommandCaptureMode);
    map.on(res::ID_CAPTURE_MODE, OnCommandCaptureMode);
}

}  // namespace marrowdale
