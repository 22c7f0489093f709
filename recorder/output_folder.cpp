#include "recorder/output_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "recorder/path_text.h"

namespace marrowdale {

namespace {
constexpr std::string_view kMessageAppendVid1 =
    "An error occured appending vid1 to the program's folder name.\nTry moving the program "
    "somewhere where the path is shorter\nso the total length of the path and filename is less "
    "than 500 bytes.";
constexpr std::string_view kMessageAppendSlash =
    "An error occured appending \\ to the program's folder name.\nTry moving the program "
    "somewhere where the path is shorter\nso the total length of the path and filename is less "
    "than 500 bytes.";
constexpr std::size_t kMaxPathChars = kFolderPathBufferChars - 1;  // room for the terminator
}  // namespace

std::string_view outputFolderMessage(OutputFolderResult result) {
    switch (result) {
        case OutputFolderResult::kAppendVid1Failed:
            return kMessageAppendVid1;
        case OutputFolderResult::kAppendSlashFailed:
            return kMessageAppendSlash;
        case OutputFolderResult::kOk:
            break;
    }
    return {};
}

OutputFolder prepareOutputFolder(std::string_view currentDirectory) {
    OutputFolder out;
    const std::size_t cwdUnits = utf16Length(currentDirectory);
    if (currentDirectory.empty() || cwdUnits + 5 > kMaxPathChars) {
        out.result = OutputFolderResult::kAppendVid1Failed;
        return out;
    }
    std::string folder(currentDirectory);
    folder += "/vid1";
    (void)::mkdir(folder.c_str(), 0777);
    if (cwdUnits + 6 > kMaxPathChars) {
        out.result = OutputFolderResult::kAppendSlashFailed;
        return out;
    }
    folder += '/';
    out.prefix = std::move(folder);
    return out;
}

std::string currentDirectory() {
    std::vector<char> buffer(4096);
    for (int attempt = 0; attempt < 6; ++attempt) {
        if (::getcwd(buffer.data(), buffer.size()) != nullptr)
            return std::string(buffer.data());
        if (errno != ERANGE)
            return {};
        buffer.resize(buffer.size() * 2);
    }
    return {};
}

}  // namespace marrowdale
