// The export's plain logic, with a writer that records what it is given: slot times of every
// frame option, free numbers as longer frames, finding a recording (also one moved aside) and
// its description, cancelling and failing.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/export.h"

namespace marrowdale {
namespace {

namespace fs = std::filesystem;

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "mdl-export-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

void touch(const fs::path& p, const std::string& text = "x") {
    fs::create_directories(p.parent_path());
    std::ofstream(p) << text;
}

struct Added {
    std::string name;
    std::int64_t time100ns;
    std::int64_t duration100ns;
};

class FakeWriter final : public VideoExportWriter {
  public:
    FakeWriter(std::vector<Added>* added, bool* finished, int failAt)
        : added_(added), finished_(finished), failAt_(failAt) {}
    bool addFrame(const std::string& path, std::int64_t time100ns, std::int64_t duration100ns,
                  std::string* error) override {
        if (static_cast<int>(added_->size()) == failAt_) {
            *error = "disk full";
            return false;
        }
        added_->push_back({fs::path(path).filename().string(), time100ns, duration100ns});
        return true;
    }
    bool finish(std::string*) override {
        *finished_ = true;
        return true;
    }

  private:
    std::vector<Added>* added_;
    bool* finished_;
    int failAt_;
};

class FakeExporter final : public VideoExporter {
  public:
    std::unique_ptr<VideoExportWriter> open(const VideoExportSetup& s, std::string*) override {
        setup = s;
        return std::make_unique<FakeWriter>(&added, &finished, failAt);
    }
    VideoExportSetup setup;
    std::vector<Added> added;
    bool finished = false;
    int failAt = -1;
};

constexpr std::int64_t kMs = 10000;

TEST(ExportTimes, EachFrameOptionPlaysAtItsSlots) {
    // The numbers the capture loop writes in its first slots: the first slot 40 ms after the
    // zero whatever the period, each further slot one period later.
    struct Case {
        std::uint8_t option;
        std::uint32_t periodMs;
        std::vector<std::uint64_t> numbers;
        std::vector<std::int64_t> timesMs;
    };
    const std::vector<Case> cases = {
        {1, 40, {1, 2, 3}, {40, 80, 120}},
        {2, 40, {1, 2, 3, 4}, {40, 60, 80, 100}},  // two grabs share each slot
        {4, 40, {1, 4, 5}, {40, 70, 80}},
        {11, 40, {1, 3, 5}, {40, 80, 120}},
        {12, 40, {2, 5, 8}, {40, 80, 120}},
        {13, 40, {3, 7, 11}, {40, 80, 120}},
        {14, 40, {4, 9, 14}, {40, 80, 120}},
        {15, 40, {1, 16}, {40, 80}},
        {1, 100, {1, 2, 3}, {40, 140, 240}},  // 10 frames a second
        {1, 16, {1, 2, 3}, {40, 56, 72}},     // 62.5 frames a second
        {2, 100, {1, 2, 3}, {40, 90, 140}},
        {12, 100, {2, 5}, {40, 140}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "frame option " << int(c.option) << ", period " << c.periodMs << " ms");
        for (std::size_t i = 0; i < c.numbers.size(); ++i)
            EXPECT_EQ(frameTime100ns(c.numbers[i], c.periodMs * 10000u, c.option),
                      c.timesMs[i] * kMs);
    }
    // The largest numbers and periods a recording can have do not overflow.
    EXPECT_EQ(frameTime100ns(10'000'000, 4'000'000'000u, 1), 39'999'996'000'400'000);
}

TEST(ExportTimes, FreeNumbersBecomeLongerFrames) {
    const std::vector<FrameFile> files = {
        {1, "000001.jpg"}, {2, "000002.jpg"}, {5, "000005.jpg"}, {6, "000006.jpg"}};
    const auto plan = planExportFrames(files, "/r/vid1", 400000, 1);
    ASSERT_EQ(plan.size(), 4u);
    EXPECT_EQ(plan[1].path, "/r/vid1/000002.jpg");
    EXPECT_EQ(plan[1].time100ns, 80 * kMs);
    EXPECT_EQ(plan[1].duration100ns, 120 * kMs);  // 3 and 4 are free
    EXPECT_EQ(plan[3].duration100ns, 40 * kMs);   // the last lasts its slot
    // With two grabs per slot the last one lasts half a slot.
    EXPECT_EQ(planExportFrames(files, "/r/vid1", 400000, 2).back().duration100ns, 20 * kMs);
}

TEST(ExportSource, FindsTheRecordingAndItsDescription) {
    TempDir tmp;
    const fs::path dir = tmp.path();
    touch(dir / "vid1" / "000001.jpg");
    touch(dir / "vid1" / "000003.jpg");
    touch(dir / "test.wma");
    touch(dir / "recording.ini",
          "records=screen,sound\nperiod_100ns=800000\nframe_option=13\nformat=jpg\n"
          "started=2024-05-01T10:00:00Z\n");
    // One moved aside: BMP frames, a description without sound, and a sound file beside it
    // that belongs to another recording.
    touch(dir / "vid1-20240501-090000-2" / "000002.bmp");
    touch(dir / "recording-20240501-090000-2.ini",
          "records=screen\nformat=bmp\nperiod_100ns=200000\n");
    touch(dir / "test-20240501-090000-2.wma");
    // No description: the fallback, BMP found by itself.
    touch(dir / "loose" / "000001.bmp");
    touch(dir / "empty" / "notes.txt");

    struct Case {
        std::string from;
        bool ok;
        std::string frames;  // relative to dir
        bool sound;
        std::uint32_t period;
        std::uint8_t format;
    };
    const std::vector<Case> cases = {
        {dir.string(), true, "vid1", true, 800000, 1},
        {(dir / "vid1").string() + "/", true, "vid1", true, 800000, 1},
        {(dir / "vid1-20240501-090000-2").string(), true, "vid1-20240501-090000-2", false, 200000,
         0},
        {(dir / "loose").string(), true, "loose", false, 123, 0},
        {(dir / "empty").string(), false, "", false, 0, 0},
        {(dir / "missing").string(), false, "", false, 0, 0},
    };
    ExportFallback fallback;
    fallback.period100ns = 123;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.from);
        ExportSource source;
        std::string error;
        ASSERT_EQ(findExportSource(c.from, fallback, &source, &error), c.ok) << error;
        if (!c.ok) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(fs::path(source.framesFolder), dir / c.frames);
        EXPECT_EQ(!source.soundPath.empty(), c.sound);
        EXPECT_EQ(source.description.period100ns, c.period);
        EXPECT_EQ(source.description.imageFormat, static_cast<ImageFormat>(c.format));
        EXPECT_FALSE(source.frames.empty());
    }

    // A description that cannot be used is an error, not a guess.
    touch(dir / "recording.ini", "period_100ns=0\n");
    ExportSource source;
    std::string error;
    EXPECT_FALSE(findExportSource(dir.string(), fallback, &source, &error));
    EXPECT_NE(error.find("period_100ns"), std::string::npos) << error;
}

TEST(ExportRun, PassesFramesInOrderAndStopsOnCancelOrFailure) {
    ExportSource source;
    source.framesFolder = "/r/vid1";
    source.soundPath = "/r/test.wma";
    source.description.period100ns = 400000;
    source.description.frameOption = 13;
    source.description.started = "2024-05-01T10:00:00Z";
    source.frames = {{3, "000003.jpg"}, {7, "000007.jpg"}, {15, "000015.jpg"}};
    ExportRequest request;
    request.outputPath = "/out/video.mkv";
    request.codec = ExportVideoCodec::kH264;

    FakeExporter exporter;
    std::vector<ExportProgress> seen;
    const ExportReport done = exportRecording(exporter, source, request, [&](const auto& p) {
        seen.push_back(p);
        return true;
    });
    EXPECT_EQ(done.outcome, ExportOutcome::kFinished);
    EXPECT_TRUE(exporter.finished);
    EXPECT_EQ(exporter.setup.firstFramePath, "/r/vid1/000003.jpg");
    EXPECT_EQ(exporter.setup.soundPath, "/r/test.wma");
    EXPECT_EQ(exporter.setup.frameSpacing100ns, 400000);  // one grab per slot
    EXPECT_EQ(exporter.setup.codec, ExportVideoCodec::kH264);
    ASSERT_EQ(exporter.added.size(), 3u);
    EXPECT_EQ(exporter.added[2].time100ns, 160 * kMs);  // 11 was late: 7 lasts two slots
    EXPECT_EQ(exporter.added[1].duration100ns, 80 * kMs);
    EXPECT_EQ(done.videoEnd100ns, 200 * kMs);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen.back().framesDone, 3u);
    EXPECT_EQ(seen.back().framesTotal, 3u);
    EXPECT_EQ(exportMessage(done, request, source),
              "Exported 3 frames (0.2 s, sound from test.wma) to /out/video.mkv");

    FakeExporter cancelled;
    const ExportReport stop = exportRecording(
        cancelled, source, request, [](const ExportProgress& p) { return p.framesDone < 2; });
    EXPECT_EQ(stop.outcome, ExportOutcome::kCancelled);
    EXPECT_FALSE(cancelled.finished);
    EXPECT_EQ(stop.progress.framesDone, 2u);
    EXPECT_EQ(exportMessage(stop, request, source),
              "Export cancelled after 2 of 3 frames; nothing was written");

    FakeExporter failing;
    failing.failAt = 1;
    const ExportReport failed = exportRecording(failing, source, request);
    EXPECT_EQ(failed.outcome, ExportOutcome::kFailed);
    EXPECT_FALSE(failing.finished);
    EXPECT_EQ(exportMessage(failed, request, source), "The video could not be exported: disk full");
}

}  // namespace
}  // namespace marrowdale
