// The working folder of a recording: moving an earlier recording aside without ever replacing
// anything, the description beside vid1/, the frame listing and the summary line.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "recorder/recording_folder.h"
#include "test_support.h"

namespace marrowdale {
namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// 2024-05-01 12:34:56 local time.
std::time_t fixedTime() {
    std::tm t{};
    t.tm_year = 124;
    t.tm_mon = 4;
    t.tm_mday = 1;
    t.tm_hour = 12;
    t.tm_min = 34;
    t.tm_sec = 56;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

// A recording's files, marked with `tag` so each can be told apart after the moves.
void leaveRecording(const fs::path& dir, const std::string& tag) {
    writeFile(dir / "vid1" / "000001.jpg", "frame1 " + tag);
    writeFile(dir / "vid1" / "000003.jpg", "frame3 " + tag);
    writeFile(dir / "test.wma", "sound " + tag);
    writeFile(dir / "recording.ini", "[recording]\nstarted=" + tag + "\n");
}

TEST(MoveAside, TwoRecordingsInOneSecondKeepEverything) {
    test::TempDir tmp;
    const fs::path dir = tmp.path();
    const std::time_t now = fixedTime();

    leaveRecording(dir, "first");
    const MoveAside one = moveEarlierRecordingAside(dir.string(), now);
    ASSERT_FALSE(one.failed) << one.error;
    ASSERT_EQ(one.moves.size(), 3u);
    EXPECT_EQ(one.moves[0].from, "vid1/");
    EXPECT_EQ(one.moves[0].to, "vid1-20240501-123456/");
    EXPECT_EQ(one.moves[1].to, "test-20240501-123456.wma");
    EXPECT_EQ(one.moves[2].to, "recording-20240501-123456.ini");
    EXPECT_EQ(moveAsideNotice(one),
              "The earlier recording was moved aside: vid1/ to vid1-20240501-123456/, test.wma "
              "to test-20240501-123456.wma, recording.ini to recording-20240501-123456.ini");
    EXPECT_FALSE(fs::exists(dir / "vid1"));
    EXPECT_FALSE(fs::exists(dir / "test.wma"));

    // The next recording, in the same second: the stamp is taken, so "-2".
    leaveRecording(dir, "second");
    const MoveAside two = moveEarlierRecordingAside(dir.string(), now);
    ASSERT_FALSE(two.failed) << two.error;
    ASSERT_EQ(two.moves.size(), 3u);
    EXPECT_EQ(two.moves[0].to, "vid1-20240501-123456-2/");
    EXPECT_EQ(two.moves[1].to, "test-20240501-123456-2.wma");
    EXPECT_EQ(two.moves[2].to, "recording-20240501-123456-2.ini");

    EXPECT_EQ(readFile(dir / "vid1-20240501-123456" / "000003.jpg"), "frame3 first");
    EXPECT_EQ(readFile(dir / "vid1-20240501-123456-2" / "000003.jpg"), "frame3 second");
    EXPECT_EQ(readFile(dir / "test-20240501-123456.wma"), "sound first");
    EXPECT_EQ(readFile(dir / "test-20240501-123456-2.wma"), "sound second");
    EXPECT_EQ(readFile(dir / "recording-20240501-123456-2.ini"), "[recording]\nstarted=second\n");
}

TEST(MoveAside, WhatCountsAsAnEarlierRecording) {
    struct Case {
        const char* name;
        std::vector<std::string> files;      // created before the move
        std::vector<std::string> movedFrom;  // expected moves, in order
        std::vector<std::string> staysAt;    // names still in place afterwards
    };
    const std::vector<Case> cases = {
        {"empty folder", {}, {}, {}},
        {"vid1 without frame files",
         {"vid1/notes.txt", "vid1/000001.jpg.tmp"},
         {},
         {"vid1/notes.txt"}},
        {"a description alone is replaced", {"recording.ini"}, {}, {"recording.ini"}},
        {"sound alone", {"test.wma"}, {"test.wma"}, {}},
        {"BMP frames", {"vid1/000002.bmp"}, {"vid1/"}, {}},
        {"seven-digit frame",
         {"vid1/1234567.jpg", "recording.ini"},
         {"vid1/", "recording.ini"},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir tmp;
        const fs::path dir = tmp.path();
        for (const auto& f : c.files)
            writeFile(dir / f, "x");
        const MoveAside moved = moveEarlierRecordingAside(dir.string(), fixedTime());
        EXPECT_FALSE(moved.failed) << moved.error;
        std::vector<std::string> from;
        for (const auto& m : moved.moves)
            from.push_back(m.from);
        EXPECT_EQ(from, c.movedFrom);
        for (const auto& f : c.staysAt)
            EXPECT_TRUE(fs::exists(dir / f)) << f;
        EXPECT_EQ(moveAsideNotice(moved).empty(), c.movedFrom.empty());
    }
}

TEST(MoveAside, NeverReplacesAnUnrelatedNameOrAnEmptyFolder) {
    test::TempDir tmp;
    const fs::path dir = tmp.path();
    leaveRecording(dir, "new");
    // A folder of the stamp's name exists (empty: a plain rename would replace it), and a file
    // with the "-2" sound name.
    fs::create_directory(dir / "vid1-20240501-123456");
    writeFile(dir / "test-20240501-123456-2.wma", "someone else's");
    const MoveAside moved = moveEarlierRecordingAside(dir.string(), fixedTime());
    ASSERT_FALSE(moved.failed) << moved.error;
    ASSERT_EQ(moved.moves.size(), 3u);
    EXPECT_EQ(moved.moves[0].to, "vid1-20240501-123456-3/");
    EXPECT_EQ(moved.moves[1].to, "test-20240501-123456-3.wma");
    EXPECT_TRUE(fs::is_empty(dir / "vid1-20240501-123456"));
    EXPECT_EQ(readFile(dir / "test-20240501-123456-2.wma"), "someone else's");
    EXPECT_EQ(readFile(dir / "vid1-20240501-123456-3" / "000001.jpg"), "frame1 new");
}

TEST(RecordingDescription, RoundTripAndBadValues) {
    RecordingDescription d;
    d.screen = true;
    d.sound = true;
    d.period100ns = 333333;
    d.frameOption = 13;
    d.captureMode = CaptureMode::kSkipLateSlots;
    d.imageFormat = ImageFormat::kBmp;
    d.left = -10;
    d.top = 20;
    d.right = 1930;
    d.bottom = 1100;
    d.started = "2024-05-01T10:34:56Z";
    d.soundFile = "test.wma";
    RecordingDescription back;
    std::string error;
    ASSERT_TRUE(parseRecordingDescription(formatRecordingDescription(d), &back, &error)) << error;
    EXPECT_EQ(formatRecordingDescription(back), formatRecordingDescription(d));
    EXPECT_EQ(back.period100ns, 333333u);
    EXPECT_EQ(back.frameOption, 13);
    EXPECT_EQ(back.left, -10);
    EXPECT_EQ(back.imageFormat, ImageFormat::kBmp);

    struct Bad {
        const char* text;
        const char* key;
    };
    for (const Bad& b : std::vector<Bad>{{"period_100ns=0", "period_100ns"},
                                         {"period_100ns=-5", "period_100ns"},
                                         {"period_100ns=99999999999", "period_100ns"},
                                         {"frame_option=0", "frame_option"},
                                         {"frame_option=256", "frame_option"},
                                         {"area=1,2,3", "area"},
                                         {"area=1,2,3,x", "area"},
                                         {"format=png", "format"},
                                         {"records=nothing", "records"},
                                         {"sound=../x.wma", "sound"}}) {
        SCOPED_TRACE(b.text);
        RecordingDescription out;
        error.clear();
        EXPECT_FALSE(parseRecordingDescription(b.text, &out, &error));
        EXPECT_NE(error.find(b.key), std::string::npos) << error;
    }
    // Comments, sections, blanks, unknown keys and CR line ends are passed over.
    RecordingDescription loose;
    ASSERT_TRUE(parseRecordingDescription(
        "; note\r\n[recording]\r\n  period_100ns = 800000 \r\nfuture_key=1\r\n\r\n", &loose,
        &error));
    EXPECT_EQ(loose.period100ns, 800000u);
    EXPECT_FALSE(loose.sound);
}

TEST(RecordingFolder, ListingAndSummary) {
    test::TempDir tmp;
    const fs::path dir = tmp.path();
    for (const char* name :
         {"000001.jpg", "000002.jpg", "000005.jpg", "0000005.jpg", "000006.jpg.tmp", "000007.bmp",
          "12345.jpg", "frame.jpg", "1000000.jpg"})
        writeFile(dir / "vid1" / name, "x");
    std::vector<FrameFile> files;
    ASSERT_TRUE(listFrameFiles((dir / "vid1").string(), ImageFormat::kJpeg, &files));
    std::vector<std::string> names;
    for (const auto& f : files)
        names.push_back(f.name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"000001.jpg", "000002.jpg", "000005.jpg", "1000000.jpg"}));
    EXPECT_FALSE(listFrameFiles((dir / "missing").string(), ImageFormat::kJpeg, &files));

    writeFile(dir / "test.wma", "12345");
    const RecordingSummary s = summarizeRecording(dir.string(), ImageFormat::kJpeg, true);
    EXPECT_EQ(s.frames, 4u);
    EXPECT_EQ(s.firstNumber, 1u);
    EXPECT_EQ(s.lastNumber, 1000000u);
    EXPECT_EQ(s.freeNumbers, 999996u);
    EXPECT_EQ(s.soundBytes, 5u);
    EXPECT_EQ(recordingSummaryLine(s),
              "Recorded 4 frames in " + dir.string() +
                  "/vid1/ (numbers 1-1000000, 999996 free: fill them before an editor, or "
                  "export), sound in " +
                  dir.string() + "/test.wma");
    // Screen only: the sound file of another recording is not claimed.
    EXPECT_TRUE(summarizeRecording(dir.string(), ImageFormat::kJpeg, false).soundFile.empty());
}

}  // namespace
}  // namespace marrowdale
