// marrowdale-record on a real X server: a picture of known coloured blocks is put on the
// screen, recorded, and the frame files are decoded and compared with it.
// GoogleTest first: Xlib defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "private_xvfb.h"
#include "screen_picture.h"
#include "tests/support/small_mount.h"

namespace {

namespace fs = std::filesystem;
using capture_test::Block;
using capture_test::Picture;
using capture_test::Rgb;
using capture_test::screenColor;

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "mdl-capture-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

struct RunResult {
    int exitStatus = -1;  // -1 when it did not exit normally
    std::string out;
    std::string err;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Starts marrowdale-record with `args`; stdout and stderr go to files in `scratch`.
pid_t spawnRecorder(const std::vector<std::string>& args, const std::string& scratch,
                    bool withoutDisplay = false, const std::string& display = {}) {
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    const int out = ::open((scratch + "/out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open((scratch + "/err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0)
        _exit(127);
    dup2(out, 1);
    dup2(err, 2);
    if (withoutDisplay)
        unsetenv("DISPLAY");
    if (!display.empty())
        setenv("DISPLAY", display.c_str(), 1);
    std::vector<char*> argv;
    std::string program = MARROWDALE_RECORD_PATH;
    argv.push_back(program.data());
    std::vector<std::string> copies(args);
    for (auto& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
}

RunResult waitRecorder(pid_t pid, const std::string& scratch) {
    RunResult r;
    int status = 0;
    // A recording that does not end within a minute is a failure, not a hang.
    for (int i = 0; i < 600; ++i) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            if (WIFEXITED(status))
                r.exitStatus = WEXITSTATUS(status);
            r.out = slurp(scratch + "/out.txt");
            r.err = slurp(scratch + "/err.txt");
            return r;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    r.err = "did not end";
    return r;
}

RunResult runRecorder(const std::vector<std::string>& args, const std::string& scratch,
                      bool withoutDisplay = false) {
    return waitRecorder(spawnRecorder(args, scratch, withoutDisplay), scratch);
}

// The numbers of the files in `folder` with extension `ext`, sorted.
std::vector<unsigned long> frameNumbers(const std::string& folder, const std::string& ext) {
    std::vector<unsigned long> numbers;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() < 10 || entry.path().extension() != ext)
            continue;
        numbers.push_back(std::stoul(name.substr(0, name.size() - ext.size())));
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

struct Decoded {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    Rgb at(int x, int y) const {
        const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

bool decodeJpeg(const std::string& path, Decoded& out) {
    const std::string bytes = slurp(path);
    if (bytes.empty())
        return false;
    tjhandle h = tjInitDecompress();
    if (h == nullptr)
        return false;
    int w = 0, ht = 0, sub = 0, cs = 0;
    auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    bool ok = tjDecompressHeader3(h, data, bytes.size(), &w, &ht, &sub, &cs) == 0;
    if (ok) {
        out.width = w;
        out.height = ht;
        out.rgb.resize(static_cast<std::size_t>(w) * ht * 3);
        ok = tjDecompress2(h, data, bytes.size(), out.rgb.data(), w, 0, ht, TJPF_RGB, 0) == 0;
    }
    tjDestroy(h);
    return ok;
}

::testing::AssertionResult near(const Rgb& got, const Rgb& want, int tolerance) {
    if (std::abs(got.r - want.r) <= tolerance && std::abs(got.g - want.g) <= tolerance &&
        std::abs(got.b - want.b) <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "got (" << got.r << "," << got.g << "," << got.b << ") want (" << want.r << ","
           << want.g << "," << want.b << ")";
}

// Points of a recorded rectangle away from block edges, where a JPEG keeps the colour.
void expectShows(const Decoded& img, int left, int top, int tolerance) {
    int checked = 0;
    for (int y = 4; y < img.height - 4; y += 23) {
        for (int x = 4; x < img.width - 4; x += 29) {
            const int sx = left + x, sy = top + y;
            // Stay 8 pixels clear of every edge between colours.
            bool nearEdge = false;
            for (int dy : {-8, 8}) {
                for (int dx : {-8, 8}) {
                    const Rgb a = screenColor(sx, sy);
                    const Rgb b = screenColor(sx + dx, sy + dy);
                    if (a.r != b.r || a.g != b.g || a.b != b.b)
                        nearEdge = true;
                }
            }
            if (nearEdge)
                continue;
            ++checked;
            ASSERT_TRUE(near(img.at(x, y), screenColor(sx, sy), tolerance))
                << "image (" << x << "," << y << ") screen (" << sx << "," << sy << ")";
        }
    }
    EXPECT_GT(checked, 20);
}

class CaptureOnX11 : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "these tests need an X display";
        ASSERT_TRUE(picture.ready());
        ASSERT_EQ(picture.width(), 1920);
        ASSERT_EQ(picture.height(), 1080);
    }
    Picture picture;
    TempDir dir;
    TempDir scratch;
};

TEST_F(CaptureOnX11, RecordsTheDefaultRectangleIntoNumberedJpegs) {
    const RunResult r = runRecorder(
        {"--dir", dir.path(), "--seconds", "1", "--mode", "0", "--stats"}, scratch.path());
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const std::string folder = dir.path() + "/vid1";
    const std::vector<unsigned long> numbers = frameNumbers(folder, ".jpg");
    ASSERT_FALSE(numbers.empty());
    EXPECT_TRUE(fs::exists(folder + "/000001.jpg"));
    // Mode 0 catches every slot up: the numbers run from 1 without a gap.
    for (std::size_t i = 0; i < numbers.size(); ++i)
        EXPECT_EQ(numbers[i], i + 1);
    EXPECT_NE(r.out.find("files=" + std::to_string(numbers.size()) + " "), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("free=0 "), std::string::npos) << r.out;

    for (unsigned long n : {numbers.front(), numbers.back()}) {
        char name[32];
        std::snprintf(name, sizeof name, "/%06lu.jpg", n);
        Decoded img;
        ASSERT_TRUE(decodeJpeg(folder + name, img)) << name;
        EXPECT_EQ(img.width, 700);
        EXPECT_EQ(img.height, 500);
        expectShows(img, 100, 100, 24);
    }
}

TEST_F(CaptureOnX11, DefaultModeStartsAtOneAndNumbersFollowTheSlots) {
    const RunResult r =
        runRecorder({"--dir", dir.path(), "--seconds", "0.5", "--stats"}, scratch.path());
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const std::vector<unsigned long> numbers = frameNumbers(dir.path() + "/vid1", ".jpg");
    ASSERT_FALSE(numbers.empty());
    EXPECT_EQ(numbers.front(), 1u);
    // Mode 3 may leave numbers free, three at a time, but never reuses or reorders them.
    EXPECT_GE(numbers.back(), numbers.size());
    EXPECT_NE(r.out.find("last=" + std::to_string(numbers.back()) + " "), std::string::npos)
        << r.out;
}

TEST_F(CaptureOnX11, RectangleHangingOffTheScreenIsBlackOutside) {
    const RunResult r = runRecorder(
        {"--dir", dir.path(), "--seconds", "0.2", "--area", "1800,1000,2000,1200"}, scratch.path());
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    Decoded img;
    ASSERT_TRUE(decodeJpeg(dir.path() + "/vid1/000001.jpg", img));
    EXPECT_EQ(img.width, 200);
    EXPECT_EQ(img.height, 200);
    EXPECT_TRUE(near(img.at(60, 40), {255, 255, 0}, 24));  // on the screen
    EXPECT_TRUE(near(img.at(160, 40), {0, 0, 0}, 24));     // right of the screen
    EXPECT_TRUE(near(img.at(60, 140), {0, 0, 0}, 24));     // below it
    EXPECT_TRUE(near(img.at(180, 180), {0, 0, 0}, 24));    // both
}

TEST_F(CaptureOnX11, RectangleAboveAndLeftOfTheScreenInBmp) {
    const RunResult r = runRecorder(
        {"--dir", dir.path(), "--seconds", "0.2", "--area", "-40,-40,120,120", "--format", "bmp"},
        scratch.path());
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const std::string bytes = slurp(dir.path() + "/vid1/000001.bmp");
    // 160 x 160, 32 bits: 54 + 4 x 160 x 160 (160 is a multiple of 8).
    ASSERT_EQ(bytes.size(), 54u + 102400u);
    auto pixel = [&bytes](int x, int y) {  // image coordinates, rows stored bottom first
        const std::size_t at = 54 + (static_cast<std::size_t>(159 - y) * 160 + x) * 4;
        return Rgb{static_cast<unsigned char>(bytes[at + 2]),
                   static_cast<unsigned char>(bytes[at + 1]),
                   static_cast<unsigned char>(bytes[at + 0])};
    };
    // Lossless: exact colours.
    for (int y = 0; y < 160; y += 7) {
        for (int x = 0; x < 160; x += 7) {
            const int sx = x - 40, sy = y - 40;
            const Rgb want = (sx < 0 || sy < 0) ? Rgb{0, 0, 0} : screenColor(sx, sy);
            ASSERT_TRUE(near(pixel(x, y), want, 0)) << x << "," << y;
        }
    }
}

TEST_F(CaptureOnX11, FrameLimitEndsTheRecordingByItself) {
    const RunResult r = runRecorder(
        {"--dir", dir.path(), "--max-frames", "4", "--mode", "0", "--frame-option", "2", "--stats"},
        scratch.path());
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    // Two passes of two grabs: 1-2 and 3-4; the frame number is then 5, not below 4.
    EXPECT_EQ(frameNumbers(dir.path() + "/vid1", ".jpg"), (std::vector<unsigned long>{1, 2, 3, 4}));
}

TEST_F(CaptureOnX11, GapOptionLeavesNumbersFree) {
    const RunResult r = runRecorder(
        {"--dir", dir.path(), "--max-frames", "12", "--mode", "0", "--frame-option", "12"},
        scratch.path());
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(frameNumbers(dir.path() + "/vid1", ".jpg"),
              (std::vector<unsigned long>{2, 5, 8, 11}));
}

TEST_F(CaptureOnX11, ZeroSecondsEndsWithinThePassUnderWay) {
    const RunResult r =
        runRecorder({"--dir", dir.path(), "--seconds", "0", "--stats"}, scratch.path());
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    // The stop comes as the first pass begins: the loop sees it at the start of a pass, so at
    // most the first slot is served.
    const std::vector<unsigned long> numbers = frameNumbers(dir.path() + "/vid1", ".jpg");
    EXPECT_LE(numbers.size(), 1u);
    EXPECT_NE(r.out.find("stats: files=" + std::to_string(numbers.size()) + " "), std::string::npos)
        << r.out;
}

TEST_F(CaptureOnX11, SigintStopsLikeTheStopCommand) {
    const pid_t pid = spawnRecorder({"--dir", dir.path(), "--stats"}, scratch.path());
    const std::string first = dir.path() + "/vid1/000001.jpg";
    for (int i = 0; i < 200 && !fs::exists(first); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(fs::exists(first));
    kill(pid, SIGINT);
    const RunResult r = waitRecorder(pid, scratch.path());
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(r.out.find("stats: files="), std::string::npos) << r.out;
    EXPECT_FALSE(frameNumbers(dir.path() + "/vid1", ".jpg").empty());
}

TEST_F(CaptureOnX11, SigtermStopsToo) {
    const pid_t pid = spawnRecorder({"--dir", dir.path()}, scratch.path());
    const std::string first = dir.path() + "/vid1/000001.jpg";
    for (int i = 0; i < 200 && !fs::exists(first); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGTERM);
    const RunResult r = waitRecorder(pid, scratch.path());
    EXPECT_EQ(r.exitStatus, 0) << r.err;
}

TEST_F(CaptureOnX11, NoDisplayIsAClearErrorWithStatusTwo) {
    const RunResult r =
        runRecorder({"--dir", dir.path(), "--seconds", "0.1"}, scratch.path(), true);
    EXPECT_EQ(r.exitStatus, 2);
    EXPECT_NE(r.err.find("display"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.path() + "/vid1"));
}

TEST_F(CaptureOnX11, FolderPathTooLongGivesTheFolderMessage) {
    std::string deep = dir.path();
    while (deep.size() < 500)
        deep += "/" + std::string(100, 'l');
    const RunResult r = runRecorder({"--dir", deep, "--seconds", "0.1"}, scratch.path());
    EXPECT_NE(r.exitStatus, 0);
    EXPECT_NE(r.err.find("An error occured appending vid1 to the program's folder name."),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(deep + "/vid1"));
}

TEST_F(CaptureOnX11, FolderTooLongForFrameNamesIsRefused) {
    std::string deep = dir.path();
    while (deep.size() < 300)
        deep += "/" + std::string(60, 'm');
    const RunResult r = runRecorder({"--dir", deep, "--seconds", "0.1"}, scratch.path());
    EXPECT_NE(r.exitStatus, 0);
    EXPECT_NE(r.err.find("Plumet: An error occured appending"), std::string::npos) << r.err;
    EXPECT_TRUE(frameNumbers(deep + "/vid1", ".jpg").empty());
}

TEST_F(CaptureOnX11, EmptyRectangleIsRefused) {
    const RunResult r = runRecorder(
        {"--dir", dir.path(), "--seconds", "0.1", "--area", "500,500,500,900"}, scratch.path());
    EXPECT_EQ(r.exitStatus, 2);
    EXPECT_NE(r.err.find("The capture area has no width or height."), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.path() + "/vid1"));
}

// A 3840x2160 screen of coloured 480x360 blocks whose top row shows a counter in binary (a
// white block for a 1, black for a 0, lowest bit on the left). A thread of its own counts up
// every `stepMs`; each new count reaches the screen in one request, so that a grab sees one
// count whole.
class CountingScreen {
  public:
    static constexpr int kWidth = 3840, kHeight = 2160, kBlockW = 480, kBlockH = 360;
    static constexpr int kBits = kWidth / kBlockW;

    static Rgb colorOf(int x, int y) {
        static const Rgb palette[] = {
            {230, 30, 30}, {30, 200, 40}, {40, 60, 230}, {240, 240, 240}, {250, 210, 0}};
        return palette[(x / kBlockW + y / kBlockH) % 5];
    }

    CountingScreen(const std::string& displayName, int stepMs) {
        display_ = XOpenDisplay(displayName.c_str());
        if (display_ == nullptr)
            return;
        const int screen = DefaultScreen(display_);
        if (DisplayWidth(display_, screen) != kWidth || DisplayHeight(display_, screen) != kHeight)
            return;
        XSetWindowAttributes attrs{};
        attrs.override_redirect = True;
        attrs.background_pixel = BlackPixel(display_, screen);
        window_ = XCreateWindow(display_, RootWindow(display_, screen), 0, 0, kWidth, kHeight, 0,
                                CopyFromParent, InputOutput, CopyFromParent,
                                CWOverrideRedirect | CWBackPixel, &attrs);
        gc_ = XCreateGC(display_, window_, 0, nullptr);
        row_ = XCreatePixmap(display_, window_, kWidth, kBlockH,
                             static_cast<unsigned>(DefaultDepth(display_, screen)));
        XMapRaised(display_, window_);
        for (int y = kBlockH; y < kHeight; y += kBlockH) {
            for (int x = 0; x < kWidth; x += kBlockW) {
                const Rgb c = colorOf(x, y);
                XSetForeground(display_, gc_,
                               static_cast<unsigned long>(c.r << 16 | c.g << 8 | c.b));
                XFillRectangle(display_, window_, gc_, x, y, kBlockW, kBlockH);
            }
        }
        show(0);
        ready_ = true;
        counter_ = std::thread([this, stepMs] {
            for (int count = 1; !stop_.load(); ++count) {
                std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
                show(count);
            }
        });
    }
    ~CountingScreen() {
        stop_ = true;
        if (counter_.joinable())
            counter_.join();
        if (display_ != nullptr)
            XCloseDisplay(display_);
    }
    CountingScreen(const CountingScreen&) = delete;
    CountingScreen& operator=(const CountingScreen&) = delete;
    bool ready() const { return ready_; }

  private:
    void show(int count) {
        for (int bit = 0; bit < kBits; ++bit) {
            XSetForeground(display_, gc_, (count >> bit & 1) != 0 ? 0xFFFFFF : 0x000000);
            XFillRectangle(display_, row_, gc_, bit * kBlockW, 0, kBlockW, kBlockH);
        }
        XCopyArea(display_, row_, window_, gc_, 0, 0, kWidth, kBlockH, 0, 0);
        XSync(display_, False);
    }
    Display* display_ = nullptr;
    Window window_ = 0;
    GC gc_ = nullptr;
    Pixmap row_ = 0;
    std::thread counter_;
    std::atomic<bool> stop_{false};
    bool ready_ = false;
};

// The count a decoded frame shows, or -1 when a block is neither the right colour nor a clear
// white or black bit.
int countShown(const Decoded& img) {
    const int cy = CountingScreen::kBlockH / 2;
    int count = 0;
    for (int bit = 0; bit < CountingScreen::kBits; ++bit) {
        const int cx = bit * CountingScreen::kBlockW + CountingScreen::kBlockW / 2;
        if (near(img.at(cx, cy), {255, 255, 255}, 24))
            count |= 1 << bit;
        else if (!near(img.at(cx, cy), {0, 0, 0}, 24))
            return -1;
    }
    for (int y = CountingScreen::kBlockH * 3 / 2; y < img.height; y += CountingScreen::kBlockH) {
        for (int x = CountingScreen::kBlockW / 2; x < img.width; x += CountingScreen::kBlockW) {
            if (!near(img.at(x, y), CountingScreen::colorOf(x, y), 24))
                return -1;
        }
    }
    return count;
}

// A whole 3840x2160 screen at 25 frames per second while the picture changes under it: every
// number is there, every file decodes and shows one picture whole, and the pictures follow
// the numbers in time, those written again unchanged included.
TEST_F(CaptureOnX11, FourKScreenEveryFrameDecodesAndFollowsThePicture) {
    capture_test::PrivateXvfb server("3840x2160x24");
    ASSERT_TRUE(server.ready()) << "could not start a 3840x2160 Xvfb";
    CountingScreen screen(server.name(), 150);
    ASSERT_TRUE(screen.ready());

    const char* shared = std::getenv("DISPLAY");
    const std::string previous = shared != nullptr ? shared : "";
    setenv("DISPLAY", server.name().c_str(), 1);
    const pid_t pid = spawnRecorder({"--dir", dir.path(), "--area", "0,0,3840,2160", "--seconds",
                                     "1.2", "--mode", "0", "--stats"},
                                    scratch.path());
    setenv("DISPLAY", previous.c_str(), 1);
    const RunResult r = waitRecorder(pid, scratch.path());
    ASSERT_EQ(r.exitStatus, 0) << r.err;

    const std::string folder = dir.path() + "/vid1";
    const std::vector<unsigned long> numbers = frameNumbers(folder, ".jpg");
    // About 30 slots; a machine busy with other work serves fewer, but mode 0 skips none.
    ASSERT_GE(numbers.size(), 5u) << r.out;
    for (std::size_t i = 0; i < numbers.size(); ++i)
        ASSERT_EQ(numbers[i], i + 1) << "mode 0 leaves no number free";
    EXPECT_NE(r.out.find("files=" + std::to_string(numbers.size()) + " "), std::string::npos)
        << r.out;
    std::vector<int> counts;
    for (unsigned long n : numbers) {
        char name[32];
        std::snprintf(name, sizeof name, "/%06lu.jpg", n);
        Decoded img;
        ASSERT_TRUE(decodeJpeg(folder + name, img)) << name;
        ASSERT_EQ(img.width, 3840);
        ASSERT_EQ(img.height, 2160);
        counts.push_back(countShown(img));
        ASSERT_NE(counts.back(), -1) << name << " is not one picture whole";
    }
    EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end()))
        << "a frame shows an older picture than the frame before it";
    EXPECT_GE(counts.back() - counts.front(), 3) << "the picture changed about 8 times";
    // The picture changes every 150 ms and frames come every 40 ms: most frames are the
    // picture before them, written again without an encode.
    EXPECT_EQ(r.out.find(" reused=0 "), std::string::npos) << r.out;
    // How often the loop waited for the encoders is told, whatever it came to.
    EXPECT_NE(r.out.find(" ring_waits="), std::string::npos) << r.out;
}

using marrowdale_test::SmallMount;

// The value of `key=` in the --stats line, -1 when it is not there.
long long statValue(const std::string& out, const std::string& key) {
    const std::size_t at = out.find(" " + key + "=");
    return at == std::string::npos ? -1 : std::stoll(out.substr(at + key.size() + 2));
}

// Every frame file of `folder` is whole: it decodes; and no temporary file stayed behind.
void expectOnlyWholeFrames(const std::string& folder) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        EXPECT_NE(name[0], '.') << name << ": a temporary file stayed after the stop";
        const std::string bytes = slurp(e.path().string());
        ASSERT_GE(bytes.size(), 4u) << name;
        EXPECT_EQ(static_cast<unsigned char>(bytes[bytes.size() - 2]), 0xFF) << name;
        EXPECT_EQ(static_cast<unsigned char>(bytes[bytes.size() - 1]), 0xD9) << name;
        Decoded img;
        EXPECT_TRUE(decodeJpeg(e.path().string(), img)) << name;
    }
}

// Another program fills the disk during a recording: the frames that no longer fit are not
// left cut off, and within a few seconds the recording is stopped like the stop command, with
// the reason, its files complete, and exit status 5.
TEST_F(CaptureOnX11, DiskFillingUpStopsTheRecordingWithItsReason) {
    SmallMount disk(dir.path(), "size=48m");
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small file system here (needs the superuser)";
    const pid_t pid = spawnRecorder(
        {"--dir", dir.path(), "--area", "0,0,320,240", "--mode", "0", "--stats", "--seconds", "30"},
        scratch.path());
    const std::string first = dir.path() + "/vid1/000001.jpg";
    for (int i = 0; i < 200 && !fs::exists(first); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    {
        // The rest of the disk, up to the last block.
        std::ofstream filler(dir.path() + "/filler", std::ios::binary);
        const std::string block(64 * 1024, 'f');
        while (filler.write(block.data(), static_cast<std::streamsize>(block.size())))
            filler.flush();
    }
    const auto filled = std::chrono::steady_clock::now();
    const RunResult r = waitRecorder(pid, scratch.path());
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - filled).count();
    EXPECT_EQ(r.exitStatus, 5) << r.err << r.out;
    EXPECT_LT(took, 10.0) << "the stop came late";
    EXPECT_NE(r.err.find("The disk is nearly full"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("The recording was stopped"), std::string::npos) << r.err;
    EXPECT_GE(statValue(r.out, "disk_free_mb"), 0) << r.out;
    ASSERT_FALSE(frameNumbers(dir.path() + "/vid1", ".jpg").empty());
    expectOnlyWholeFrames(dir.path() + "/vid1");
}

// A start whose first minute does not fit is refused before anything is written.
TEST_F(CaptureOnX11, NotEnoughSpaceToStartIsRefusedWithStatusFive) {
    SmallMount disk(dir.path(), "size=4m");
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small file system here (needs the superuser)";
    const RunResult r = runRecorder(
        {"--dir", dir.path(), "--area", "0,0,1920,1080", "--seconds", "2"}, scratch.path());
    EXPECT_EQ(r.exitStatus, 5) << r.err;
    EXPECT_NE(r.err.find("There is not enough free space to record in " + dir.path()),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(frameNumbers(dir.path() + "/vid1", ".jpg").empty());
}

// Frames that could not be written (the folder became read-only) make a finished recording
// exit with status 4 and say how many were lost; --stats counts them in the one line.
TEST_F(CaptureOnX11, LostFramesEndWithStatusFourAndAreCounted) {
    SmallMount disk(dir.path(), "size=64m");
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small file system here (needs the superuser)";
    const pid_t pid =
        spawnRecorder({"--dir", dir.path(), "--area", "0,0,320,240", "--seconds", "2.5", "--stats"},
                      scratch.path());
    const std::string first = dir.path() + "/vid1/000001.jpg";
    for (int i = 0; i < 200 && !fs::exists(first); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // A remount waits while a frame file is open for writing.
    bool readOnly = false;
    for (int i = 0; i < 200 && !readOnly; ++i)
        readOnly = disk.makeReadOnly();
    ASSERT_TRUE(readOnly);
    const RunResult r = waitRecorder(pid, scratch.path());
    EXPECT_EQ(r.exitStatus, 4) << r.err << r.out;
    EXPECT_NE(r.err.find("The recording lost frames: "), std::string::npos) << r.err;
    ASSERT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << "one line: " << r.out;
    const long long files = statValue(r.out, "files");
    const long long writeFailed = statValue(r.out, "write_failed");
    EXPECT_GT(files, 0) << r.out;
    EXPECT_GT(writeFailed, 10) << r.out;
    EXPECT_EQ(statValue(r.out, "failed"), writeFailed) << r.out;
    EXPECT_EQ(statValue(r.out, "grab_failed"), 0) << r.out;
    EXPECT_EQ(static_cast<long long>(frameNumbers(dir.path() + "/vid1", ".jpg").size()), files);
    expectOnlyWholeFrames(dir.path() + "/vid1");
}

// The screen shrinks, then grows back, during a recording (RandR, as xrandr --fb does): every
// frame shows the screen as it is at its slot, black where the rectangle is off the screen,
// nothing repeated, and no grab fails.
TEST_F(CaptureOnX11, ScreenShrinkingAndGrowingDuringARecordingIsFollowed) {
    capture_test::PrivateXvfb server("1024x768x24");
    ASSERT_TRUE(server.ready()) << "could not start a private Xvfb";
    const auto paint = [&server](unsigned long colour) {
        Display* d = XOpenDisplay(server.name().c_str());
        if (d == nullptr)
            return false;
        const Window root = DefaultRootWindow(d);
        GC gc = XCreateGC(d, root, 0, nullptr);
        XSetForeground(d, gc, colour);
        XFillRectangle(d, root, gc, 0, 0, 1024, 768);
        XFreeGC(d, gc);
        XSync(d, False);
        XCloseDisplay(d);
        return true;
    };
    ASSERT_TRUE(paint(0x00ff00));  // green
    const pid_t pid = spawnRecorder(
        {"--dir", dir.path(), "--area", "100,100,900,700", "--seconds", "3.5", "--stats"},
        scratch.path(), false, server.name());
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    ASSERT_TRUE(server.resize("640x480"));
    ASSERT_TRUE(paint(0xff0000));  // red on the smaller screen
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    ASSERT_TRUE(server.resize("1024x768"));
    ASSERT_TRUE(paint(0x0000ff));  // blue on the whole screen again
    const RunResult r = waitRecorder(pid, scratch.path());
    ASSERT_EQ(r.exitStatus, 0) << r.err << r.out;
    EXPECT_EQ(statValue(r.out, "grab_failed"), 0) << r.out;

    // The picture of each frame: its colour at (10,10), and at (700,500), off the small screen.
    const std::vector<unsigned long> numbers = frameNumbers(dir.path() + "/vid1", ".jpg");
    ASSERT_GT(numbers.size(), 40u);
    int small = 0, large = 0;
    for (unsigned long n : numbers) {
        char name[32];
        std::snprintf(name, sizeof name, "/vid1/%06lu.jpg", n);
        Decoded img;
        ASSERT_TRUE(decodeJpeg(dir.path() + name, img)) << name;
        const Rgb inside = img.at(10, 10);
        const Rgb outside = img.at(700, 500);
        if (near(inside, {255, 0, 0}, 40)) {
            ++small;  // the small screen: what lies off it is black
            EXPECT_TRUE(near(outside, {0, 0, 0}, 40)) << name;
        } else if (near(inside, {0, 0, 255}, 40)) {
            ++large;  // grown back: the whole rectangle shows the screen
            EXPECT_TRUE(near(outside, {0, 0, 255}, 40)) << name;
        }
    }
    EXPECT_GT(small, 5) << "frames of the smaller screen";
    EXPECT_GT(large, 5) << "frames after it grew back";
}

TEST_F(CaptureOnX11, BadOptionIsRejectedWithStatusTwo) {
    const std::vector<std::vector<std::string>> bad = {
        {"--mode", "5"},           {"--period-ms", "abc"},
        {"--period-ms", "-5"},     {"--frame-option", "-1"},
        {"--frame-option", "abc"}, {"--area", "-2147483648,0,2147483647,10"}};
    for (const auto& args : bad) {
        std::vector<std::string> full = args;
        full.insert(full.end(), {"--dir", dir.path(), "--seconds", "0.2"});
        const RunResult r = runRecorder(full, scratch.path());
        EXPECT_EQ(r.exitStatus, 2) << args[0] << " " << args[1] << ": " << r.err;
        EXPECT_NE(r.err.find(args[0] == "--area" ? "too large" : args[0]), std::string::npos)
            << r.err;
    }
}

}  // namespace
