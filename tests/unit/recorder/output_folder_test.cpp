// The output folder: "<cwd>/vid1/" within 500 characters, the step that fails, the folder made
// between the two appends, and the messages.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "recorder/output_folder.h"
#include "recorder/path_text.h"
#include "test_support.h"

namespace marrowdale {
namespace {

// A real folder whose path has exactly `length` characters, under `base`.
std::string deepFolder(const std::string& base, std::size_t length) {
    std::string path = base;
    while (path.size() + 1 < length) {
        const std::size_t remaining = length - path.size();
        const std::size_t part = remaining > 250 ? 150 : remaining - 1;
        path += "/" + std::string(part, 'd');
    }
    std::filesystem::create_directories(path);
    return path;
}

TEST(OutputFolder, BuildsTheFolderWithAFinalSlash) {
    test::TempDir dir;
    const OutputFolder f = prepareOutputFolder(dir.path());
    EXPECT_EQ(f.result, OutputFolderResult::kOk);
    EXPECT_EQ(f.prefix, dir.path() + "/vid1/");
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() + "/vid1"));
}

TEST(OutputFolder, AnExistingFolderIsFine) {
    test::TempDir dir;
    std::filesystem::create_directory(dir.path() + "/vid1");
    EXPECT_EQ(prepareOutputFolder(dir.path()).result, OutputFolderResult::kOk);
}

TEST(OutputFolder, AFolderThatCannotBeMadeIsNoFailureHere) {
    const OutputFolder f = prepareOutputFolder("/nonexistent-mdl-folder/x");
    EXPECT_EQ(f.result, OutputFolderResult::kOk);
    EXPECT_EQ(f.prefix, "/nonexistent-mdl-folder/x/vid1/");
}

TEST(OutputFolder, LengthLimits) {
    test::TempDir dir;
    struct Row {
        std::size_t cwdLength;
        OutputFolderResult result;
        bool folderMade;
    } rows[] = {
        {493, OutputFolderResult::kOk, true},                 // 499 with "/vid1/"
        {494, OutputFolderResult::kAppendSlashFailed, true},  // "/vid1" fits exactly
        {495, OutputFolderResult::kAppendVid1Failed, false},  // "/vid1" does not fit
        {700, OutputFolderResult::kAppendVid1Failed, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.cwdLength);
        const std::string cwd = deepFolder(dir.path(), r.cwdLength);
        ASSERT_EQ(cwd.size(), r.cwdLength);
        const OutputFolder f = prepareOutputFolder(cwd);
        EXPECT_EQ(f.result, r.result);
        EXPECT_EQ(std::filesystem::is_directory(cwd + "/vid1"), r.folderMade);
        if (r.result == OutputFolderResult::kOk) {
            EXPECT_EQ(f.prefix.size(), 499u);
        } else {
            EXPECT_TRUE(f.prefix.empty());
        }
    }
}

TEST(OutputFolder, CharactersAreCountedNotBytes) {
    // 493 characters of which many take two bytes still fit.
    std::string cwd = "/nonexistent-mdl";
    while (utf16Length(cwd) < 493)
        cwd += "\xc3\xa9";
    ASSERT_EQ(utf16Length(cwd), 493u);
    EXPECT_EQ(prepareOutputFolder(cwd).result, OutputFolderResult::kOk);
    cwd += "\xc3\xa9";
    EXPECT_EQ(prepareOutputFolder(cwd).result, OutputFolderResult::kAppendSlashFailed);
}

TEST(OutputFolder, EmptyCurrentDirectoryFailsAtTheFirstAppend) {
    EXPECT_EQ(prepareOutputFolder("").result, OutputFolderResult::kAppendVid1Failed);
}

TEST(OutputFolder, Messages) {
    EXPECT_EQ(outputFolderMessage(OutputFolderResult::kAppendVid1Failed),
              "An error occured appending vid1 to the program's folder name.\nTry moving the "
              "program somewhere where the path is shorter\nso the total length of the path and "
              "filename is less than 500 bytes.");
    EXPECT_EQ(outputFolderMessage(OutputFolderResult::kAppendSlashFailed),
              "An error occured appending \\ to the program's folder name.\nTry moving the "
              "program somewhere where the path is shorter\nso the total length of the path and "
              "filename is less than 500 bytes.");
    EXPECT_TRUE(outputFolderMessage(OutputFolderResult::kOk).empty());
}

TEST(OutputFolder, CurrentDirectoryIsReadable) {
    const std::string cwd = currentDirectory();
    EXPECT_FALSE(cwd.empty());
    EXPECT_TRUE(std::filesystem::equivalent(cwd, std::filesystem::current_path()));
}

}  // namespace
}  // namespace marrowdale
