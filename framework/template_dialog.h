// A modal or modeless dialog built from a numbered template (framework/dialog_template.h), with
// its controls addressed by id.
//
// A dialog class derives from TemplateDialog, passes its template id, binds handlers to control
// ids in its constructor (onCommand, onChange, onDoubleClick) and overrides onInitDialog, onOK
// and onCancel as it needs. Button 1 runs onOK and button 2 runs onCancel unless a handler is
// bound to them; Escape and the window's close button run onCancel. Settings should change only
// in onOK. All members: GUI thread only.
//
//   class CDialogExample : public TemplateDialog {
//   public:
//       CDialogExample() : TemplateDialog(314) { onCommand(1003, [this] { setItemText(1005, "40");
//       }); }
//   protected:
//       bool onInitDialog() override { setItemText(1005, "40"); return true; }
//       void onOK() override { ...read itemText(1005)...; TemplateDialog::onOK(); }
//   };
//   CDialogExample dlg;
//   dlg.doModal();
#pragma once

#include <QDialog>
#include <QHash>
#include <QString>
#include <functional>

#include "framework/dialog_template.h"

class QButtonGroup;
class QComboBox;
class QListWidget;

namespace marrowdale {

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

class TemplateDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TemplateDialog(int templateId, QWidget* parent = nullptr);
    // For tests and code-made layouts: builds from a template given directly.
    explicit TemplateDialog(const DialogTemplate& dialogTemplate, QWidget* parent = nullptr);
    ~TemplateDialog() override;

    int templateId() const { return templateId_; }
    // False when the template could not be found or read; the dialog then has no controls,
    // doModal returns -1 without showing anything and create returns false.
    bool templateLoaded() const { return loaded_; }
    QString templateError() const { return templateError_; }
    const DialogBaseUnits& baseUnits() const { return base_; }

    // Runs onInitDialog, then the dialog modally. Returns the value given to endDialog (IDOK,
    // IDCANCEL, ...), or -1 when the template is missing.
    int doModal();
    // Modeless: runs onInitDialog and shows the dialog. False when the template is missing.
    bool create();
    // Ends the dialog with `result` (modal: doModal returns it; modeless: hides it).
    void endDialog(int result);

    // Controls by id. A missing id gives nullptr / empty / false / -1.
    QWidget* item(int id) const;
    QString itemText(int id) const;
    bool setItemText(int id, const QString& text);
    // The item's text as an integer (dialogTextToInt). 0 and *ok = false when there is no such
    // control or the text is no number.
    int itemInt(int id, bool* ok = nullptr, bool isSigned = true) const;
    bool setItemInt(int id, int value, bool isSigned = true);
    // Check boxes and radio buttons: 0 unchecked, 1 checked, 2 indeterminate.
    int isButtonChecked(int id) const;
    bool checkButton(int id, int state);
    // Checks `check` and unchecks the other buttons with ids first..last.
    bool checkRadioButton(int first, int last, int check);
    bool enableItem(int id, bool enable);
    bool isItemEnabled(int id) const;
    bool showItem(int id, bool show);

    // List boxes. Indexes are 0-based; -1 for "none" or failure.
    QListWidget* listBox(int id) const;
    int listAddString(int id, const QString& text);
    int listInsertString(int id, int index, const QString& text);  // index -1: at the end
    bool listResetContent(int id);
    int listCount(int id) const;
    int listCurSel(int id) const;
    bool listSetCurSel(int id, int index);
    QString listText(int id, int index) const;

    // Combo boxes.
    QComboBox* comboBox(int id) const;
    int comboAddString(int id, const QString& text);
    int comboCurSel(int id) const;
    bool comboSetCurSel(int id, int index);

    // Handler binding. onCommand: a button was clicked. onChange: an edit's text was changed by
    // the user, or a list or combo box's selection changed. onDoubleClick: a list box item was
    // double-clicked. A later binding for the same id replaces the earlier one.
    void onCommand(int id, std::function<void()> handler);
    void onChange(int id, std::function<void()> handler);
    void onDoubleClick(int id, std::function<void()> handler);

    // Runs the command bound to `id` as if the control had been clicked (tests, keyboard).
    void clickItem(int id);

  protected:
    virtual bool onInitDialog();
    virtual void onOK();      // default: endDialog(IDOK)
    virtual void onCancel();  // default: endDialog(IDCANCEL)

    void reject() override;
    void accept() override;

  private:
    void build(const DialogTemplate& t);
    void dispatchCommand(int id);
    void dispatchChange(int id);
    void dispatchDoubleClick(int id);

    int templateId_ = 0;
    bool loaded_ = false;
    bool initialised_ = false;
    QString templateError_;
    DialogBaseUnits base_;
    QHash<int, QWidget*> items_;
    QHash<int, std::function<void()>> commands_;
    QHash<int, std::function<void()>> changes_;
    QHash<int, std::function<void()>> doubleClicks_;
};

// The base units of a dialog font: average width of the Latin letters and the line height.
DialogBaseUnits dialogBaseUnits(const QFont& font);
// The font a template names: "MS Shell Dlg" and its variants map to the system's dialog font
// family, at the template's point size.
QFont dialogFont(const DialogTemplate& t);

}  // namespace marrowdale
