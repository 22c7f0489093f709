// The toolbar's pictures, drawn in code: 16 by 15 pixels, one per command of toolbar 129.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace marrowdale {

inline constexpr int kToolbarPictureWidth = 16;
inline constexpr int kToolbarPictureHeight = 15;

// The picture of command `id`; a null pixmap for a command without one.
QPixmap toolbarPicture(int id);

// The program's icon, for the frames and the About box: the one the icon theme holds under the
// program's desktop identity (installed with the program, or a theme's own version of it), else
// the same picture drawn here (run from the build folder): the four corner brackets of a capture
// area around a red record dot on a dark square.
QIcon applicationIcon();

}  // namespace marrowdale
