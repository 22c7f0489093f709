// Every dialog of the program kept on its screen: dialogs are laid out in dialog units, which at
// a large scale factor can make one larger than the screen.
#pragma once

class QObject;

namespace marrowdale {

// From now on, each dialog that is about to show is fitted to its screen's free area
// (fitWindowToScreen). The watch lives as long as `owner`.
void keepDialogsOnScreen(QObject* owner);

}  // namespace marrowdale
