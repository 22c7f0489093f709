// Test helper: answers the program's modal boxes and dialogs while a test runs code that opens
// them. Every few milliseconds it looks for a visible modal widget, records it and closes it
// (message boxes with OK, other dialogs with the given action).
#pragma once

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <functional>

namespace marrowdale::testing {

class ModalAnswerer : public QObject {
  public:
    // `onDialog` runs for a modal widget that is not a message box (it must close it); without
    // it such a dialog is rejected.
    explicit ModalAnswerer(std::function<void(QWidget*)> onDialog = {})
        : onDialog_(std::move(onDialog)) {
        connect(&timer_, &QTimer::timeout, this, &ModalAnswerer::poll);
        timer_.start(10);
    }

    QStringList texts;     // message box texts, in order
    QStringList captions;  // their captions
    QStringList dialogTitles;

  private:
    void poll() {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible())
            return;
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            texts << box->text();
            captions << box->windowTitle();
            box->done(QMessageBox::Ok);
            return;
        }
        dialogTitles << w->windowTitle();
        if (onDialog_) {
            onDialog_(w);
        } else if (auto* d = qobject_cast<QDialog*>(w)) {
            d->done(QDialog::Rejected);
        }
    }

    std::function<void(QWidget*)> onDialog_;
    QTimer timer_;
};

}  // namespace marrowdale::testing
