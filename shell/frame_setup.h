// The main frame's parts that come from the settings: docking, the application look and the
// toolbar customisation (toolbars, shortcuts, workspace, user images).
#pragma once

class QSettings;

namespace marrowdale {

class ApplicationLooks;
class CMainFrame;
class GlobalShortcuts;

// Sets up docking, the looks and the customisation of `frame` from `settings` (which must
// outlive the frame): applies the stored look, restores the workspace and reads the user image
// list. The global keys (may be null) are kept with the workspace and shown on the Customize
// dialog's Keyboard page. Returns the looks object (a child of the frame).
ApplicationLooks* attachLooksAndCustomization(CMainFrame& frame, QSettings& settings,
                                              GlobalShortcuts* globalShortcuts = nullptr);

}  // namespace marrowdale
