// The fill on a folder whose contents come from the input: regular files, named pipes, links to
// devices, to other frames and to nowhere, folders, and names that look like frames or almost
// do. Whatever is there, the fill ends (no hang on a pipe: an alarm ends the process if it
// does), writes nothing outside the folder and leaves no temporary file behind.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "recorder/state.h"
#include "tools/fill.h"

namespace {

namespace fs = std::filesystem;

std::string makeScratch() {
    char pattern[] = "/tmp/mdl-fill-fuzz-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    if (made == nullptr)
        std::abort();
    return made;
}

const std::string& scratch() {
    static const std::string path = makeScratch();
    return path;
}

std::size_t entriesIn(const std::string& folder) {
    std::size_t n = 0;
    std::error_code ec;
    for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator();
         it.increment(ec))
        ++n;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string folder = scratch() + "/frames";
    const std::string outside = scratch() + "/outside";
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::remove_all(outside, ec);
    fs::create_directories(folder);
    fs::create_directories(outside);

    // Each entry: a kind, a number, and for names that only look like frames a suffix.
    for (std::size_t i = 0; i + 3 <= size && i < 3 * 40; i += 3) {
        const unsigned kind = data[i] % 9;
        const unsigned number = 1 + (data[i + 1] | data[i + 2] << 8) % 40;
        char name[64];
        std::snprintf(name, sizeof name, "%s/%06u.%s", folder.c_str(), number,
                      kind == 8 ? "jpg.part" : "jpg");
        const std::string path = name;
        switch (kind) {
            case 0:
            case 1:
            case 8: {
                const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
                if (fd >= 0) {
                    (void)::write(fd, data, std::min<std::size_t>(size, 64));
                    ::close(fd);
                }
                break;
            }
            case 2:
                (void)::mkfifo(path.c_str(), 0644);
                break;
            case 3:
                (void)::symlink("/dev/zero", path.c_str());
                break;
            case 4:
                (void)::symlink((outside + "/target.jpg").c_str(), path.c_str());
                break;
            case 5:
                fs::create_directory(path, ec);
                break;
            case 6: {
                char other[32];
                std::snprintf(other, sizeof other, "%06u.jpg", 1 + (number * 7) % 40);
                (void)::symlink(other, path.c_str());
                break;
            }
            case 7: {
                // Longer than any frame name, starting like one.
                const std::string longName = path + std::string(200, 'x');
                (void)::mkfifo(longName.substr(0, folder.size() + 250).c_str(), 0644);
                break;
            }
        }
    }

    // A fill that hangs on a pipe is a finding: the alarm ends the process.
    ::alarm(10);
    marrowdale::PosixFillFiles files;
    const bool odd = size > 0 && (data[0] & 0x80) != 0;
    const marrowdale::FillReport report =
        odd ? marrowdale::oddFill(files, folder, marrowdale::ImageFormat::kJpeg)
            : marrowdale::autoFill(files, folder, marrowdale::ImageFormat::kJpeg);
    ::alarm(0);
    (void)marrowdale::fillMessage(report);

    if (entriesIn(outside) != 0)
        std::abort();  // written through a link
    for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        const std::string n = it->path().filename().string();
        if (n.size() > 5 && n[0] == '.' && n.ends_with(".part"))
            std::abort();  // a temporary copy stayed
    }
    return 0;
}
