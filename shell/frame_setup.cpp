#include "shell/frame_setup.h"

#include <QActionGroup>

#include "resources/resources.h"
#include "shell/customize_dialog.h"
#include "shell/docking.h"
#include "shell/looks.h"
#include "shell/main_frame.h"
#include "shell/toolbar_customizer.h"
#include "shell/user_images.h"

namespace marrowdale {

ApplicationLooks* attachLooksAndCustomization(CMainFrame& frame, QSettings& settings,
                                              GlobalShortcuts* globalShortcuts) {
    // Smart docking from the start; the looks that do not set it leave it so.
    setDockingMode(frame, DockingMode::Smart);
    auto* customizer = new ToolbarCustomizer(frame, settings);
    customizer->setGlobalShortcuts(globalShortcuts);

    auto* looks = new ApplicationLooks(frame, settings);
    looks->bindCommands(frame.commandMap());
    // The looks' menu items show their mark as a radio mark.
    auto* group = new QActionGroup(&frame);
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (int id = kFirstLook; id <= kLastLook; ++id)
        group->addAction(frame.commandAction(id));
    looks->SelectApplicationLook(looks->applicationLook());

    frame.commandMap().on(res::ID_VIEW_CUSTOMIZE,
                          [customizer] { OpenToolbarCustomization(*customizer); });
    customizer->loadUserImages(QString::fromLatin1(kUserImagesFile));
    customizer->restoreWorkspace();
    frame.updateCommandStates();
    return looks;
}

}  // namespace marrowdale
