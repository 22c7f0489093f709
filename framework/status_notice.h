// A notice in a main window's status bar that stays until the next one: the message pane (the
// status bar's label named "messagePane", which menu prompts cover only while they show), or a
// plain status message where the window has no such pane. GUI thread only.
#pragma once

#include <QString>

class QWidget;
class QMainWindow;

namespace marrowdale {

// The main window `widget` is or belongs to; null when there is none.
QMainWindow* mainWindowOf(QWidget* widget);

// Shows `text` in the status bar of the main window of `widget`. Nothing without one.
void showStatusNotice(QWidget* widget, const QString& text);

}  // namespace marrowdale
