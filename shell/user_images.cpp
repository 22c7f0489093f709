#include "shell/user_images.h"

#include <QFile>

namespace marrowdale {

UserImagesResult UserImages::load(const QString& path) {
    QFile file(path);
    if (!file.exists())
        return UserImagesResult::Missing;
    if (!file.open(QIODevice::ReadOnly))
        return UserImagesResult::Unreadable;
    // The file may grow between a size check and the read, so the read itself is bounded.
    const QByteArray data = file.read(kUserImagesMaxBytes + 1);
    if (data.size() > kUserImagesMaxBytes)
        return UserImagesResult::TooLarge;
    if (data.isEmpty())
        return UserImagesResult::Unreadable;
    QImage strip;
    if (!strip.loadFromData(data, "BMP"))
        return UserImagesResult::Unreadable;
    std::vector<QPixmap> cells = cut(strip);
    if (cells.empty())
        return UserImagesResult::Unreadable;
    images_ = std::move(cells);
    return UserImagesResult::Loaded;
}

QPixmap UserImages::image(int index) const {
    if (index < 0 || index >= count())
        return {};
    return images_[static_cast<std::size_t>(index)];
}

std::vector<QPixmap> UserImages::cut(const QImage& strip) {
    std::vector<QPixmap> cells;
    if (strip.isNull() || strip.height() < kUserImageHeight || strip.width() < kUserImageWidth)
        return cells;
    QImage argb = strip.convertToFormat(QImage::Format_ARGB32);
    const QRgb grey = qRgb(192, 192, 192);
    for (int y = 0; y < argb.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(argb.scanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            if ((line[x] & 0x00FFFFFFu) == (grey & 0x00FFFFFFu))
                line[x] = 0;
    }
    const int n = argb.width() / kUserImageWidth;
    cells.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        cells.push_back(QPixmap::fromImage(
            argb.copy(i * kUserImageWidth, 0, kUserImageWidth, kUserImageHeight)));
    return cells;
}

}  // namespace marrowdale
