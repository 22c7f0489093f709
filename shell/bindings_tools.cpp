#include <QDir>

#include "framework/command_map.h"
#include "framework/status_notice.h"
#include "framework/window_handle.h"
#include "resources/resources.h"
#include "shell/marrowdale_view.h"
#include "shell/view_command_bindings.h"
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
}

}  // namespace marrowdale
