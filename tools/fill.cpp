#include "tools/fill.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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
    FrameName(std::string_view folder, std::uint8_t imageFormat) {
        usable_ = utf16Length(folder) + 1 + kDigits + kExtensionLength <= kFrameNameLimit;
        if (!usable_)
            return;
        name_.reserve(folder.size() + 1 + kDigits + kExtensionLength);
        name_.append(folder);
        name_.push_back('/');
        digitsAt_ = name_.size();
        name_.append(kDigits, '0');
        name_.append(imageFormat == kImageFormatBmp ? ".bmp" : ".jpg");
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
        const bool sure = entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN;
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
    return ::fstatat(where.folder, where.name, &info, 0) == 0;
}

CopyResult PosixFillFiles::copy(const std::string& source, const std::string& destination) {
    const Location from = locate(source);
    Descriptor in(::openat(from.folder, from.name, O_RDONLY | O_CLOEXEC));
    if (!in.valid())
        return CopyResult::OpenFailed;
    const Location to = locate(destination);
    Descriptor out(::openat(to.folder, to.name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!out.valid())
        return CopyResult::OpenFailed;

    CopyResult result = CopyResult::Copied;
    bool done = false;
    // Regular files are copied inside the kernel where it can; anything it refuses to copy
    // that way goes through the buffer.
    struct stat info {};
    if (kernelCopy_ && ::fstat(in.get(), &info) == 0 && S_ISREG(info.st_mode)) {
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
    // An incomplete copy is not left behind as a frame.
    if (result != CopyResult::Copied)
        ::unlinkat(to.folder, to.name, 0);
    std::uint8_t present = 0;
    if (std::uint8_t* entry = indexEntry(to, &present)) {
        if (result == CopyResult::Copied)
            *entry |= present;
        else
            *entry &= static_cast<std::uint8_t>(~(present | (present << 2)));
    }
    return result;
}

std::string fillFrameName(std::string_view folder, std::uint32_t number, std::uint8_t imageFormat) {
    FrameName name(folder, imageFormat);
    if (!name.usable())
        return {};
    return name.of(number);
}

FillReport autoFill(FillFiles& files, std::string_view folder, std::uint8_t imageFormat,
                    const FillProgressFn& progress) {
    FillReport result;
    files.startFill();
    FrameName currentName(folder, imageFormat);
    FrameName previousName(folder, imageFormat);
    if (!currentName.usable())
        return result;  // no name can exist: nothing found

    std::uint32_t current = 2;
    std::uint32_t previous = 1;
    // The lowest number at or above `current` that the end probe found, 0 while none is known.
    // Every number between `current` and it is known to be missing, so the probe need not
    // look at them again.
    std::uint32_t nextExisting = 0;
    bool previousExists = false;
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
        if (nextExisting != current) {
            const CopyResult copied =
                files.copy(previousName.of(previous), currentName.of(current));
            if (copied != CopyResult::Copied) {
                result.outcome = FillOutcome::Failed;
                result.failure = copied;
                return result;
            }
            ++result.progress.copied;
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

FillReport oddFill(FillFiles& files, std::string_view folder, std::uint8_t imageFormat,
                   const FillProgressFn& progress) {
    FillReport result;
    files.startFill();
    FrameName sourceName(folder, imageFormat);
    FrameName destinationName(folder, imageFormat);
    if (!sourceName.usable())
        return result;

    for (std::uint32_t n = 1; n < kFillLastNumber; n += 2) {
        if (!files.exists(sourceName.of(n)))
            break;
        const CopyResult copied = files.copy(sourceName.of(n), destinationName.of(n + 1));
        if (copied != CopyResult::Copied) {
            result.outcome = FillOutcome::Failed;
            result.failure = copied;
            return result;
        }
        ++result.progress.copied;
        ++result.progress.examined;
        if (!report(progress, result.progress)) {
            result.outcome = FillOutcome::Cancelled;
            return result;
        }
    }
    return result;
}

std::string_view fillMessage(const FillReport& report) {
    switch (report.outcome) {
        case FillOutcome::Finished:
            return kFillFinishedMessage;
        case FillOutcome::Failed:
            return kFillOpenFailedMessage;
        case FillOutcome::Cancelled:
            break;
    }
    return {};
}

}  // namespace marrowdale
