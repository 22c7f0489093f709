#include "tools/fill.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "recorder/state.h"
#include "tests/support/small_mount.h"

namespace marrowdale {
namespace {

namespace fs = std::filesystem;

// ---- A real temporary folder ----------------------------------------------------------------

class TempFolder {
  public:
    TempFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/fill-test.XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        const char* made = ::mkdtemp(buffer.data());
        if (made)
            path_ = made;
    }
    ~TempFolder() {
        if (path_.empty())
            return;
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

std::string frameFile(const std::string& folder, std::uint32_t n, const char* ext = "jpg") {
    char name[32];
    std::snprintf(name, sizeof name, "/%06u.%s", n, ext);
    return folder + name;
}

std::string contentOf(std::uint32_t n) {
    return "frame " + std::to_string(n) + " data";
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void makeFrames(const std::string& folder, std::uint32_t first, std::uint32_t last,
                const char* ext = "jpg") {
    for (std::uint32_t n = first; n <= last; ++n)
        writeFile(frameFile(folder, n, ext), contentOf(n));
}

bool present(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

std::size_t countEntries(const std::string& folder) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

class FillOnDisk : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(dir.path().empty()); }
    TempFolder dir;
    PosixFillFiles files;
};

TEST_F(FillOnDisk, AutoFillCopiesTheFrameBeforeEachGap) {
    for (std::uint32_t n : {1u, 2u, 3u, 7u, 8u})
        writeFile(frameFile(dir.path(), n), contentOf(n));
    const FillReport report = autoFill(files, dir.path(), ImageFormat::kJpeg);
    EXPECT_EQ(report.outcome, FillOutcome::Finished);
    EXPECT_EQ(fillMessage(report), "Finished filling empty frame slots");
    EXPECT_EQ(report.progress.copied, 3u);
    for (std::uint32_t n : {4u, 5u, 6u})
        EXPECT_EQ(readFile(frameFile(dir.path(), n)), contentOf(3));
    EXPECT_EQ(readFile(frameFile(dir.path(), 7)), contentOf(7));
    EXPECT_EQ(readFile(frameFile(dir.path(), 8)), contentOf(8));
    EXPECT_FALSE(present(frameFile(dir.path(), 9)));
    EXPECT_EQ(countEntries(dir.path()), 8u);
}

TEST_F(FillOnDisk, AutoFillExampleOfTwoFramesAfterTheGap) {
    for (std::uint32_t n : {1u, 2u, 5u, 6u})
        writeFile(frameFile(dir.path(), n), contentOf(n));
    const FillReport report = autoFill(files, dir.path(), ImageFormat::kJpeg);
    EXPECT_EQ(report.outcome, FillOutcome::Finished);
    EXPECT_EQ(readFile(frameFile(dir.path(), 3)), contentOf(2));
    EXPECT_EQ(readFile(frameFile(dir.path(), 4)), contentOf(2));
    EXPECT_EQ(countEntries(dir.path()), 6u);
}

TEST_F(FillOnDisk, AutoFillStopsAtOnceWithoutFrameOne) {
    makeFrames(dir.path(), 2, 5);
    makeFrames(dir.path(), 8, 9);
    const FillReport report = autoFill(files, dir.path(), ImageFormat::kJpeg);
    EXPECT_EQ(report.outcome, FillOutcome::Finished);
    EXPECT_EQ(report.progress.copied, 0u);
    EXPECT_EQ(report.progress.examined, 0u);
    EXPECT_EQ(countEntries(dir.path()), 6u);
}

TEST_F(FillOnDisk, AGapOfThreeHundredOrMoreEndsTheFill) {
    makeFrames(dir.path(), 1, 10);
    makeFrames(dir.path(), 400, 500);
    const FillReport report = autoFill(files, dir.path(), ImageFormat::kJpeg);
    EXPECT_EQ(report.outcome, FillOutcome::Finished);
    EXPECT_EQ(report.progress.copied, 0u);
    EXPECT_EQ(report.progress.examined, 9u);  // 2 to 10
    EXPECT_FALSE(present(frameFile(dir.path(), 11)));
    EXPECT_EQ(countEntries(dir.path()), 111u);
    EXPECT_EQ(readFile(frameFile(dir.path(), 400)), contentOf(400));
}

TEST_F(FillOnDisk, AFrameWithinThreeHundredKeepsTheFillGoing) {
    makeFrames(dir.path(), 1, 10);
    makeFrames(dir.path(), 300, 300);
    const FillReport report = autoFill(files, dir.path(), ImageFormat::kJpeg);
    EXPECT_EQ(report.outcome, FillOutcome::Finished);
    EXPECT_EQ(report.progress.copied, 289u);  // 11 to 299
    for (std::uint32_t n = 11; n <= 299; ++n)
        ASSERT_EQ(readFile(frameFile(dir.path(), n)), contentOf(10)) << n;
    EXPECT_EQ(readFile(frameFile(dir.path(), 300)), contentOf(300));
    EXPECT_FALSE(present(frameFile(dir.path(), 301)));
}

TEST_F(FillOnDisk, TheEndProbeCoversExactlyThreeHundredNumbers) {
    // At 11 the probe looks at 11 to 310: a frame at 310 is found, one at 311 is not.
    makeFrames(dir.path(), 1, 10);
    makeFrames(dir.path(), 310, 310);
    EXPECT_EQ(autoFill(files, dir.path(), ImageFormat::kJpeg).progress.copied, 299u);

    TempFolder other;
    makeFrames(other.path(), 1, 10);
    makeFrames(other.path(), 311, 311);
    EXPECT_EQ(autoFill(files, other.path(), ImageFormat::kJpeg).progress.copied, 0u);
    EXPECT_FALSE(present(frameFile(other.path(), 11)));
}

TEST_F(FillOnDisk, ASecondAutoFillChangesNothing) {
    for (std::uint32_t n : {1u, 4u, 9u})
        writeFile(frameFile(dir.path(), n), contentOf(n));
    EXPECT_EQ(autoFill(files, dir.path(), ImageFormat::kJpeg).progress.copied, 6u);
    const FillReport again = autoFill(files, dir.path(), ImageFormat::kJpeg);
    EXPECT_EQ(again.outcome, FillOutcome::Finished);
    EXPECT_EQ(again.progress.copied, 0u);
    EXPECT_EQ(readFile(frameFile(dir.path(), 8)), contentOf(4));
}

TEST_F(FillOnDisk, OddFillReplacesAndCreatesEvenFrames) {
    for (std::uint32_t n : {1u, 2u, 3u, 5u})
        writeFile(frameFile(dir.path(), n), contentOf(n));
    const FillReport report = oddFill(files, dir.path(), ImageFormat::kJpeg);
    EXPECT_EQ(report.outcome, FillOutcome::Finished);
    EXPECT_EQ(fillMessage(report), kFillFinishedMessage);
    EXPECT_EQ(report.progress.copied, 3u);
    EXPECT_EQ(readFile(frameFile(dir.path(), 2)), contentOf(1));  // replaced
    EXPECT_EQ(readFile(frameFile(dir.path(), 4)), contentOf(3));
    EXPECT_EQ(readFile(frameFile(dir.path(), 6)), contentOf(5));
    EXPECT_FALSE(present(frameFile(dir.path(), 8)));
    EXPECT_EQ(countEntries(dir.path()), 6u);
}

TEST_F(FillOnDisk, FramesOfTheOtherFormatAreNotSeen) {
    writeFile(frameFile(dir.path(), 1, "bmp"), contentOf(1));
    writeFile(frameFile(dir.path(), 3, "bmp"), contentOf(3));
    // For JPEG names the folder holds no frame: that is an error, not a finished fill.
    const FillReport autoReport = autoFill(files, dir.path(), ImageFormat::kJpeg);
    EXPECT_EQ(autoReport.outcome, FillOutcome::NoFrames);
    EXPECT_EQ(autoReport.progress.copied, 0u);
    EXPECT_EQ(fillMessage(autoReport),
              "The folder holds no frame files (000001.jpg, 000002.jpg, ...).\nNothing was "
              "filled.");
    const FillReport oddReport = oddFill(files, dir.path(), ImageFormat::kJpeg);
    EXPECT_EQ(oddReport.outcome, FillOutcome::NoFrames);
    EXPECT_EQ(oddReport.progress.copied, 0u);
    EXPECT_EQ(countEntries(dir.path()), 2u);

    // With the BMP format set the same files are filled.
    EXPECT_EQ(autoFill(files, dir.path(), ImageFormat::kBmp).progress.copied, 1u);
    EXPECT_EQ(readFile(frameFile(dir.path(), 2, "bmp")), contentOf(1));
    EXPECT_FALSE(present(frameFile(dir.path(), 2, "jpg")));
}

// A fill of nothing is an error the user sees, not a "finished" that hides a mistyped folder.
TEST_F(FillOnDisk, EmptyOrMissingFolderIsAnError) {
    writeFile(dir.path() + "/plain", "not a folder");
    ASSERT_TRUE(fs::create_directory(dir.path() + "/empty"));
    const struct {
        std::string folder;
        FillOutcome outcome;
    } cases[] = {{dir.path() + "/empty", FillOutcome::NoFrames},
                 {dir.path() + "/none", FillOutcome::NoFolder},
                 {"", FillOutcome::NoFolder},
                 {dir.path() + "/plain", FillOutcome::NoFolder},
                 {"/proc", FillOutcome::NoFrames}};
    for (const auto& c : cases) {
        for (const bool odd : {false, true}) {
            const FillReport report = odd ? oddFill(files, c.folder, ImageFormat::kJpeg)
                                          : autoFill(files, c.folder, ImageFormat::kJpeg);
            EXPECT_EQ(report.outcome, c.outcome) << c.folder << (odd ? " odd" : " auto");
            EXPECT_EQ(report.progress.copied, 0u);
            EXPECT_NE(fillMessage(report), kFillFinishedMessage);
        }
    }
    EXPECT_EQ(fillMessage(autoFill(files, dir.path() + "/none", ImageFormat::kJpeg)),
              kFillNoFolderMessage);
    EXPECT_EQ(countEntries(dir.path()), 2u);
    EXPECT_EQ(countEntries(dir.path() + "/empty"), 0u);
}

TEST_F(FillOnDisk, FolderTextIsUsedAsTyped) {
    makeFrames(dir.path(), 1, 1);
    makeFrames(dir.path(), 3, 3);
    // A trailing separator only doubles the separator of the name.
    EXPECT_EQ(autoFill(files, dir.path() + "/", ImageFormat::kJpeg).progress.copied, 1u);
    EXPECT_EQ(readFile(frameFile(dir.path(), 2)), contentOf(1));
}

class FillCopyModes : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override { ASSERT_FALSE(dir.path().empty()); }
    TempFolder dir;
    PosixFillFiles files{256 * 1024, GetParam()};
};

INSTANTIATE_TEST_SUITE_P(KernelAndBuffer, FillCopyModes, ::testing::Values(true, false));

TEST_P(FillCopyModes, CopiesAreByteIdenticalIncludingByte255AndLargeFiles) {
    std::string everyByte;
    for (int round = 0; round < 4; ++round)
        for (int b = 0; b < 256; ++b)
            everyByte.push_back(static_cast<char>(b));
    everyByte.append(1000, static_cast<char>(0xFF));
    everyByte.push_back('\0');
    writeFile(frameFile(dir.path(), 1), everyByte);

    // Larger than the copy buffer and not a multiple of it.
    std::string large(3 * 256 * 1024 + 12345, '\0');
    std::uint32_t seed = 12345;
    for (char& c : large) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 24);
    }
    writeFile(frameFile(dir.path(), 3), large);
    writeFile(frameFile(dir.path(), 6), std::string());  // an empty frame
    writeFile(frameFile(dir.path(), 8), "x");

    EXPECT_EQ(autoFill(files, dir.path(), ImageFormat::kJpeg).outcome, FillOutcome::Finished);
    EXPECT_EQ(readFile(frameFile(dir.path(), 2)), everyByte);
    EXPECT_EQ(readFile(frameFile(dir.path(), 4)), large);
    EXPECT_EQ(readFile(frameFile(dir.path(), 5)), large);
    EXPECT_TRUE(present(frameFile(dir.path(), 7)));
    EXPECT_EQ(readFile(frameFile(dir.path(), 7)), std::string());
}

TEST_F(FillOnDisk, BufferedCopiesAreByteIdentical) {
    PosixFillFiles tiny(7, false);
    std::string bytes;
    for (int i = 0; i < 1000; ++i)
        bytes.push_back(static_cast<char>(255 - i % 256));
    writeFile(frameFile(dir.path(), 1), bytes);
    writeFile(frameFile(dir.path(), 3), "end");
    EXPECT_EQ(autoFill(tiny, dir.path(), ImageFormat::kJpeg).progress.copied, 1u);
    EXPECT_EQ(readFile(frameFile(dir.path(), 2)), bytes);
}

// A link that leads nowhere is not a free number, and nothing is created through it: its gap
// stays free and the fill says so.
TEST_F(FillOnDisk, ALinkThatLeadsNowhereIsNeitherFreeNorWrittenThrough) {
    makeFrames(dir.path(), 1, 2);
    makeFrames(dir.path(), 6, 6);
    makeFrames(dir.path(), 9, 9);
    ASSERT_TRUE(fs::create_directory(dir.path() + "/elsewhere"));
    const std::string target = dir.path() + "/elsewhere/x.jpg";
    ASSERT_EQ(::symlink(target.c_str(), frameFile(dir.path(), 4).c_str()), 0);
    const FillReport report = autoFill(files, dir.path(), ImageFormat::kJpeg);
    EXPECT_EQ(report.outcome, FillOutcome::Finished);
    EXPECT_EQ(report.skipped, 1u);
    EXPECT_EQ(report.firstSkipped, 4u);
    EXPECT_EQ(fillMessage(report),
              "Finished filling empty frame slots\n\n1 file(s) named like frames were left alone "
              "because they are not regular files (the first: 000004.jpg).");
    EXPECT_FALSE(present(target));
    EXPECT_EQ(readFile(frameFile(dir.path(), 3)), contentOf(2));
    EXPECT_FALSE(present(frameFile(dir.path(), 5)));  // nothing to copy it from
    EXPECT_EQ(readFile(frameFile(dir.path(), 7)), contentOf(6));
    EXPECT_EQ(readFile(frameFile(dir.path(), 8)), contentOf(6));
}

using marrowdale_test::SmallMount;

TEST_F(FillOnDisk, ReadOnlyFolderStopsWithTheOpenMessage) {
    const std::string folder = dir.path() + "/frames";
    if (::geteuid() != 0) {
        ASSERT_TRUE(fs::create_directory(folder));
        makeFrames(folder, 1, 1);
        makeFrames(folder, 3, 3);
        ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    }
    // Permission bits do not bind the superuser: a read-only file system does.
    SmallMount mount(folder, "size=256k");
    if (::geteuid() == 0) {
        if (!mount.mounted())
            GTEST_SKIP() << "no read-only folder can be made here";
        makeFrames(folder, 1, 1);
        makeFrames(folder, 3, 3);
        ASSERT_TRUE(mount.makeReadOnly());
    }
    const FillReport report = autoFill(files, folder, ImageFormat::kJpeg);
    ::chmod(folder.c_str(), 0755);
    EXPECT_EQ(report.outcome, FillOutcome::Failed);
    EXPECT_EQ(report.failure, CopyResult::OpenFailed);
    EXPECT_EQ(fillMessage(report), kFillOpenFailedMessage);
    EXPECT_FALSE(present(frameFile(folder, 2)));
}

TEST_F(FillOnDisk, FullFileSystemStopsTheFillAndLeavesNoShortFrame) {
    const std::string folder = dir.path() + "/frames";
    SmallMount mount(folder, "size=256k");
    if (!mount.mounted())
        GTEST_SKIP() << "no small file system can be mounted here";
    const std::string frame(40 * 1024, static_cast<char>(0xFF));
    writeFile(frameFile(folder, 1), frame);
    writeFile(frameFile(folder, 4), frame);
    // Fill the rest of the file system, leaving less room than one frame.
    {
        std::ofstream filler(folder + "/filler", std::ios::binary);
        const std::string block(4096, 'f');
        while (filler.write(block.data(), static_cast<std::streamsize>(block.size()))) {
            filler.flush();
            if (!filler)
                break;
        }
    }
    fs::resize_file(folder + "/filler", fs::file_size(folder + "/filler") - 20 * 1024);
    const FillReport report = autoFill(files, folder, ImageFormat::kJpeg);
    EXPECT_EQ(report.outcome, FillOutcome::Failed);
    EXPECT_EQ(report.failure, CopyResult::WriteFailed);
    EXPECT_EQ(fillMessage(report), kFillOpenFailedMessage);
    EXPECT_FALSE(present(frameFile(folder, 2)));  // no truncated frame stays
    EXPECT_FALSE(present(frameFile(folder, 3)));  // the fill stopped
    EXPECT_EQ(readFile(frameFile(folder, 1)), frame);
}

// Entries named like frames that are no regular files are left alone, whichever fill: nothing
// read from a pipe or a device (and no hang on a pipe), nothing written through a link or into
// a folder, nothing written outside the folder; the rest is filled.
TEST_F(FillOnDisk, EntriesThatAreNoRegularFilesAreSkippedAndReported) {
    const std::string outside = dir.path() + "/outside";
    ASSERT_TRUE(fs::create_directory(outside));
    const std::string frames = dir.path() + "/frames";
    ASSERT_TRUE(fs::create_directory(frames));
    makeFrames(frames, 1, 1);
    makeFrames(frames, 5, 5);
    makeFrames(frames, 9, 9);
    makeFrames(frames, 13, 13);
    ASSERT_EQ(::mkfifo(frameFile(frames, 3).c_str(), 0644), 0);          // a pipe
    ASSERT_EQ(::symlink("/dev/zero", frameFile(frames, 7).c_str()), 0);  // a device
    ASSERT_TRUE(fs::create_directory(frameFile(frames, 11)));            // a folder
    ASSERT_EQ(::symlink((outside + "/x.jpg").c_str(), frameFile(frames, 2).c_str()), 0);

    // Odd fill: 1 -> 2 would replace a link, 3 and 7 are no files, 11 is a folder; 5, 9 and
    // 13 are copied.
    const FillReport odd = oddFill(files, frames, ImageFormat::kJpeg);
    EXPECT_EQ(odd.outcome, FillOutcome::Finished);
    EXPECT_EQ(odd.progress.copied, 3u);
    EXPECT_EQ(odd.skipped, 4u);
    EXPECT_EQ(odd.firstSkipped, 2u);
    EXPECT_EQ(readFile(frameFile(frames, 6)), contentOf(5));
    EXPECT_EQ(readFile(frameFile(frames, 14)), contentOf(13));
    EXPECT_FALSE(present(frameFile(frames, 4)));
    EXPECT_FALSE(present(frameFile(frames, 8)));
    EXPECT_EQ(countEntries(outside), 0u);

    // Auto fill: the gaps after 3, 7 and 11 have no frame to copy; 10 and 12 are free numbers
    // after 9 and 11.
    ::unlink(frameFile(frames, 14).c_str());
    const FillReport filled = autoFill(files, frames, ImageFormat::kJpeg);
    EXPECT_EQ(filled.outcome, FillOutcome::Finished);
    EXPECT_EQ(filled.skipped, 3u);
    EXPECT_EQ(filled.firstSkipped, 3u);
    EXPECT_FALSE(present(frameFile(frames, 4)));
    EXPECT_FALSE(present(frameFile(frames, 8)));
    EXPECT_EQ(readFile(frameFile(frames, 10)), contentOf(9));
    EXPECT_FALSE(present(frameFile(frames, 12)));
    EXPECT_TRUE(fs::is_directory(frameFile(frames, 11)));
    EXPECT_EQ(countEntries(outside), 0u);
    for (const auto& entry : fs::directory_iterator(frames))
        EXPECT_NE(entry.path().filename().string()[0], '.') << "a temporary copy stayed";
}

// A file that cannot be completed is removed: a cut-off copy would pass for a frame.
TEST_F(FillOnDisk, WriteFailureStopsTheFillAndLeavesNoShortFrame) {
    writeFile(frameFile(dir.path(), 1), std::string(20000, 'a'));
    makeFrames(dir.path(), 3, 3);
    FillReport report;
    {
        // The files of this process may not grow past 4 KB meanwhile.
        const auto handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit previous{};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
        rlimit limit = previous;
        limit.rlim_cur = 4096;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        PosixFillFiles buffered(256 * 1024, false);
        report = oddFill(buffered, dir.path(), ImageFormat::kJpeg);
        ::setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, handler);
    }
    EXPECT_EQ(report.outcome, FillOutcome::Failed);
    EXPECT_EQ(report.failure, CopyResult::WriteFailed);
    EXPECT_EQ(fillMessage(report), kFillOpenFailedMessage);
    EXPECT_FALSE(present(frameFile(dir.path(), 2)));  // no incomplete copy
    EXPECT_FALSE(present(frameFile(dir.path(), 4)));  // the fill stopped
    EXPECT_EQ(countEntries(dir.path()), 2u);          // nor its temporary file
}

TEST_F(FillOnDisk, NamesUpToTheLimitWorkAndLongerOnesAreNeverUsed) {
    // A folder whose frame names are exactly 249 characters long.
    const std::size_t nameTail = std::string("/000001.jpg").size();
    const std::size_t baseLength = dir.path().size() + 1;
    ASSERT_LT(baseLength + 10, 249 - nameTail);
    const std::string fits = dir.path() + "/" + std::string(249 - nameTail - baseLength, 'a');
    const std::string tooLong = fits + "b";
    ASSERT_TRUE(fs::create_directory(fits));
    ASSERT_TRUE(fs::create_directory(tooLong));
    ASSERT_EQ(frameFile(fits, 1).size(), 249u);
    for (const std::string& folder : {fits, tooLong}) {
        makeFrames(folder, 1, 1);
        makeFrames(folder, 3, 3);
    }
    EXPECT_EQ(autoFill(files, fits, ImageFormat::kJpeg).progress.copied, 1u);
    EXPECT_EQ(readFile(frameFile(fits, 2)), contentOf(1));

    const FillReport autoReport = autoFill(files, tooLong, ImageFormat::kJpeg);
    EXPECT_EQ(autoReport.outcome, FillOutcome::Finished);
    EXPECT_EQ(autoReport.progress.copied, 0u);
    const FillReport oddReport = oddFill(files, tooLong, ImageFormat::kJpeg);
    EXPECT_EQ(oddReport.outcome, FillOutcome::Finished);
    EXPECT_EQ(oddReport.progress.copied, 0u);
    EXPECT_FALSE(present(frameFile(tooLong, 2)));
    EXPECT_EQ(readFile(frameFile(tooLong, 1)), contentOf(1));  // never touched
}

TEST_F(FillOnDisk, EachFillLooksAtTheFolderAfresh) {
    makeFrames(dir.path(), 1, 1);
    makeFrames(dir.path(), 3, 3);
    EXPECT_EQ(autoFill(files, dir.path(), ImageFormat::kJpeg).progress.copied, 1u);
    // Frames added between two fills by someone else are seen by the next fill.
    makeFrames(dir.path(), 6, 6);
    writeFile(frameFile(dir.path(), 7, "bmp"), contentOf(7));
    EXPECT_EQ(autoFill(files, dir.path(), ImageFormat::kJpeg).progress.copied, 2u);
    EXPECT_EQ(readFile(frameFile(dir.path(), 5)), contentOf(3));
    ::unlink(frameFile(dir.path(), 5).c_str());
    EXPECT_EQ(autoFill(files, dir.path(), ImageFormat::kJpeg).progress.copied, 1u);
    EXPECT_EQ(readFile(frameFile(dir.path(), 5)), contentOf(3));
}

TEST_F(FillOnDisk, ALinkToAFrameIsReadButNeverWrittenThrough) {
    const std::string outside = dir.path() + "/outside.bin";
    writeFile(outside, "linked frame");
    ASSERT_EQ(::symlink(outside.c_str(), frameFile(dir.path(), 1).c_str()), 0);
    ASSERT_EQ(::symlink(outside.c_str(), frameFile(dir.path(), 4).c_str()), 0);
    makeFrames(dir.path(), 3, 3);
    // The linked frame is a frame to copy from; the link 4 is not replaced by the odd fill.
    const FillReport report = autoFill(files, dir.path(), ImageFormat::kJpeg);
    EXPECT_EQ(report.outcome, FillOutcome::Finished);
    EXPECT_EQ(report.progress.copied, 1u);
    EXPECT_EQ(readFile(frameFile(dir.path(), 2)), "linked frame");
    EXPECT_FALSE(fs::is_symlink(frameFile(dir.path(), 2)));
    const FillReport odd = oddFill(files, dir.path(), ImageFormat::kJpeg);
    EXPECT_EQ(odd.skipped, 1u);
    EXPECT_EQ(odd.firstSkipped, 4u);
    EXPECT_TRUE(fs::is_symlink(frameFile(dir.path(), 4)));
    EXPECT_EQ(readFile(outside), "linked frame");
}

TEST(FillFrameName, FormatAndLengthInEditCharacters) {
    EXPECT_EQ(fillFrameName("vid1", 1, ImageFormat::kJpeg), "vid1/000001.jpg");
    EXPECT_EQ(fillFrameName("vid1", 42, ImageFormat::kBmp), "vid1/000042.bmp");
    EXPECT_EQ(fillFrameName("a", 500299, ImageFormat::kJpeg), "a/500299.jpg");
    EXPECT_EQ(fillFrameName("", 7, ImageFormat::kJpeg), "/000007.jpg");
    EXPECT_EQ(fillFrameName("d/", 7, ImageFormat::kJpeg), "d//000007.jpg");

    // 238 characters of folder make a name of 249: the limit.
    EXPECT_FALSE(fillFrameName(std::string(238, 'x'), 1, ImageFormat::kJpeg).empty());
    EXPECT_TRUE(fillFrameName(std::string(239, 'x'), 1, ImageFormat::kJpeg).empty());
    // Two-byte characters count once, characters outside the basic plane twice.
    std::string accented;
    for (int i = 0; i < 238; ++i)
        accented += "\xc3\xa9";
    EXPECT_FALSE(fillFrameName(accented, 1, ImageFormat::kJpeg).empty());
    EXPECT_TRUE(fillFrameName(accented + "\xc3\xa9", 1, ImageFormat::kJpeg).empty());
    std::string emoji;
    for (int i = 0; i < 119; ++i)
        emoji += "\xf0\x9f\x98\x80";
    EXPECT_FALSE(fillFrameName(emoji, 1, ImageFormat::kJpeg).empty());
    EXPECT_TRUE(fillFrameName(emoji + "x", 1, ImageFormat::kJpeg).empty());
}

// ---- A file layer in memory, with faults on request ----------------------------------------

// Names are "mem/NNNNNN.jpg"; each frame holds the number of the frame it was copied from.
class MemoryFiles final : public FillFiles {
  public:
    static constexpr std::uint32_t kSlots = 600000;
    MemoryFiles() : origin(kSlots, 0) {}

    bool exists(const std::string& path) override {
        const std::uint32_t n = parse(path);
        if (n == 0)
            return false;
        highestProbed = std::max(highestProbed, n);
        ++probes;
        return origin[n] != 0;
    }
    FolderCheck checkFolder(const std::string& folder, ImageFormat) override {
        if (folder != "mem")
            return FolderCheck::Missing;
        for (const std::uint32_t o : origin)
            if (o != 0)
                return FolderCheck::HasFrames;
        return FolderCheck::NoFrames;
    }
    CopyResult copy(const std::string& source, const std::string& destination) override {
        ++copyCalls;
        if (copyCalls == failOnCopy)
            return failWith;
        const std::uint32_t s = parse(source);
        const std::uint32_t d = parse(destination);
        if (s == 0 || d == 0 || origin[s] == 0)
            return CopyResult::OpenFailed;
        origin[d] = origin[s];
        highestWritten = std::max(highestWritten, d);
        return CopyResult::Copied;
    }

    void add(std::uint32_t first, std::uint32_t last) {
        for (std::uint32_t n = first; n <= last; ++n)
            origin[n] = n;
    }

    std::vector<std::uint32_t> origin;  // 0 = missing
    std::uint32_t highestProbed = 0;
    std::uint32_t highestWritten = 0;
    std::uint64_t probes = 0;
    std::uint64_t copyCalls = 0;
    std::uint64_t failOnCopy = 0;  // 1-based; 0 = never
    CopyResult failWith = CopyResult::WriteFailed;
    std::uint64_t badNames = 0;

  private:
    std::uint32_t parse(const std::string& path) {
        if (path.size() != 14 || path.compare(0, 4, "mem/") != 0 ||
            path.compare(10, 4, ".jpg") != 0) {
            ++badNames;
            return 0;
        }
        std::uint32_t n = 0;
        for (std::size_t i = 4; i < 10; ++i)
            n = n * 10 + static_cast<std::uint32_t>(path[i] - '0');
        return n < kSlots ? n : 0;
    }
};

TEST(FillInMemory, AutoFillNeverWritesAboveTheLastNumber) {
    MemoryFiles files;
    files.add(1, 499990);
    files.add(499998, 499998);
    files.add(500003, 500003);  // found by the end probe, beyond the last number
    const FillReport report = autoFill(files, "mem", ImageFormat::kJpeg);
    EXPECT_EQ(report.outcome, FillOutcome::Finished);
    EXPECT_EQ(files.badNames, 0u);
    for (std::uint32_t n = 499991; n <= 499997; ++n)
        EXPECT_EQ(files.origin[n], 499990u) << n;
    EXPECT_EQ(files.origin[499999], 499998u);
    EXPECT_EQ(files.origin[500000], 499998u);
    EXPECT_EQ(files.origin[500001], 0u);
    EXPECT_EQ(files.origin[500002], 0u);
    EXPECT_EQ(files.highestWritten, 500000u);
    EXPECT_EQ(report.progress.examined, 499999u);  // 2 to 500000
    EXPECT_LE(files.highestProbed, 500299u);
}

TEST(FillInMemory, EndProbeNearTheLastNumberLooksNoFurtherThan500299) {
    MemoryFiles files;
    files.add(1, 500000);
    const FillReport report = autoFill(files, "mem", ImageFormat::kJpeg);
    EXPECT_EQ(report.outcome, FillOutcome::Finished);
    EXPECT_EQ(report.progress.copied, 0u);
    EXPECT_EQ(files.highestWritten, 0u);
    EXPECT_LE(files.highestProbed, 500299u);
}

TEST(FillInMemory, OddFillEndsWith499999Into500000) {
    MemoryFiles files;
    for (std::uint32_t n = 1; n <= 500001; n += 2)
        files.add(n, n);
    const FillReport report = oddFill(files, "mem", ImageFormat::kJpeg);
    EXPECT_EQ(report.outcome, FillOutcome::Finished);
    EXPECT_EQ(report.progress.copied, 250000u);
    EXPECT_EQ(files.origin[500000], 499999u);
    EXPECT_EQ(files.origin[500002], 0u);
    EXPECT_EQ(files.highestWritten, 500000u);
    EXPECT_EQ(files.highestProbed, 499999u);
}

TEST(FillInMemory, GapsAreFilledFromTheirLowerEnd) {
    MemoryFiles files;
    files.add(1, 3);
    files.add(8, 8);
    files.add(10, 12);
    files.add(200, 200);
    const FillReport report = autoFill(files, "mem", ImageFormat::kJpeg);
    EXPECT_EQ(report.outcome, FillOutcome::Finished);
    for (std::uint32_t n = 4; n <= 7; ++n)
        EXPECT_EQ(files.origin[n], 3u);
    EXPECT_EQ(files.origin[9], 8u);
    for (std::uint32_t n = 13; n <= 199; ++n)
        EXPECT_EQ(files.origin[n], 12u);
    EXPECT_EQ(files.origin[201], 0u);
    EXPECT_EQ(report.progress.copied, 4u + 1u + 187u);
    EXPECT_EQ(report.progress.examined, 199u);
}

struct FaultCase {
    std::uint64_t failOnCopy;
    CopyResult failWith;
    std::uint32_t copiedBefore;
};

TEST(FillInMemory, AnyCopyFailureStopsTheFill) {
    const FaultCase cases[] = {
        {1, CopyResult::OpenFailed, 0},
        {2, CopyResult::WriteFailed, 1},
        {3, CopyResult::ReadFailed, 2},
        {5, CopyResult::WriteFailed, 4},
    };
    for (const auto& c : cases) {
        MemoryFiles files;
        files.add(1, 2);
        files.add(6, 6);
        files.add(9, 9);
        files.failOnCopy = c.failOnCopy;
        files.failWith = c.failWith;
        const FillReport report = autoFill(files, "mem", ImageFormat::kJpeg);
        EXPECT_EQ(report.outcome, FillOutcome::Failed) << c.failOnCopy;
        EXPECT_EQ(report.failure, c.failWith);
        EXPECT_EQ(report.progress.copied, c.copiedBefore);
        EXPECT_EQ(fillMessage(report), kFillOpenFailedMessage);
        EXPECT_EQ(files.copyCalls, c.failOnCopy);  // nothing is tried after the failure

        MemoryFiles odd;
        odd.add(1, 1);
        odd.add(3, 3);
        odd.add(5, 5);
        odd.add(7, 7);
        odd.add(9, 9);
        odd.failOnCopy = c.failOnCopy;
        odd.failWith = c.failWith;
        const FillReport oddReport = oddFill(odd, "mem", ImageFormat::kJpeg);
        EXPECT_EQ(oddReport.outcome, FillOutcome::Failed);
        EXPECT_EQ(oddReport.progress.copied, c.copiedBefore);
        EXPECT_EQ(odd.copyCalls, c.failOnCopy);
    }
}

TEST(FillInMemory, ProgressCountsAndCancelStopsAfterTheCurrentFile) {
    MemoryFiles files;
    files.add(1, 1);
    files.add(100, 100);
    std::vector<FillProgress> seen;
    const FillReport report =
        autoFill(files, "mem", ImageFormat::kJpeg, [&](const FillProgress& p) {
            seen.push_back(p);
            return p.examined < 5;
        });
    EXPECT_EQ(report.outcome, FillOutcome::Cancelled);
    // The message says how far the fill got.
    EXPECT_EQ(fillMessage(report), "Fill cancelled: 5 frames examined, 5 copied");
    ASSERT_EQ(seen.size(), 5u);
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].examined, i + 1);
        EXPECT_EQ(seen[i].copied, i + 1);
    }
    EXPECT_EQ(report.progress.copied, 5u);
    EXPECT_EQ(files.origin[6], 1u);  // the file being made was completed
    EXPECT_EQ(files.origin[7], 0u);  // and nothing after it

    MemoryFiles odd;
    odd.add(1, 9);
    int calls = 0;
    const FillReport oddReport =
        oddFill(odd, "mem", ImageFormat::kJpeg, [&](const FillProgress&) { return ++calls < 2; });
    EXPECT_EQ(oddReport.outcome, FillOutcome::Cancelled);
    EXPECT_EQ(oddReport.progress.copied, 2u);
    EXPECT_EQ(odd.origin[4], 3u);
    EXPECT_EQ(odd.origin[6], 6u);  // untouched
}

TEST(FillInMemory, ProbesStayFewInLongRecordings) {
    // Each number costs about one existence probe, not one per number of the end probe.
    MemoryFiles files;
    files.add(1, 90000);
    for (std::uint32_t n = 10; n < 90000; n += 10)
        files.origin[n] = 0;
    const FillReport report = autoFill(files, "mem", ImageFormat::kJpeg);
    EXPECT_EQ(report.progress.copied, 8999u);
    EXPECT_LT(files.probes, 2u * 90000u + 300u);
}

}  // namespace
}  // namespace marrowdale
