#include "recorder/frame_names.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "recorder/path_text.h"

namespace marrowdale {

namespace {
std::size_t decimalDigits(std::uint64_t n) {
    std::size_t digits = 1;
    while (n >= 10) {
        n /= 10;
        ++digits;
    }
    return digits;
}
}  // namespace

std::string_view frameExtension(ImageFormat imageFormat) {
    return imageFormat == ImageFormat::kBmp ? std::string_view(".bmp") : std::string_view(".jpg");
}

bool composeFrameName(std::string_view prefix, std::size_t prefixUnits, std::uint64_t number,
                      ImageFormat imageFormat, FrameName& out) {
    out.length = 0;
    out.text[0] = '\0';
    const std::size_t digits = decimalDigits(number) < 6 ? 6 : decimalDigits(number);
    const std::string_view ext = frameExtension(imageFormat);
    if (prefixUnits + digits + ext.size() > kFrameNameMaxChars)
        return false;
    if (prefix.size() + digits + ext.size() + 1 > out.text.size())
        return false;
    std::memcpy(out.text.data(), prefix.data(), prefix.size());
    const int written =
        std::snprintf(out.text.data() + prefix.size(), out.text.size() - prefix.size(),
                      "%06" PRIu64 "%.*s", number, static_cast<int>(ext.size()), ext.data());
    if (written < 0) {
        out.text[0] = '\0';
        return false;
    }
    out.length = prefix.size() + static_cast<std::size_t>(written);
    return true;
}

bool composeFrameName(std::string_view prefix, std::uint64_t number, ImageFormat imageFormat,
                      FrameName& out) {
    return composeFrameName(prefix, utf16Length(prefix), number, imageFormat, out);
}

bool prefixFitsFrameNames(std::string_view prefix) {
    return utf16Length(prefix) + kFrameNameTailChars <= kFrameNameMaxChars;
}

void temporaryFrameName(std::string_view fileName, std::string& out) {
    const std::size_t slash = fileName.rfind('/');
    const std::size_t base = slash == std::string_view::npos ? 0 : slash + 1;
    out.assign(fileName.substr(0, base));
    out.push_back('.');
    out.append(fileName.substr(base));
    out.append(kTemporaryFrameSuffix);
}

bool isTemporaryFrameName(std::string_view entryName) {
    // "." + at least six digits + ".jpg" or ".bmp" + ".part"
    if (entryName.size() < 1 + 6 + 4 + kTemporaryFrameSuffix.size() || entryName[0] != '.' ||
        !entryName.ends_with(kTemporaryFrameSuffix))
        return false;
    entryName.remove_prefix(1);
    entryName.remove_suffix(kTemporaryFrameSuffix.size());
    if (!entryName.ends_with(frameExtension(ImageFormat::kBmp)) &&
        !entryName.ends_with(frameExtension(ImageFormat::kJpeg)))
        return false;
    entryName.remove_suffix(4);
    for (const char c : entryName)
        if (c < '0' || c > '9')
            return false;
    return true;
}

std::size_t removeTemporaryFrames(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return 0;
    }
    std::size_t removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (isTemporaryFrameName(entry->d_name) && ::unlinkat(fd, entry->d_name, 0) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

}  // namespace marrowdale
