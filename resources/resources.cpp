#include "resources/resources.h"

#include <algorithm>
#include <iterator>

namespace marrowdale::res {

namespace {

struct StringEntry {
    int id;
    const char* text;
};

// The string table. "\n" separates a command's status-bar prompt from its tooltip.
constexpr StringEntry kStrings[] = {
    {IDP_OLE_INIT_FAILED,
     "OLE initialization failed.  Make sure that the OLE libraries are the correct version."},
    {IDS_TOOLBAR_STANDARD, "Standard"},
    {IDS_TOOLBAR_CUSTOMIZE, "Customize..."},
    {IDR_MAINFRAME, "Marrowdale"},
    {IDR_MarrowdaleTYPE, "\nMarrowdale\nMarrowdale\n\n\nMarrowdale.Document\nMarrowdale.Document"},
    {ID_WINDOW_MANAGER, "&Windows..."},
    {IDS_EDIT_MENU, "Edit"},
    {ID_RECORD, "Record"},
    {ID_SELECT_AREA_BUTTON, "Select top left and bottom right corners of capture area."},
    {ID_SELECT_AREA, "Click on top right and bottom left corners of required capture area"},
    {ID_STOP_RECORDING, "Stop recording"},
    {ID_STOP_BUTTON, "Stop recording"},
    {ID_SETTINGS_BUTTON, "Change settings"},
    {ID_CHANGE_SETTINGS, "Change settings"},
    {ID_RECORD_AUDIO, "Record audio only"},
    {ID_LIST_CODECS, "List the system codecs"},
    {ID_START_BOTH, "Starts both the video and audio recorders."},
    {ID_FRAME_OPTIONS, "Set FPS and frame duplication"},
    {ID_MAX_FRAMES_BUTTON, "Set the maximum number of recorded frames for each recording."},
    {ID_FRAME_OPTIONS_BUTTON, "Set the record frame rate (FPS) and other frame options."},
    {ID_FILL_FRAMES_BUTTON,
     "Duplicates screen capture files to create files that were skipped while recording."},
    {ID_CAPTURE_MODE_BUTTON, "Set the screen frames capture mode."},
    {ID_CAPTURE_MODE, "Choose the way screen frames are obtained."},
    {ID_AUDIO_INPUT, "Select the microphone or sound mixer as the audio input "},
    {ID_MIN_START_BOTH_BUTTON,
     "Minimize the program and start recording both the screen and audio."},
    {ID_MIN_START_SCREEN_BUTTON, "Minimize the program and start recording only the screen."},
    {ID_MIN_START_SCREEN, "Minimize the program and start recording only the screen."},
    {ID_MIN_START_BOTH, "Minimize the program and start recording both the screen and audio."},
    {ID_FIXED_SIZE, "Choose a predefined capture width and height or type in your own."},
    {ID_AUDIO_BOTH, "Record the sound mixer and the microphone together, mixed into one file"},
    {ID_EXPORT_VIDEO,
     "Write the recording as one video file that a player can play.\nExport video"},
    {ID_GLOBAL_MOUSE_DOWN, "Global Mouse down"},
    {AFX_IDS_IDLEMESSAGE, "Ready"},
    {ID_FILE_NEW, "Create a new document\nNew"},
    {ID_FILE_OPEN, "Open an existing document\nOpen"},
    {ID_FILE_CLOSE, "Close the active document\nClose"},
    {ID_FILE_SAVE, "Save the active document\nSave"},
    {ID_FILE_SAVE_AS, "Save the active document with a new name\nSave As"},
    {ID_FILE_PRINT_SETUP, "Change the printer and printing options\nPrint Setup"},
    {ID_FILE_PRINT, "Print the active document\nPrint"},
    {ID_FILE_PRINT_DIRECT, "Print the active document using current options\nQuick Print"},
    {ID_FILE_PRINT_PREVIEW, "Display full pages\nPrint Preview"},
    {ID_FILE_MRU_FILE1, "Open this document"},
    {ID_FILE_MRU_FILE1 + 1, "Open this document"},
    {ID_FILE_MRU_FILE1 + 2, "Open this document"},
    {ID_FILE_MRU_FILE1 + 3, "Open this document"},
    {ID_FILE_MRU_FILE1 + 4, "Open this document"},
    {ID_FILE_MRU_FILE1 + 5, "Open this document"},
    {ID_FILE_MRU_FILE1 + 6, "Open this document"},
    {ID_FILE_MRU_FILE1 + 7, "Open this document"},
    {ID_FILE_MRU_FILE1 + 8, "Open this document"},
    {ID_FILE_MRU_FILE1 + 9, "Open this document"},
    {ID_EDIT_COPY, "Copy the selection and put it on the Clipboard\nCopy"},
    {ID_EDIT_CUT, "Cut the selection and put it on the Clipboard\nCut"},
    {ID_EDIT_PASTE, "Insert Clipboard contents\nPaste"},
    {ID_EDIT_UNDO, "Undo the last action\nUndo"},
    {ID_WINDOW_NEW, "Open another window for the active document\nNew Window"},
    {ID_WINDOW_ARRANGE, "Arrange icons at the bottom of the window\nArrange Icons"},
    {ID_WINDOW_CASCADE, "Arrange windows so they overlap\nCascade Windows"},
    {ID_WINDOW_TILE_HORZ, "Arrange windows as non-overlapping tiles\nTile Windows"},
    {ID_APP_ABOUT, "Display program information, version number and copyright\nAbout"},
    {ID_APP_EXIT, "Quit the application; prompts to save documents\nExit"},
    {ID_NEXT_PANE, "Switch to the next window pane\nNext Pane"},
    {ID_PREV_PANE, "Switch back to the previous window pane\nPrevious Pane"},
    {ID_VIEW_STATUS_BAR, "Show or hide the status bar\nToggle Status Bar"},
};

MenuItem cmd(int id, const char* text) {
    MenuItem m;
    m.kind = MenuItem::Kind::Command;
    m.id = id;
    m.text = QString::fromUtf8(text);
    return m;
}

MenuItem sep() {
    MenuItem m;
    m.kind = MenuItem::Kind::Separator;
    return m;
}

MenuItem popup(const char* text, std::vector<MenuItem> items) {
    MenuItem m;
    m.kind = MenuItem::Kind::Popup;
    m.text = QString::fromUtf8(text);
    m.items = std::move(items);
    return m;
}

MenuItem recentFilePlaceholder() {
    MenuItem m = cmd(ID_FILE_MRU_FILE1, "Recent File");
    m.disabled = true;
    return m;
}

MenuItem viewMenu() {
    return popup(
        "&View",
        {popup("&Toolbars and Docking Windows", {cmd(ID_VIEW_TOOLBAR, "<placeholder>")}),
         cmd(ID_VIEW_STATUS_BAR, "&Status Bar"),
         popup("&Application Look",
               {cmd(205, "Windows &2000"), cmd(206, "Office &XP"), cmd(207, "&Windows XP"),
                cmd(208, "Office 200&3"), cmd(209, "Visual Studio 200&5"),
                cmd(210, "Visual Studio 200&8"),
                popup("Office 200&7", {cmd(215, "&Blue Style"), cmd(216, "B&lack Style"),
                                       cmd(217, "&Silver Style"), cmd(218, "&Aqua Style")})})});
}

MenuItem helpMenu() {
    return popup("&Help", {cmd(ID_APP_ABOUT, "&About Marrowdale...")});
}

}  // namespace

QString loadString(int id) {
    for (const auto& e : kStrings)
        if (e.id == id)
            return QString::fromUtf8(e.text);
    return {};
}

std::vector<int> stringIds() {
    std::vector<int> ids;
    for (const auto& e : kStrings)
        ids.push_back(e.id);
    std::sort(ids.begin(), ids.end());
    return ids;
}

QString commandPrompt(int id) {
    return loadString(id).section('\n', 0, 0);
}

QString commandTooltip(int id) {
    const QString s = loadString(id);
    const qsizetype nl = s.indexOf('\n');
    return nl < 0 ? QString() : s.mid(nl + 1);
}

bool popupHolds(const MenuItem& popup, int id) {
    return std::any_of(popup.items.begin(), popup.items.end(), [id](const MenuItem& item) {
        return item.kind == MenuItem::Kind::Command && item.id == id;
    });
}

std::vector<MenuItem> loadMenu(int id) {
    switch (id) {
        case IDR_POPUP_EDIT:
            return {
                popup("Edit", {cmd(ID_EDIT_CUT, "Cu&t\tCtrl+X"), cmd(ID_EDIT_COPY, "&Copy\tCtrl+C"),
                               cmd(ID_EDIT_PASTE, "&Paste\tCtrl+V")})};
        case IDR_MAINFRAME:
            return {
                popup("&File", {cmd(ID_FILE_NEW, "&New\tCtrl+N"),
                                cmd(ID_FILE_OPEN, "&Open...\tCtrl+O"), cmd(ID_FILE_CLOSE, "&Close"),
                                sep(), cmd(ID_FILE_PRINT_SETUP, "P&rint Setup..."), sep(),
                                recentFilePlaceholder(), sep(), cmd(ID_APP_EXIT, "E&xit")}),
                viewMenu(), helpMenu()};
        case IDR_MarrowdaleTYPE:
            return {
                popup("&File",
                      {cmd(ID_FILE_NEW, "&New\tCtrl+N"), cmd(ID_FILE_OPEN, "&Open...\tCtrl+O"),
                       cmd(ID_FILE_CLOSE, "&Close"), cmd(ID_FILE_SAVE, "&Save\tCtrl+S"),
                       cmd(ID_FILE_SAVE_AS, "Save &As..."), sep(),
                       cmd(ID_FILE_PRINT, "&Print...\tCtrl+P"),
                       cmd(ID_FILE_PRINT_PREVIEW, "Print Pre&view"),
                       cmd(ID_FILE_PRINT_SETUP, "P&rint Setup..."), sep(), recentFilePlaceholder(),
                       sep(), cmd(ID_APP_EXIT, "E&xit")}),
                popup("&Edit",
                      {cmd(ID_EDIT_UNDO, "&Undo\tCtrl+Z"), sep(), cmd(ID_EDIT_CUT, "Cu&t\tCtrl+X"),
                       cmd(ID_EDIT_COPY, "&Copy\tCtrl+C"), cmd(ID_EDIT_PASTE, "&Paste\tCtrl+V")}),
                viewMenu(),
                popup(
                    "&Window",
                    {cmd(ID_WINDOW_NEW, "&New Window"), cmd(ID_WINDOW_CASCADE, "&Cascade"),
                     cmd(ID_WINDOW_TILE_HORZ, "&Tile"), cmd(ID_WINDOW_ARRANGE, "&Arrange Icons")}),
                popup("Command",
                      {cmd(ID_SELECT_AREA, "&Select screen capture area"),
                       cmd(ID_STOP_RECORDING, "St&op recording"),
                       cmd(ID_CHANGE_SETTINGS, "&Change settings"),
                       cmd(ID_FRAME_RATE_80, "Set video capture &frame rate"),
                       cmd(ID_FRAME_OPTIONS, "Frame capture &options"),
                       cmd(ID_FILL_FRAMES, "&Fill skipped frames"),
                       cmd(ID_EXPORT_VIDEO, "&Export video..."),
                       cmd(ID_MAX_FRAMES, "Set &maximum frames or time"),
                       cmd(ID_CAPTURE_MODE, "Set the screen frames capture &mode"),
                       cmd(ID_AUDIO_INPUT, "Set the audio input source"),
                       cmd(ID_AUDIO_BOTH, "Sound mixer and microphone"),
                       cmd(ID_MIN_START_SCREEN,
                           "Minimize the program and start &recording only the screen."),
                       cmd(ID_MIN_START_BOTH,
                           "Minimize the program and start recording both the screen and audio")}),
                popup("Capture &area", {cmd(ID_FIXED_SIZE, "Fixed size")}),
                helpMenu()};
        default:
            return {};
    }
}

std::vector<int> loadToolbar(int id) {
    const std::vector<int> full = {ID_FILE_NEW,
                                   ID_FILE_OPEN,
                                   ID_FILE_SAVE,
                                   0,
                                   ID_EDIT_CUT,
                                   ID_EDIT_COPY,
                                   ID_EDIT_PASTE,
                                   0,
                                   ID_FILE_PRINT,
                                   ID_APP_ABOUT,
                                   ID_SELECT_AREA_BUTTON,
                                   ID_RECORD,
                                   ID_STOP_BUTTON,
                                   ID_SETTINGS_BUTTON,
                                   ID_RECORD_AUDIO,
                                   ID_LIST_CODECS,
                                   ID_START_BOTH,
                                   ID_MAX_FRAMES_BUTTON,
                                   ID_FRAME_OPTIONS_BUTTON,
                                   ID_FILL_FRAMES_BUTTON,
                                   ID_CAPTURE_MODE_BUTTON,
                                   ID_MIN_START_BOTH_BUTTON,
                                   ID_MIN_START_SCREEN_BUTTON};
    if (id == IDR_MAINFRAME_256)
        return full;
    if (id == IDR_MAINFRAME)
        return std::vector<int>(full.begin(), full.begin() + 10);
    return {};
}

std::vector<Accelerator> loadAccelerators(int id) {
    if (id != IDR_MAINFRAME)
        return {};
    return {
        {QKeySequence(Qt::CTRL | Qt::Key_N), ID_FILE_NEW},
        {QKeySequence(Qt::CTRL | Qt::Key_O), ID_FILE_OPEN},
        {QKeySequence(Qt::CTRL | Qt::Key_S), ID_FILE_SAVE},
        {QKeySequence(Qt::CTRL | Qt::Key_P), ID_FILE_PRINT},
        {QKeySequence(Qt::CTRL | Qt::Key_Z), ID_EDIT_UNDO},
        {QKeySequence(Qt::CTRL | Qt::Key_X), ID_EDIT_CUT},
        {QKeySequence(Qt::CTRL | Qt::Key_C), ID_EDIT_COPY},
        {QKeySequence(Qt::CTRL | Qt::Key_V), ID_EDIT_PASTE},
        {QKeySequence(Qt::ALT | Qt::Key_Backspace), ID_EDIT_UNDO},
        {QKeySequence(Qt::SHIFT | Qt::Key_Delete), ID_EDIT_CUT},
        {QKeySequence(Qt::CTRL | Qt::Key_Insert), ID_EDIT_COPY},
        {QKeySequence(Qt::SHIFT | Qt::Key_Insert), ID_EDIT_PASTE},
        {QKeySequence(Qt::Key_F6), ID_NEXT_PANE},
        {QKeySequence(Qt::SHIFT | Qt::Key_F6), ID_PREV_PANE},
    };
}

}  // namespace marrowdale::res
