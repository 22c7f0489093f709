// The program's numbered resources: string table, menus 119, 128 and 130, toolbars 128 and 129,
// accelerator table 128, and the identifiers of the commands and framework resources. Dialog
// templates are in resources/dialogs/ (framework/dialog_template.h).
#pragma once

#include <QKeySequence>
#include <QString>
#include <vector>

namespace marrowdale::res {

// Framework command identifiers.
inline constexpr int ID_FILE_NEW = 57600;
inline constexpr int ID_FILE_OPEN = 57601;
inline constexpr int ID_FILE_CLOSE = 57602;
inline constexpr int ID_FILE_SAVE = 57603;
inline constexpr int ID_FILE_SAVE_AS = 57604;
inline constexpr int ID_FILE_PRINT_SETUP = 57606;
inline constexpr int ID_FILE_PRINT = 57607;
inline constexpr int ID_FILE_PRINT_DIRECT = 57608;
inline constexpr int ID_FILE_PRINT_PREVIEW = 57609;
inline constexpr int ID_FILE_MRU_FILE1 = 57616;
inline constexpr int ID_FILE_MRU_LAST = 57631;  // 16 slots, 10 used
inline constexpr int ID_EDIT_COPY = 57634;
inline constexpr int ID_EDIT_CUT = 57635;
inline constexpr int ID_EDIT_PASTE = 57637;
inline constexpr int ID_EDIT_UNDO = 57643;
inline constexpr int ID_WINDOW_NEW = 57648;
inline constexpr int ID_WINDOW_ARRANGE = 57649;
inline constexpr int ID_WINDOW_CASCADE = 57650;
inline constexpr int ID_WINDOW_TILE_HORZ = 57651;
inline constexpr int ID_APP_ABOUT = 57664;
inline constexpr int ID_APP_EXIT = 57665;
inline constexpr int ID_NEXT_PANE = 57680;
inline constexpr int ID_PREV_PANE = 57681;
inline constexpr int ID_VIEW_TOOLBAR = 59392;
inline constexpr int ID_VIEW_STATUS_BAR = 59393;
inline constexpr int AFX_IDS_IDLEMESSAGE = 57345;

// Shell resources.
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDP_OLE_INIT_FAILED = 100;
inline constexpr int IDR_MAINFRAME = 128;
inline constexpr int IDR_MAINFRAME_256 = 129;
inline constexpr int IDR_MarrowdaleTYPE = 130;
inline constexpr int IDR_POPUP_EDIT = 119;
inline constexpr int IDS_TOOLBAR_STANDARD = 124;
inline constexpr int IDS_TOOLBAR_CUSTOMIZE = 125;
inline constexpr int ID_VIEW_CUSTOMIZE = 126;
inline constexpr int ID_WINDOW_MANAGER = 131;
inline constexpr int IDS_EDIT_MENU = 306;
inline constexpr int ID_VIEW_APPLOOK_WIN_2000 = 205;
inline constexpr int ID_VIEW_APPLOOK_WINDOWS_7 = 219;
inline constexpr int ID_VIEW_USER_TOOLBAR1 = 59432;
inline constexpr int ID_VIEW_USER_TOOLBAR10 = 59441;

// The program's own commands.
inline constexpr int ID_RECORD = 32771;
inline constexpr int ID_SELECT_AREA_BUTTON = 32772;
inline constexpr int ID_SELECT_AREA = 32773;
inline constexpr int ID_STOP_RECORDING = 32774;
inline constexpr int ID_STOP_BUTTON = 32775;
inline constexpr int ID_SETTINGS_BUTTON = 32778;
inline constexpr int ID_CHANGE_SETTINGS = 32779;
inline constexpr int ID_RECORD_AUDIO = 32780;
inline constexpr int ID_LIST_CODECS = 32781;
inline constexpr int ID_FRAME_RATE_80 = 32782;
inline constexpr int ID_START_BOTH = 32783;
inline constexpr int ID_FRAME_OPTIONS = 32784;
inline constexpr int ID_FILL_FRAMES = 32785;
inline constexpr int ID_MAX_FRAMES = 32786;
inline constexpr int ID_MAX_FRAMES_BUTTON = 32787;
inline constexpr int ID_FRAME_OPTIONS_BUTTON = 32788;
inline constexpr int ID_FILL_FRAMES_BUTTON = 32789;
inline constexpr int ID_CAPTURE_MODE_BUTTON = 32790;
inline constexpr int ID_CAPTURE_MODE = 32791;
inline constexpr int ID_AUDIO_INPUT = 32792;
inline constexpr int ID_MIN_START_BOTH_BUTTON = 32793;
inline constexpr int ID_MIN_START_SCREEN_BUTTON = 32794;
inline constexpr int ID_MIN_START_SCREEN = 32795;
inline constexpr int ID_MIN_START_BOTH = 32796;
inline constexpr int ID_FIXED_SIZE = 32797;
inline constexpr int ID_EXPORT_VIDEO = 32798;
// Both sound sources at once (beside the audio input source dialog).
inline constexpr int ID_AUDIO_BOTH = 32799;
// The capture area set to one monitor, by its place in the monitor list.
inline constexpr int ID_MONITOR_AREA_FIRST = 32800;
inline constexpr int ID_MONITOR_AREA_LAST = 32815;
inline constexpr int ID_GLOBAL_MOUSE_DOWN = 36864;

// String table entry `id`; empty when there is none.
QString loadString(int id);
// Every id of the string table, ascending.
std::vector<int> stringIds();
// The status-bar prompt (text before "\n") and tooltip (text after it) of command `id`.
QString commandPrompt(int id);
QString commandTooltip(int id);

struct MenuItem {
    enum class Kind { Command, Separator, Popup } kind = Kind::Command;
    int id = 0;  // Command only
    QString text;
    bool disabled = false;
    std::vector<MenuItem> items;  // Popup only
};
// Menu resource 119, 128 or 130 (the popups of its bar, in order); empty for other ids.
std::vector<MenuItem> loadMenu(int id);
// Whether `popup` has command `id` among its own items (not those of its submenus): how the
// frame finds a popup that has a job of its own, such as the window list of the menu with
// ID_WINDOW_NEW or the panes of the one with ID_VIEW_TOOLBAR.
bool popupHolds(const MenuItem& popup, int id);

// Toolbar resource 128 or 129: button command ids left to right, 0 for a separator.
std::vector<int> loadToolbar(int id);

struct Accelerator {
    QKeySequence keys;
    int id = 0;
};
// Accelerator table 128.
std::vector<Accelerator> loadAccelerators(int id);

}  // namespace marrowdale::res
