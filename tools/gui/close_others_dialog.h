// The close-other-windows dialog (template 326), opened modeless by the close-others timer. Its
// initialisation walks the other programs' windows, asks the ones that pass the filter to
// close and lists their titles in list box 1022. GUI thread only.
#pragma once

#include <functional>
#include <memory>

#include "framework/template_dialog.h"
#include "platform/window_list.h"
#include "recorder/state.h"
#include "tools/close_others.h"

namespace marrowdale {

class CDIALOG_CLOSE_OTHERS : public TemplateDialog {
    Q_OBJECT
  public:
    // Opens the window list that the initialisation walks (the program's platform services);
    // may be empty or return null: nothing is closed then.
    using WindowListFactory = std::function<std::unique_ptr<WindowList>()>;

    explicit CDIALOG_CLOSE_OTHERS(WindowListFactory windows = {},
                                  RecorderState& state = recorderState());
    ~CDIALOG_CLOSE_OTHERS() override;

  protected:
    bool onInitDialog() override;

  private:
    class ListView;

    WindowListFactory windows_;
    RecorderState& state_;
};

// Creates the dialogs the timer callback asks for: modeless, no parent, released when the user
// closes them. GUI thread only.
class QtCloseOthersDialogHost final : public CloseOthersDialogHost {
  public:
    explicit QtCloseOthersDialogHost(CDIALOG_CLOSE_OTHERS::WindowListFactory windows = {},
                                     RecorderState& state = recorderState());
    WindowHandle createDialog() override;
    void showDialog(WindowHandle dialog) override;

  private:
    CDIALOG_CLOSE_OTHERS::WindowListFactory windows_;
    RecorderState& state_;
};

}  // namespace marrowdale
