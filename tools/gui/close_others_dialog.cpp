#include "tools/gui/close_others_dialog.h"

#include <QListWidget>

#include "framework/window_handle.h"

namespace marrowdale {

// The dialog as the Qt-free initialisation sees it.
class CDIALOG_CLOSE_OTHERS::ListView final : public CloseOthersDialogView {
  public:
    explicit ListView(CDIALOG_CLOSE_OTHERS& dialog) : dialog_(dialog) {}
    void setTitle(std::string_view title) override {
        dialog_.setWindowTitle(
            QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())));
    }
    void appendLine(std::string_view line) override {
        dialog_.listInsertString(
            kCloseOthersListBoxId, -1,
            QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
    }
    int lineCount() const override { return dialog_.listCount(kCloseOthersListBoxId); }
    void selectLine(int index) override { dialog_.listSetCurSel(kCloseOthersListBoxId, index); }
    WindowHandle listBox() override {
        return toWindowHandle(dialog_.TemplateDialog::listBox(kCloseOthersListBoxId));
    }

  private:
    CDIALOG_CLOSE_OTHERS& dialog_;
};

namespace {

// Stands in when the display's windows cannot be read: nothing to close.
class NoWindows final : public WindowList {
  public:
    std::vector<WindowRecord> topLevelWindows() override { return {}; }
    bool requestClose(WindowId) override { return false; }
};

}  // namespace

CDIALOG_CLOSE_OTHERS::CDIALOG_CLOSE_OTHERS(WindowListFactory windows, RecorderState& state)
    : TemplateDialog(kCloseOthersDialogTemplate), windows_(std::move(windows)), state_(state) {}

CDIALOG_CLOSE_OTHERS::~CDIALOG_CLOSE_OTHERS() {
    // The records must not keep pointing at a dialog that is gone.
    WindowHandle self = toWindowHandle(this);
    state_.closeOthersDialog.compare_exchange_strong(self, nullptr);
    WindowHandle list = toWindowHandle(TemplateDialog::listBox(kCloseOthersListBoxId));
    if (list != nullptr) {
        state_.closeOthersList.compare_exchange_strong(list, nullptr);
    }
}

bool CDIALOG_CLOSE_OTHERS::onInitDialog() {
    TemplateDialog::onInitDialog();
    std::unique_ptr<WindowList> windows = windows_ ? windows_() : nullptr;
    NoWindows none;
    ListView view(*this);
    initCloseOthersDialog(state_, view, windows ? *windows : static_cast<WindowList&>(none));
    return true;
}

QtCloseOthersDialogHost::QtCloseOthersDialogHost(CDIALOG_CLOSE_OTHERS::WindowListFactory windows,
                                                 RecorderState& state)
    : windows_(std::move(windows)), state_(state) {}

WindowHandle QtCloseOthersDialogHost::createDialog() {
    auto* dialog = new CDIALOG_CLOSE_OTHERS(windows_, state_);
    // One dialog per run, released when the user closes it.
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QDialog::finished, dialog, &QObject::deleteLater);
    if (!dialog->create()) {
        delete dialog;
        return nullptr;
    }
    return toWindowHandle(dialog);
}

void QtCloseOthersDialogHost::showDialog(WindowHandle handle) {
    if (QWidget* dialog = widgetFromHandle(handle)) {
        dialog->showNormal();
        dialog->raise();
    }
}

}  // namespace marrowdale
