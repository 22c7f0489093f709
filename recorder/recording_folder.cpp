#include "recorder/recording_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>

namespace marrowdale {

namespace {

// Suffixes tried after a taken stamp: "-2" up to this.
constexpr int kMaxStampSuffix = 9999;

std::string_view extensionOf(ImageFormat imageFormat) {
    return imageFormat == ImageFormat::kBmp ? ".bmp" : ".jpg";
}

// "NNNNNN.ext" with six or more digits: the number, or nothing.
std::optional<std::uint64_t> frameNumberOf(std::string_view name, std::string_view extension) {
    if (name.size() < 6 + extension.size() || !name.ends_with(extension))
        return std::nullopt;
    const std::string_view digits = name.substr(0, name.size() - extension.size());
    if (digits.size() > 19)
        return std::nullopt;
    std::uint64_t number = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        number = number * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return number;
}

std::string trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r");
    return std::string(text.substr(first, last - first + 1));
}

template <typename T>
bool parseNumber(std::string_view text, T* value) {
    if (text.empty())
        return false;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, *value);
    return ec == std::errc() && ptr == end;
}

bool parseArea(std::string_view text, RecordingDescription* d) {
    std::int32_t v[4];
    for (int i = 0; i < 4; ++i) {
        const std::size_t comma = text.find(',');
        const std::string_view part = i < 3 ? text.substr(0, comma) : text;
        if ((i < 3 && comma == std::string_view::npos) || !parseNumber(trim(part), &v[i]))
            return false;
        if (i < 3)
            text.remove_prefix(comma + 1);
    }
    d->left = v[0];
    d->top = v[1];
    d->right = v[2];
    d->bottom = v[3];
    return true;
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// Renames without ever replacing what is at `to`. EEXIST when something is there.
int renameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without the flag: a hard link never replaces (files); a folder is renamed
    // after a last look.
    struct stat info {};
    if (::lstat(from.c_str(), &info) != 0)
        return errno;
    if (!S_ISDIR(info.st_mode)) {
        if (::link(from.c_str(), to.c_str()) != 0)
            return errno;
        return ::unlink(from.c_str()) == 0 ? 0 : errno;
    }
    if (exists(to))
        return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

std::string localStamp(std::time_t now) {
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

}  // namespace

std::string formatRecordingDescription(const RecordingDescription& d) {
    std::ostringstream out;
    out << "# How this recording was made; marrowdale-record --export reads it.\n"
        << "[recording]\n"
        << "records="
        << (d.screen && d.sound ? "screen,sound"
            : d.screen          ? "screen"
                                : "sound")
        << "\n"
        << "period_100ns=" << d.period100ns << "\n"
        << "frame_option=" << static_cast<unsigned>(d.frameOption) << "\n"
        << "capture_mode=" << static_cast<unsigned>(d.captureMode) << "\n"
        << "area=" << d.left << "," << d.top << "," << d.right << "," << d.bottom << "\n"
        << "format=" << (d.imageFormat == ImageFormat::kBmp ? "bmp" : "jpg") << "\n"
        << "started=" << d.started << "\n"
        << "sound=" << d.soundFile << "\n";
    return out.str();
}

bool parseRecordingDescription(std::string_view text, RecordingDescription* out,
                               std::string* error) {
    RecordingDescription d;
    bool recordsSeen = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string line = trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line[0] == '#' || line[0] == ';' || line[0] == '[')
            continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = trim(std::string_view(line).substr(0, eq));
        const std::string value = trim(std::string_view(line).substr(eq + 1));
        auto bad = [&] {
            if (error)
                *error = "the value '" + value + "' of " + key + " cannot be used";
            return false;
        };
        if (key == "records") {
            recordsSeen = true;
            d.screen = value.find("screen") != std::string::npos;
            d.sound = value.find("sound") != std::string::npos;
            if (!d.screen && !d.sound)
                return bad();
        } else if (key == "period_100ns") {
            if (!parseNumber(value, &d.period100ns) || d.period100ns == 0)
                return bad();
        } else if (key == "frame_option") {
            unsigned option = 0;
            if (!parseNumber(value, &option) || option == 0 || option > 255)
                return bad();
            d.frameOption = static_cast<std::uint8_t>(option);
        } else if (key == "capture_mode") {
            unsigned mode = 0;
            if (!parseNumber(value, &mode) || mode > 255)
                return bad();
            d.captureMode = static_cast<CaptureMode>(mode);
        } else if (key == "area") {
            if (!parseArea(value, &d))
                return bad();
        } else if (key == "format") {
            if (value == "jpg")
                d.imageFormat = ImageFormat::kJpeg;
            else if (value == "bmp")
                d.imageFormat = ImageFormat::kBmp;
            else
                return bad();
        } else if (key == "started") {
            d.started = value;
        } else if (key == "sound") {
            if (value.find('/') != std::string::npos || value == "." || value == "..")
                return bad();
            d.soundFile = value;
        }
    }
    if (!recordsSeen)
        d.sound = !d.soundFile.empty();
    if (!d.sound)
        d.soundFile.clear();
    *out = d;
    return true;
}

bool writeRecordingDescription(const std::string& folder, const RecordingDescription& d) {
    const std::string path = folder + "/" + std::string(kDescriptionFileName);
    const std::string temporary = path + ".tmp";
    const std::string text = formatRecordingDescription(d);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    std::size_t done = 0;
    bool ok = true;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    ok = ::close(fd) == 0 && ok;
    if (ok)
        ok = ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok)
        ::unlink(temporary.c_str());
    return ok;
}

std::optional<RecordingDescription> readRecordingDescription(const std::string& path,
                                                             std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string text;
    char buffer[4096];
    // A description is a few lines; anything far larger is not one.
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (text.size() > 65536) {
            if (error)
                *error = "it is too large";
            return std::nullopt;
        }
    }
    RecordingDescription d;
    if (!parseRecordingDescription(text, &d, error))
        return std::nullopt;
    return d;
}

std::string utcTimestamp(std::time_t when) {
    std::tm utc{};
    ::gmtime_r(&when, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

bool listFrameFiles(const std::string& folder, ImageFormat imageFormat,
                    std::vector<FrameFile>* out) {
    out->clear();
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return false;
    const std::string_view extension = extensionOf(imageFormat);
    bool complete = true;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            complete = errno == 0;
            break;
        }
        const std::string_view name(entry->d_name);
        if (const auto number = frameNumberOf(name, extension))
            out->push_back(FrameFile{*number, std::string(name)});
    }
    ::closedir(dir);
    // "0000001.jpg" and "000001.jpg" name the same number: the six-digit name is the
    // recorder's, so it comes first and the other is left out.
    std::sort(out->begin(), out->end(), [](const FrameFile& a, const FrameFile& b) {
        return a.number != b.number ? a.number < b.number : a.name.size() < b.name.size();
    });
    out->erase(
        std::unique(out->begin(), out->end(),
                    [](const FrameFile& a, const FrameFile& b) { return a.number == b.number; }),
        out->end());
    return complete;
}

bool holdsFrameFiles(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return false;
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (frameNumberOf(name, ".jpg") || frameNumberOf(name, ".bmp")) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

MoveAside moveEarlierRecordingAside(const std::string& workingFolder, std::time_t now) {
    MoveAside result;
    const std::string base = workingFolder + "/";
    const std::string frames(kFramesFolderName);
    const std::string sound(kSoundFileName);
    const std::string description(kDescriptionFileName);

    const bool moveFrames = holdsFrameFiles(base + frames);
    const bool moveSound = exists(base + sound);
    if (!moveFrames && !moveSound)
        return result;
    const bool moveDescription = exists(base + description);

    // One stamp for the parts of the earlier recording; the first whose names are all free.
    const std::string stamp = localStamp(now);
    auto namesFor = [&](int suffix) {
        const std::string tail = suffix < 2 ? stamp : stamp + "-" + std::to_string(suffix);
        return std::vector<std::string>{frames + "-" + tail, "test-" + tail + ".wma",
                                        "recording-" + tail + ".ini"};
    };
    int suffix = 1;
    for (; suffix <= kMaxStampSuffix; ++suffix) {
        const auto names = namesFor(suffix);
        if ((!moveFrames || !exists(base + names[0])) && (!moveSound || !exists(base + names[1])) &&
            (!moveDescription || !exists(base + names[2])))
            break;
    }
    const bool wanted[3] = {moveFrames, moveSound, moveDescription};
    const std::string sources[3] = {frames, sound, description};
    for (int i = 0; i < 3; ++i) {
        if (!wanted[i])
            continue;
        // Another program may take a name between the look and the rename: the next suffix.
        int err = EEXIST;
        std::string target;
        for (int s = suffix; s <= kMaxStampSuffix && err == EEXIST; ++s) {
            target = namesFor(s)[static_cast<std::size_t>(i)];
            err = renameNoReplace(base + sources[i], base + target);
        }
        if (err != 0) {
            result.failed = true;
            result.error = sources[i] + " could not be moved aside: " + std::strerror(err);
            return result;
        }
        result.moves.push_back(
            {i == 0 ? sources[i] + "/" : sources[i], i == 0 ? target + "/" : target});
    }
    return result;
}

std::string moveAsideNotice(const MoveAside& moved) {
    if (moved.moves.empty())
        return {};
    std::string text = "The earlier recording was moved aside: ";
    for (std::size_t i = 0; i < moved.moves.size(); ++i) {
        if (i > 0)
            text += ", ";
        text += moved.moves[i].from + " to " + moved.moves[i].to;
    }
    return text;
}

RecordingSummary summarizeRecording(const std::string& workingFolder, ImageFormat imageFormat,
                                    bool withSound) {
    RecordingSummary s;
    s.folder = workingFolder;
    std::vector<FrameFile> files;
    (void)listFrameFiles(workingFolder + "/" + std::string(kFramesFolderName), imageFormat, &files);
    s.frames = files.size();
    if (!files.empty()) {
        s.firstNumber = files.front().number;
        s.lastNumber = files.back().number;
        s.freeNumbers = s.lastNumber - s.firstNumber + 1 - s.frames;
    }
    const std::string sound = workingFolder + "/" + std::string(kSoundFileName);
    struct stat info {};
    if (withSound && ::stat(sound.c_str(), &info) == 0) {
        s.soundFile = sound;
        s.soundBytes = static_cast<std::uint64_t>(info.st_size);
    }
    return s;
}

std::string recordingSummaryLine(const RecordingSummary& s) {
    std::string line;
    const std::string frames = s.folder + "/" + std::string(kFramesFolderName) + "/";
    if (s.frames == 0) {
        line = "Recorded no frames";
        if (s.soundFile.empty())
            return line + " and no sound";
    } else {
        line = "Recorded " + std::to_string(s.frames) + (s.frames == 1 ? " frame" : " frames") +
               " in " + frames + " (numbers " + std::to_string(s.firstNumber) + "-" +
               std::to_string(s.lastNumber) + ", " + std::to_string(s.freeNumbers) + " free";
        if (s.freeNumbers > 0)
            line += ": fill them before an editor, or export";
        line += ")";
    }
    line += s.soundFile.empty() ? ", no sound" : ", sound in " + s.soundFile;
    return line;
}

}  // namespace marrowdale
