#include "tools/fill.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "recorder/state.h"

namespace marrowdale {

namespace {

static_assert(kFillLastNumber + kFillEndProbeCount <= 999999,
              "frame numbers examined by a fill stay within six digits");

constexpr std::size_t kDigits = 6;
constexpr std::size_t kExtensionLength = 4;  // ".jpg", ".bmp"
constexpr std::size_t kKernelCopyChunk = std::size_t{1} << 30;

// Code units the text takes in UTF-16 (invalid bytes count one each).
std::size_t utf16Length(std::string_view text) {
    std::size_t units = 0;
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if ((byte & 0xC0u) == 0x80u)
            continue;                    // continuation byte
        units += byte >= 0xF0u ? 2 : 1;  // four-byte sequences need a surrogate pair
    }
    return units;
}

// A frame name whose digits are rewritten in place, so a fill composes no new string per
// number.
class FrameName {
  public:
    FrameName(std::string_view folder, ImageFormat imageFormat) {
        usable_ = utf16Length(folder) + 1 + kDigits + kExtensionLength <= kFrameNameLimit;
        if (!usable_)
            return;
        name_.reserve(folder.size() + 1 + kDigits + kExtensionLength);
        name_.append(folder);
        name_.push_back('/');
        digitsAt_ = name_.size();
        name_.append(kDigits, '0');
        name_.append(imageFormat == ImageFormat::kBmp ? ".bmp" : ".jpg");
    }

    bool usable() const { return usable_; }

    const std::string& of(std::uint32_t number) {
        for (std::size_t i = kDigits; i-- > 0;) {
            name_[digitsAt_ + i] = static_cast<char>('0' + number % 10);
            number /= 10;
        }
        return name_;
    }

  private:
    bool usable_ = false;
    std::string name_;
    std::size_t digitsAt_ = 0;
};

// Owns one open file descriptor.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes now and reports whether the close succeeded.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (written == 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool report(const FillProgressFn& progress, const FillProgress& counts) {
    return !progress || progress(counts);
}

}  // namespace

PosixFillFiles::PosixFillFiles(std::size_t bufferBytes, bool kernelCopy)
    : buffer_(bufferBytes > 0 ? bufferBytes : 1), kernelCopy_(kernelCopy) {}

PosixFillFiles::~PosixFillFiles() {
    forgetFolder();
}

void PosixFillFiles::forgetFolder() {
    if (folderFd_ >= 0)
        ::close(folderFd_);
    folderFd_ = -1;
    folderKnown_ = false;
    folderRead_ = false;
    index_.clear();
}

void PosixFillFiles::startFill() {
    forgetFolder();
}

namespace {

// Bits of an index entry.
constexpr std::uint8_t kJpegPresent = 1;
constexpr std::uint8_t kBmpPresent = 2;
constexpr std::uint8_t kJpegAsk = 4;  // listed, but of a kind that needs a status query
constexpr std::uint8_t kBmpAsk = 8;
// An entry's ask bit is its present bit shifted by two.
static_assert(kJpegAsk == kJpegPresent << 2 && kBmpAsk == kBmpPresent << 2);
constexpr std::size_t kIndexSize = 1000000;  // six digits

// "NNNNNN.jpg" or "NNNNNN.bmp": the number and the present bit of its extension.
bool parseFrameName(const char* name, std::uint32_t* number, std::uint8_t* presentBit) {
    std::uint32_t n = 0;
    for (std::size_t i = 0; i < kDigits; ++i) {
        if (name[i] < '0' || name[i] > '9')
            return false;
        n = n * 10 + static_cast<std::uint32_t>(name[i] - '0');
    }
    const char* ext = name + kDigits;
    if (std::string_view(ext) == ".jpg")
        *presentBit = kJpegPresent;
    else if (std::string_view(ext) == ".bmp")
        *presentBit = kBmpPresent;
    else
        return false;
    *number = n;
    return true;
}

}  // namespace

void PosixFillFiles::readFolder() {
    folderRead_ = true;
    index_.clear();
    if (folderFd_ < 0)
        return;
    // Names are looked up through the folder: it must be searchable for the reading to stand
    // for the status queries.
    if (::faccessat(folderFd_, ".", X_OK, 0) != 0)
        return;
    const int listFd = ::openat(folderFd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0)
        return;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return;
    }
    std::vector<std::uint8_t> index(kIndexSize, 0);
    bool complete = true;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            complete = errno == 0;
            break;
        }
        std::uint32_t number = 0;
        std::uint8_t present = 0;
        if (!parseFrameName(entry->d_name, &number, &present))
            continue;
        // Any kind of entry under a frame's name exists: a link, even one that leads nowhere,
        // is not a free number.
        const bool sure = entry->d_type != DT_UNKNOWN;
        index[number] |= sure ? present : static_cast<std::uint8_t>(present << 2);
    }
    ::closedir(dir);
    if (complete)
        index_ = std::move(index);
}

std::uint8_t* PosixFillFiles::indexEntry(const Location& where, std::uint8_t* bit) {
    if (where.folder != folderFd_ || folderFd_ < 0)
        return nullptr;
    if (!folderRead_)
        readFolder();
    std::uint32_t number = 0;
    if (index_.empty() || !parseFrameName(where.name, &number, bit))
        return nullptr;
    return &index_[number];
}

PosixFillFiles::Location PosixFillFiles::locate(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return {AT_FDCWD, path.c_str()};
    const std::string_view folder(path.data(), slash);
    if (!folderKnown_ || folder != folderText_) {
        if (folderFd_ >= 0)
            ::close(folderFd_);
        folderText_.assign(folder);
        folderFd_ = ::open(folderText_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        folderKnown_ = true;
    }
    if (folderFd_ < 0)
        return {AT_FDCWD, path.c_str()};
    return {folderFd_, path.c_str() + slash + 1};
}

bool PosixFillFiles::exists(const std::string& path) {
    const Location where = locate(path);
    std::uint8_t present = 0;
    if (const std::uint8_t* entry = indexEntry(where, &present)) {
        if (*entry & present)
            return true;
        if (!(*entry & (present << 2)))
            return false;
    }
    struct stat info {};
    return ::fstatat(where.folder, where.name, &info, AT_SYMLINK_NOFOLLOW) == 0;
}

namespace {

// Whether a name in a folder is a regular file: Regular, Other (exists as something else, or
// is a link that leads nowhere), or Missing.
enum class EntryKind { Regular, Other, Missing, Unreadable };

// `name` with a leading dot on its last part and ".part" after it: where a copy is made before
// it takes the name.
void temporaryName(std::string_view name, std::string& out) {
    const std::size_t slash = name.rfind('/');
    const std::size_t base = slash == std::string_view::npos ? 0 : slash + 1;
    out.assign(name.substr(0, base));
    out.push_back('.');
    out.append(name.substr(base));
    out.append(".part");
}

EntryKind entryKind(int folder, const char* name, bool followLinks) {
    struct stat info {};
    if (::fstatat(folder, name, &info, followLinks ? 0 : AT_SYMLINK_NOFOLLOW) == 0)
        return S_ISREG(info.st_mode) ? EntryKind::Regular : EntryKind::Other;
    if (errno != ENOENT && errno != ENOTDIR)
        return EntryKind::Unreadable;
    // A link whose target is missing is there, but it is no frame.
    if (followLinks && ::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) == 0)
        return EntryKind::Other;
    return EntryKind::Missing;
}

}  // namespace

CopyResult PosixFillFiles::copy(const std::string& source, const std::string& destination) {
    const Location from = locate(source);
    switch (entryKind(from.folder, from.name, /*followLinks=*/true)) {
        case EntryKind::Regular:
            break;
        case EntryKind::Other:
            return CopyResult::SourceNotRegular;
        case EntryKind::Missing:
        case EntryKind::Unreadable:
            return CopyResult::OpenFailed;
    }
    // Non-blocking: a named pipe put there since the look above does not hang the fill.
    Descriptor in(::openat(from.folder, from.name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!in.valid())
        return CopyResult::OpenFailed;
    struct stat info {};
    if (::fstat(in.get(), &info) != 0)
        return CopyResult::ReadFailed;
    if (!S_ISREG(info.st_mode))
        return CopyResult::SourceNotRegular;

    const Location to = locate(destination);
    // Only a regular file is replaced; the copy never goes through a link.
    if (entryKind(to.folder, to.name, /*followLinks=*/false) == EntryKind::Other)
        return CopyResult::DestinationNotRegular;
    temporaryName(to.name, temporary_);
    (void)::unlinkat(to.folder, temporary_.c_str(), 0);  // left by a fill that was killed
    Descriptor out(::openat(to.folder, temporary_.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!out.valid())
        return CopyResult::OpenFailed;

    CopyResult result = CopyResult::Copied;
    bool done = false;
    // Regular files are copied inside the kernel where it can; anything it refuses to copy
    // that way goes through the buffer.
    if (kernelCopy_) {
        bool first = true;
        for (;;) {
            const ssize_t moved =
                ::copy_file_range(in.get(), nullptr, out.get(), nullptr, kKernelCopyChunk, 0);
            if (moved > 0) {
                first = false;
                continue;
            }
            if (moved == 0) {
                done = true;
                break;
            }
            if (errno == EINTR)
                continue;
            if (first && (errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                          errno == EOPNOTSUPP || errno == EBADF || errno == EPERM)) {
                break;  // not possible here: copy through the buffer
            }
            result = (errno == ENOSPC || errno == EDQUOT || errno == EFBIG || errno == EROFS)
                         ? CopyResult::WriteFailed
                         : CopyResult::ReadFailed;
            done = true;
            break;
        }
    }
    while (!done) {
        const ssize_t got = ::read(in.get(), buffer_.data(), buffer_.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            result = CopyResult::ReadFailed;
            break;
        }
        if (got == 0)
            break;
        if (!writeAll(out.get(), buffer_.data(), static_cast<std::size_t>(got))) {
            result = CopyResult::WriteFailed;
            break;
        }
    }
    in.close();
    if (!out.close() && result == CopyResult::Copied)
        result = CopyResult::WriteFailed;
    if (result == CopyResult::Copied &&
        ::renameat(to.folder, temporary_.c_str(), to.folder, to.name) != 0)
        result = CopyResult::WriteFailed;
    // An incomplete copy is not left behind.
    if (result != CopyResult::Copied)
        ::unlinkat(to.folder, temporary_.c_str(), 0);
    std::uint8_t present = 0;
    if (std::uint8_t* entry = indexEntry(to, &present)) {
        if (result == CopyResult::Copied)
            *entry |= present;
    }
    return result;
}

FolderCheck PosixFillFiles::checkFolder(const std::string& folder, ImageFormat imageFormat) {
    struct stat info {};
    if (folder.empty() || ::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return FolderCheck::Missing;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return FolderCheck::NoFrames;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return FolderCheck::NoFrames;
    }
    const std::uint8_t wanted = imageFormat == ImageFormat::kBmp ? kBmpPresent : kJpegPresent;
    FolderCheck result = FolderCheck::NoFrames;
    while (const dirent* entry = ::readdir(dir)) {
        std::uint32_t number = 0;
        std::uint8_t present = 0;
        if (parseFrameName(entry->d_name, &number, &present) && present == wanted) {
            result = FolderCheck::HasFrames;
            break;
        }
    }
    ::closedir(dir);
    return result;
}

std::string fillFrameName(std::string_view folder, std::uint32_t number, ImageFormat imageFormat) {
    FrameName name(folder, imageFormat);
    if (!name.usable())
        return {};
    return name.of(number);
}

namespace {

// A fill begins with a look at its folder: a missing folder, or one without any frame file of
// the format, ends it with its error.
bool folderUsable(FillFiles& files, std::string_view folder, ImageFormat imageFormat,
                  FillReport& report) {
    report.imageFormat = imageFormat;
    switch (files.checkFolder(std::string(folder), imageFormat)) {
        case FolderCheck::HasFrames:
            return true;
        case FolderCheck::Missing:
            report.outcome = FillOutcome::NoFolder;
            return false;
        case FolderCheck::NoFrames:
            report.outcome = FillOutcome::NoFrames;
            return false;
    }
    return false;
}

void noteSkipped(FillReport& report, std::uint32_t number) {
    if (report.skipped++ == 0)
        report.firstSkipped = number;
}

}  // namespace

FillReport autoFill(FillFiles& files, std::string_view folder, ImageFormat imageFormat,
                    const FillProgressFn& progress) {
    FillReport result;
    files.startFill();
    FrameName currentName(folder, imageFormat);
    FrameName previousName(folder, imageFormat);
    if (!folderUsable(files, folder, imageFormat, result))
        return result;
    if (!currentName.usable())
        return result;  // no name can exist: nothing found

    std::uint32_t current = 2;
    std::uint32_t previous = 1;
    // The lowest number at or above `current` that the end probe found, 0 while none is known.
    // Every number between `current` and it is known to be missing, so the probe need not
    // look at them again.
    std::uint32_t nextExisting = 0;
    bool previousExists = false;
    // The frame before the gap under way is no regular file: the gap stays free.
    bool gapWithoutSource = false;
    for (;;) {
        // End of the recording: none of the next 300 numbers exists.
        if (nextExisting < current) {
            nextExisting = 0;
            for (std::uint32_t k = 0; k < kFillEndProbeCount; ++k) {
                if (files.exists(currentName.of(current + k))) {
                    nextExisting = current + k;
                    break;
                }
            }
            if (nextExisting == 0)
                break;
        }
        // Frame 1 missing ends the fill at once; later the previous frame always exists,
        // because it either existed or has just been made.
        if (!previousExists) {
            if (!files.exists(previousName.of(previous)))
                break;
            previousExists = true;
        }
        if (nextExisting == current) {
            gapWithoutSource = false;
        } else if (!gapWithoutSource) {
            const CopyResult copied =
                files.copy(previousName.of(previous), currentName.of(current));
            if (copied == CopyResult::SourceNotRegular) {
                noteSkipped(result, previous);
                gapWithoutSource = true;
            } else if (copied == CopyResult::DestinationNotRegular) {
                noteSkipped(result, current);
            } else if (copied != CopyResult::Copied) {
                result.outcome = FillOutcome::Failed;
                result.failure = copied;
                return result;
            } else {
                ++result.progress.copied;
            }
        }
        ++result.progress.examined;
        ++current;
        ++previous;
        if (current > kFillLastNumber)
            break;
        if (!report(progress, result.progress)) {
            result.outcome = FillOutcome::Cancelled;
            return result;
        }
    }
    return result;
}

FillReport oddFill(FillFiles& files, std::string_view folder, ImageFormat imageFormat,
                   const FillProgressFn& progress) {
    FillReport result;
    files.startFill();
    FrameName sourceName(folder, imageFormat);
    FrameName destinationName(folder, imageFormat);
    if (!folderUsable(files, folder, imageFormat, result))
        return result;
    if (!sourceName.usable())
        return result;

    for (std::uint32_t n = 1; n < kFillLastNumber; n += 2) {
        if (!files.exists(sourceName.of(n)))
            break;
        const CopyResult copied = files.copy(sourceName.of(n), destinationName.of(n + 1));
        if (copied == CopyResult::SourceNotRegular || copied == CopyResult::DestinationNotRegular) {
            noteSkipped(result, copied == CopyResult::SourceNotRegular ? n : n + 1);
        } else if (copied != CopyResult::Copied) {
            result.outcome = FillOutcome::Failed;
            result.failure = copied;
            return result;
        } else {
            ++result.progress.copied;
        }
        ++result.progress.examined;
        if (!report(progress, result.progress)) {
            result.outcome = FillOutcome::Cancelled;
            return result;
        }
    }
    return result;
}

std::string fillMessage(const FillReport& report) {
    const char* const extension = report.imageFormat == ImageFormat::kBmp ? "bmp" : "jpg";
    char text[256];
    switch (report.outcome) {
        case FillOutcome::Finished:
            if (report.skipped == 0)
                return std::string(kFillFinishedMessage);
            std::snprintf(text, sizeof text,
                          "%.*s\n\n%u file(s) named like frames were left alone because they are "
                          "not regular files (the first: %06u.%s).",
                          static_cast<int>(kFillFinishedMessage.size()),
                          kFillFinishedMessage.data(), static_cast<unsigned>(report.skipped),
                          static_cast<unsigned>(report.firstSkipped), extension);
            return text;
        case FillOutcome::Failed:
            return std::string(kFillOpenFailedMessage);
        case FillOutcome::NoFolder:
            return std::string(kFillNoFolderMessage);
        case FillOutcome::NoFrames:
            std::snprintf(text, sizeof text,
                          "The folder holds no frame files (000001.%s, 000002.%s, ...).\nNothing "
                          "was filled.",
                          extension, extension);
            return text;
        case FillOutcome::Cancelled:
            break;
    }
    return "Fill cancelled: " + std::to_string(report.progress.examined) + " frames examined, " +
           std::to_string(report.progress.copied) + " copied";
}

}  // namespace marrowdale
