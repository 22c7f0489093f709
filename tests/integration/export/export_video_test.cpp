// Export end to end: frame files written by the recorder's writers, a WMA sound, and the video
// read back. Frame times equal slot times, the video lasts the frames' span, the sound starts
// at zero and lasts as long as test.wma, and in copy mode every frame is its JPEG file byte for
// byte and decodes to the same pixels.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/fakes/fake_ui_bridge.h"
#include "platform/ffmpeg/audio_file_reader.h"
#include "platform/ffmpeg/ffmpeg_video_export.h"
#include "platform/ffmpeg/video_file_reader.h"
#include "platform/jpeg/turbo_jpeg_encoder.h"
#include "recorder/frame_writers.h"
#include "recorder/recording_folder.h"
#include "recorder/state.h"
#include "tools/export.h"

namespace marrowdale {
namespace {

namespace fs = std::filesystem;

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "mdl-export-it-XXXXXX").string();
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

int run(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

constexpr int kWidth = 96;
constexpr int kHeight = 64;

// Frame k: a colour of its own with a bar whose place tells k.
std::vector<std::uint8_t> picture(int k) {
    std::vector<std::uint8_t> bgrx(static_cast<std::size_t>(kWidth) * kHeight * 4);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t* p = &bgrx[(static_cast<std::size_t>(y) * kWidth + x) * 4];
            const bool bar = x / 8 == k % 12;
            p[0] = static_cast<std::uint8_t>(bar ? 255 : 40 + 17 * k);
            p[1] = static_cast<std::uint8_t>(bar ? 255 : 200 - 13 * k);
            p[2] = static_cast<std::uint8_t>(bar ? 255 : (60 * k) % 256);
            p[3] = 0;
        }
    return bgrx;
}

// A recording in `dir`: the given frame numbers through the recorder's writers, a description
// and (when `soundSeconds` > 0) a WMA test.wma.
void makeRecording(const fs::path& dir, const std::vector<std::uint64_t>& numbers,
                   std::uint8_t frameOption, ImageFormat imageFormat, double soundSeconds) {
    fs::create_directories(dir / "vid1");
    FakeUiBridge ui;
    RecorderState state;
    const std::unique_ptr<JpegEncoder> encoder = createTurboJpegEncoder();
    FileFrameWriters writers(encoder.get(), ui, state);
    for (const std::uint64_t n : numbers) {
        const auto pixels = picture(static_cast<int>(n));
        ScreenImage image;
        image.pixels = pixels.data();
        image.width = kWidth;
        image.height = kHeight;
        image.strideBytes = kWidth * 4;
        char name[32];
        std::snprintf(name, sizeof name, "%06llu.%s", static_cast<unsigned long long>(n),
                      imageFormat == ImageFormat::kBmp ? "bmp" : "jpg");
        const std::string path = (dir / "vid1" / name).string();
        if (imageFormat == ImageFormat::kBmp)
            writers.writeBMP(&image, path.c_str());
        else
            writers.writeJPG(&image, path.c_str());
        ASSERT_TRUE(fs::exists(path)) << path;
    }
    RecordingDescription d;
    d.sound = soundSeconds > 0;
    d.frameOption = frameOption;
    d.imageFormat = imageFormat;
    d.started = "2024-05-01T10:00:00Z";
    if (d.sound) {
        d.soundFile = "test.wma";
        ASSERT_EQ(run("ffmpeg -nostdin -loglevel error -f lavfi -i sine=f=440:d=" +
                      std::to_string(soundSeconds) + " -c:a wmav2 -ar 44100 -y '" +
                      (dir / "test.wma").string() + "'"),
                  0);
    }
    ASSERT_TRUE(writeRecordingDescription(dir.string(), d));
}

struct Case {
    const char* name;
    std::vector<std::uint64_t> numbers;
    std::uint8_t frameOption;
    ImageFormat imageFormat;
    ExportVideoCodec codec;
    const char* extension;
    std::vector<std::int64_t> timesMs;  // expected slot times
    std::int64_t endMs;                 // where the last frame ends
    const char* videoCodec;
    const char* audioCodec;
};

TEST(ExportVideo, TimesLengthSoundAndPixels) {
    const std::vector<Case> cases = {
        // Free numbers 4, 5 and 8: longer frames, no fill needed.
        {"free numbers",
         {1, 2, 3, 6, 7, 9},
         1,
         ImageFormat::kJpeg,
         ExportVideoCodec::kCopy,
         "mkv",
         {40, 80, 120, 240, 280, 360},
         400,
         "mjpeg",
         "wmav2"},
        {"two grabs per slot",
         {1, 2, 3, 4, 5},
         2,
         ImageFormat::kJpeg,
         ExportVideoCodec::kCopy,
         "mkv",
         {40, 60, 80, 100, 120},
         140,
         "mjpeg",
         "wmav2"},
        // Three numbers free after each frame; 15 was a late slot.
        {"frame option 13",
         {3, 7, 11, 19},
         13,
         ImageFormat::kJpeg,
         ExportVideoCodec::kCopy,
         "mkv",
         {40, 80, 120, 200},
         240,
         "mjpeg",
         "wmav2"},
        {"BMP",
         {1, 2, 4},
         1,
         ImageFormat::kBmp,
         ExportVideoCodec::kCopy,
         "mkv",
         {40, 80, 160},
         200,
         "mjpeg",
         "wmav2"},
        {"H.264",
         {1, 2, 3, 5},
         1,
         ImageFormat::kJpeg,
         ExportVideoCodec::kH264,
         "mkv",
         {40, 80, 120, 200},
         240,
         "h264",
         "wmav2"},
        // MP4 cannot hold WMA: the sound is encoded to AAC.
        {"H.264 in MP4",
         {1, 2, 3},
         1,
         ImageFormat::kBmp,
         ExportVideoCodec::kH264,
         "mp4",
         {40, 80, 120},
         160,
         "h264",
         "aac"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir tmp;
        const double soundSeconds = 1.5;
        makeRecording(tmp.path(), c.numbers, c.frameOption, c.imageFormat, soundSeconds);
        ExportSource source;
        std::string error;
        ASSERT_TRUE(findExportSource(tmp.path().string(), {}, &source, &error)) << error;
        ExportRequest request;
        request.outputPath = (tmp.path() / (std::string("out.") + c.extension)).string();
        request.codec = c.codec;
        const auto exporter = createFfmpegVideoExporter();
        const ExportReport report = exportRecording(*exporter, source, request);
        ASSERT_EQ(report.outcome, ExportOutcome::kFinished) << report.error;

        ReadVideo video;
        ASSERT_TRUE(readVideoFile(request.outputPath, true, &video, &error)) << error;
        EXPECT_EQ(video.videoCodec, c.videoCodec);
        EXPECT_EQ(video.audioCodec, c.audioCodec);
        ASSERT_EQ(video.frames.size(), c.numbers.size());
        for (std::size_t i = 0; i < video.frames.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "frame " << c.numbers[i]);
            EXPECT_EQ(video.frames[i].timeMs, c.timesMs[i]);
            EXPECT_EQ(video.frames[i].width, kWidth);
            EXPECT_EQ(video.frames[i].height, kHeight);
        }
        // The video lasts the frames' span: the last frame ends where its slot share ends.
        EXPECT_EQ(video.videoEndMs, c.endMs);
        // The sound starts at zero and lasts as long as test.wma.
        DecodedAudio wma;
        ASSERT_TRUE(readAudioFile((tmp.path() / "test.wma").string(), &wma, &error)) << error;
        const double tolerance = std::string(c.audioCodec) == "wmav2" ? 0.0011 : 0.05;
        EXPECT_NEAR(video.audioStartSeconds, 0.0, tolerance);
        EXPECT_NEAR(video.audioEndSeconds, wma.lastPacketEndSeconds, tolerance);
        EXPECT_NEAR(video.durationSeconds, std::max(wma.lastPacketEndSeconds, c.endMs / 1000.0),
                    0.05);

        for (std::size_t i = 0; i < video.frames.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "pixels of frame " << c.numbers[i]);
            const fs::path file = tmp.path() / "vid1" / source.frames[i].name;
            ReadVideo still;
            ASSERT_TRUE(readVideoFile(file.string(), true, &still, &error)) << error;
            ASSERT_EQ(still.frames.size(), 1u);
            const auto& want = still.frames[0].rgb;
            const auto& got = video.frames[i].rgb;
            ASSERT_EQ(got.size(), want.size());
            if (c.codec == ExportVideoCodec::kCopy && c.imageFormat == ImageFormat::kJpeg) {
                // The JPEG file itself, byte for byte, and so the same pixels.
                const std::string bytes = readFile(file);
                EXPECT_EQ(video.frames[i].packetBytes, bytes.size());
                EXPECT_EQ(video.frames[i].packetCrc,
                          videoBytesCrc(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                        bytes.size()));
                EXPECT_TRUE(got == want);
            } else {
                // Encoded again: close to the file's picture.
                double sum = 0;
                for (std::size_t k = 0; k < got.size(); ++k)
                    sum += std::abs(int(got[k]) - int(want[k]));
                EXPECT_LT(sum / got.size(), 6.0);
            }
        }
        EXPECT_EQ(video.creationTime.substr(0, 19), "2024-05-01T10:00:00");
        // Nothing is left beside the video.
        int entries = 0;
        for (const auto& e : fs::directory_iterator(tmp.path()))
            entries += e.path().filename().string().starts_with(".") ? 100 : 1;
        EXPECT_EQ(entries, 4);  // vid1, test.wma, recording.ini, the video
    }
}

TEST(ExportVideo, CommandLine) {
    TempDir tmp;
    const fs::path dir = tmp.path();
    makeRecording(dir, {1, 2, 3}, 1, ImageFormat::kJpeg, 0.5);
    const std::string record = MARROWDALE_RECORD_PATH;
    const std::string out = (dir / "a.mkv").string();
    ASSERT_EQ(run(record + " --export '" + out + "' --from '" + dir.string() + "' 2>/dev/null"), 0);
    ReadVideo video;
    std::string error;
    ASSERT_TRUE(readVideoFile(out, false, &video, &error)) << error;
    EXPECT_EQ(video.frames.size(), 3u);
    const std::string before = readFile(out);
    // An existing file is never replaced.
    EXPECT_EQ(
        run(record + " --export '" + out + "' --from '" + dir.string() + "' --quiet 2>/dev/null"),
        1);
    EXPECT_EQ(readFile(out), before);

    // A recording moved aside is exported with its own description and sound; a folder
    // without description at the period given.
    const MoveAside moved = moveEarlierRecordingAside(dir.string(), 1714557600);
    ASSERT_EQ(moved.moves.size(), 3u);
    const fs::path aside = dir / moved.moves[0].to;
    const std::string out2 = (dir / "b.mkv").string();
    ASSERT_EQ(run(record + " --export '" + out2 + "' --from '" + aside.string() +
                  "' --video h264 2>/dev/null"),
              0);
    ASSERT_TRUE(readVideoFile(out2, false, &video, &error)) << error;
    EXPECT_EQ(video.videoCodec, "h264");
    EXPECT_EQ(video.audioCodec, "wmav2");
    fs::remove(dir / moved.moves[2].to);  // the description
    const std::string out3 = (dir / "c.mkv").string();
    ASSERT_EQ(run(record + " --export '" + out3 + "' --from '" + aside.string() +
                  "' --period-ms 100 2>/dev/null"),
              0);
    ASSERT_TRUE(readVideoFile(out3, false, &video, &error)) << error;
    ASSERT_EQ(video.frames.size(), 3u);
    EXPECT_EQ(video.frames[2].timeMs, 240);  // slot 3: 40 ms, then two periods
    // Nothing to export.
    EXPECT_EQ(run(record + " --export '" + (dir / "d.mkv").string() + "' --from '" +
                  (dir / "vid1").string() + "' 2>/dev/null"),
              2);
}

}  // namespace
}  // namespace marrowdale
