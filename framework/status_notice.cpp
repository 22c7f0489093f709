#include "framework/status_notice.h"

#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>

namespace marrowdale {

QMainWindow* mainWindowOf(QWidget* widget) {
    for (QWidget* w = widget; w != nullptr; w = w->parentWidget())
        if (auto* main = qobject_cast<QMainWindow*>(w))
            return main;
    return nullptr;
}

void showStatusNotice(QWidget* widget, const QString& text) {
    QMainWindow* main = mainWindowOf(widget);
    if (main == nullptr)
        return;
    QStatusBar* bar = main->statusBar();
    if (auto* pane = bar->findChild<QLabel*>(QStringLiteral("messagePane"))) {
        pane->setText(text);
        pane->setToolTip(text);  // a long line may be cut by the window's width
        bar->clearMessage();
    } else {
        bar->showMessage(text);
    }
}

}  // namespace marrowdale
