// Numbered dialog templates: the layout of a dialog (title, size in dialog units, font, and its
// controls with id, kind, text, position and size), kept as text in resources/dialogs/*.dlg and
// built into a TemplateDialog (framework/template_dialog.h).
//
// File format (one item per line; '#' starts a comment line; strings in double quotes with the
// escapes \n \t \" \\):
//
//   dialog 314 "Frame rate" 565 271          # id, title, width and height in dialog units
//   font 8 "MS Shell Dlg"                    # point size and face (optional)
//   style modalframe caption sysmenu         # optional, see kDialogStyles
//   <kind> <id> "<text>" <x> <y> <cx> <cy> [style ...]
//   ...
//   end
//
// Kinds: ltext ctext rtext (static texts), groupbox, pushbutton, defpushbutton, checkbox,
// autoradio, edit, listbox, combobox, icon, link (text may hold <a href="...">...</a>).
// Ids are integers or IDOK (1), IDCANCEL (2), IDC_STATIC (-1).
// Control styles: group tabstop disabled hidden noprefix multiline readonly number password
// autohscroll autovscroll wantreturn vscroll hscroll border sort notify multiplesel extendedsel
// nointegralheight dropdown dropdownlist 3state.
// A radio group starts at a radio button with the "group" style and runs until the next control
// with "group" (as in the system the templates come from). A file may hold several dialogs.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace marrowdale {

enum class ControlKind {
    LText,
    CText,
    RText,
    GroupBox,
    PushButton,
    DefPushButton,
    CheckBox,
    AutoRadio,
    Edit,
    ListBox,
    ComboBox,
    Icon,
    Link,
};

struct ControlTemplate {
    ControlKind kind = ControlKind::LText;
    int id = -1;
    QString text;
    int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
    QStringList styles;

    bool hasStyle(const QString& s) const { return styles.contains(s); }
};

struct DialogTemplate {
    int id = 0;
    QString title;
    int cx = 0, cy = 0;  // client size in dialog units
    int fontPointSize = 8;
    QString fontFace = QStringLiteral("MS Shell Dlg");
    QStringList styles;
    std::vector<ControlTemplate> controls;

    const ControlTemplate* control(int controlId) const;
};

// Parses every dialog of a template file. On a malformed line returns nothing and, when `error`
// is given, sets it to "<line number>: <reason>".
std::optional<std::vector<DialogTemplate>> parseDialogTemplates(const QString& text,
                                                                QString* error = nullptr);

// GUI thread. Finds template `id` among the built-in template files (:/dialogs/*.dlg).
std::optional<DialogTemplate> loadDialogTemplate(int id, QString* error = nullptr);

// The conversion of a dialog edit's text to an integer used by TemplateDialog::itemInt: leading
// and trailing blanks are skipped, an optional sign is accepted for signed conversion, anything
// else, an empty text or a value out of range gives 0 and *ok = false.
int dialogTextToInt(const QString& text, bool isSigned, bool* ok);

// Dialog units to pixels, from the base units of a dialog font (average character width and
// character height in pixels): x * baseX / 4 and y * baseY / 8, rounded to nearest.
struct DialogBaseUnits {
    int x = 6;
    int y = 13;
};
int dluToPixelsX(int dlu, const DialogBaseUnits& base);
int dluToPixelsY(int dlu, const DialogBaseUnits& base);

}  // namespace marrowdale
