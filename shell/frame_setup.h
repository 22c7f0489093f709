// The main frame's parts that come from the settings: docking, the application look and the
// toolbar customisation (toolbars, shortcuts, workspace, user images).
#pragma once

class QSettings;

namespace marrowdale {

class ApplicationLooks;
class CMainFrame;

// Sets up docking, the looks and the customisation of `frame` from `settings` (which must
// outlive the frame): applies the stored look, restores the workspace and reads the user image
// list. Returns the looks object (a child of the frame).
ApplicationLooks* attachLooksAndCustomization(CMainFrame& frame, QSettings& settings);

}  // namespace marrowdale
