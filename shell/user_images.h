// The user image list: toolbar pictures the user supplies in the file UserImages.bmp of the
// current directory, one strip of 16 by 15 pixel cells side by side. The customisation dialog
// offers them as button images. A missing, oversized or unreadable file simply gives no list.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QString>
#include <cstdint>
#include <vector>

namespace marrowdale {

// Where the list is looked for, relative to the current directory.
inline constexpr const char* kUserImagesFile = "./UserImages.bmp";
// Larger files are not read at all.
inline constexpr std::int64_t kUserImagesMaxBytes = 819200;
// The size of one image of the strip.
inline constexpr int kUserImageWidth = 16;
inline constexpr int kUserImageHeight = 15;

enum class UserImagesResult { Loaded, Missing, TooLarge, Unreadable };

class UserImages {
  public:
    // Reads `path` (at most kUserImagesMaxBytes bytes). On anything but Loaded the list is left
    // as it was.
    UserImagesResult load(const QString& path);

    bool isEmpty() const { return images_.empty(); }
    int count() const { return static_cast<int>(images_.size()); }
    // Image `index`; a null pixmap outside the list.
    QPixmap image(int index) const;

    // Cuts `strip` into cells of kUserImageWidth by kUserImageHeight, left to right; a strip
    // lower than one cell or narrower than one gives none. The light grey of the classic
    // toolbar bitmaps (192, 192, 192) becomes transparent.
    static std::vector<QPixmap> cut(const QImage& strip);

  private:
    std::vector<QPixmap> images_;
};

}  // namespace marrowdale
