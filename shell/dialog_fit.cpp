#include "shell/dialog_fit.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>

#include "shell/main_frame.h"

namespace marrowdale {

namespace {

class DialogFitter final : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // The show event comes once the dialog has its size and its place over its parent.
        if (event->type() == QEvent::Show) {
            auto* dialog = qobject_cast<QDialog*>(watched);
            if (dialog != nullptr && dialog->isWindow())
                fitWindowToScreen(*dialog);
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

void keepDialogsOnScreen(QObject* owner) {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(new DialogFitter(owner));
}

}  // namespace marrowdale
