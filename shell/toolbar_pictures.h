// The toolbar's pictures, drawn in code: 16 by 15 pixels, one per command of toolbar 129.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace marrowdale {

inline constexpr int kToolbarPictureWidth = 16;
inline constexpr int kToolbarPictureHeight = 15;

// The picture of command `id`; a null pixmap for a command without one.
QPixmap toolbarPicture(int id);

// The program's icon (a red recording dot on a dark screen), for the frames and the About box.
QIcon applicationIcon();

}  // namespace marrowdale
