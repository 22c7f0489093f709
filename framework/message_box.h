// The program's message boxes, each with one OK button. All: GUI thread only; they return when
// the user has pressed OK (or closed the box). The boxes carry the object name
// "marrowdaleMessageBox" so that tests can find and answer them.
#pragma once

#include <QString>

class QWidget;

namespace marrowdale {

// The general message box: caption "Marrowdale", an exclamation icon, owned by the active window.
void afxMessageBox(const QString& text);

// A box with the given caption and no icon, owned by `owner` (may be null): the "Plumet" boxes
// and the boxes named after a routine ("OnCommandStartBoth()").
void captionedMessageBox(QWidget* owner, const QString& text, const QString& caption);

// The "Plumet" box: output folder and image writer errors.
void plumetMessageBox(QWidget* owner, const QString& text);

}  // namespace marrowdale
