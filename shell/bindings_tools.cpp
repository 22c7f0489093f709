// The tools' commands of the main view (fill, export) and the close-other-windows timer
// callback.
#include <QDir>

#include "framework/command_map.h"
#include "framework/qt_ui_bridge.h"
#include "framework/status_notice.h"
#include "framework/window_handle.h"
#include "platform/clock.h"
#include "resources/resources.h"
#include "shell/marrowdale_view.h"
#include "shell/view_command_bindings.h"
#include "tools/close_others.h"
#include "tools/close_others_arming.h"
#include "tools/gui/close_others_dialog.h"
#include "tools/gui/export_dialog.h"
#include "tools/gui/fill_dialog.h"

namespace marrowdale {

namespace {

void OnCommandFillFrames() {
    CDIALOG_FILL dlg;
    dlg.doModal();
}

// The recording of the current directory, where the recorder puts vid1/ and test.wma; the
// finished export is also told in the status bar.
void OnCommandExportVideo(CMarrowdaleView& view) {
    QWidget* frame = widgetFromHandle(view.topLevelFrameHandle());
    ExportVideoDialog dlg(QDir::currentPath(), view.platform().videoExporter, frame);
    dlg.setNotice([frame](const QString& text) { showStatusNotice(frame, text); });
    dlg.exec();
}

}  // namespace

void bindToolsCommands(CommandMap& map, CMarrowdaleView& view) {
    map.on(res::ID_FILL_FRAMES, OnCommandFillFrames);
    map.on(res::ID_FILL_FRAMES_BUTTON, OnCommandFillFrames);
    map.on(res::ID_EXPORT_VIDEO, [&view] { OnCommandExportVideo(view); });

    // The timer that the end of a recording arms on frameWindow.
    QtUiBridge& ui = view.uiBridge();
    const PlatformServices& platform = view.platform();
    ui.setTimerHandler([&ui, &platform](WindowHandle, TimerId id) {
        if (id != kCloseOthersTimerId)
            return;
        QtCloseOthersDialogHost dialogs(
            [&platform] { return platform.windowList ? platform.windowList(nullptr) : nullptr; });
        MonotonicClock clock;
        OnTimerCloseOtherWindows(recorderState(), ui, dialogs, clock);
    });
}

}  // namespace marrowdale
