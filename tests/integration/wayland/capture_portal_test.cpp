// marrowdale-record on a real headless Wayland desktop (sway) through the screen-cast portal and
// PipeWire: the frames show the desktop's known colour and a test window that animates and is
// moved during the recording; a rectangle partly outside the output is black there; a
// compositor that ends mid-recording stops the recording with its files finished.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The desktop's background (sway `output * bg #d01010`).
struct Rgb {
    int r, g, b;
};
constexpr Rgb kBackground{0xd0, 0x10, 0x10};
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};
// weston-presentation-shm: a 250x250 window, black squares at its top-left and bottom-right
// corners and white ones at the other two, a turning wheel in the middle.
constexpr int kWindowSize = 250;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "mdl-portal-XXXXXX").string();
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

// NAME=VALUE lines of a desktop's env file ("export NAME=VALUE").
std::vector<std::string> desktopEnvironment(const std::string& envFile) {
    std::vector<std::string> vars;
    std::ifstream in(envFile);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("export ", 0) == 0)
            vars.push_back(line.substr(7));
    }
    return vars;
}

struct Child {
    pid_t pid = -1;
};

// Starts `argv` with the desktop's variables set on top of ours (plus `extra`); stdout and
// stderr go to files in `scratch` when it is given.
Child spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const std::string& scratch = {}) {
    Child c;
    c.pid = fork();
    if (c.pid != 0)
        return c;
    if (!scratch.empty()) {
        const int out = ::open((scratch + "/out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open((scratch + "/err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0)
            _exit(127);
        dup2(out, 1);
        dup2(err, 2);
    } else {
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
    }
    for (const std::string& v : env) {
        const std::size_t eq = v.find('=');
        setenv(v.substr(0, eq).c_str(), v.substr(eq + 1).c_str(), 1);
    }
    std::vector<std::string> copies(argv);
    std::vector<char*> args;
    for (auto& a : copies)
        args.push_back(a.data());
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

// Waits up to a minute; -1 when it did not exit normally (then it is killed).
int waitExit(const Child& c) {
    int status = 0;
    for (int i = 0; i < 600; ++i) {
        if (waitpid(c.pid, &status, WNOHANG) == c.pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(100ms);
    }
    kill(c.pid, SIGKILL);
    waitpid(c.pid, &status, 0);
    return -1;
}

void stopChild(const Child& c) {
    if (c.pid <= 0)
        return;
    kill(c.pid, SIGTERM);
    waitExit(c);
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

::testing::AssertionResult near(const Rgb& got, const Rgb& want) {
    constexpr int kTolerance = 24;  // JPEG
    if (std::abs(got.r - want.r) <= kTolerance && std::abs(got.g - want.g) <= kTolerance &&
        std::abs(got.b - want.b) <= kTolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "got (" << got.r << "," << got.g << "," << got.b << ") want (" << want.r << ","
           << want.g << "," << want.b << ")";
}

std::vector<std::string> frameFiles(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        if (e.path().extension() == ".jpg")
            files.push_back(e.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

class CaptureThroughPortal : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* env = std::getenv("MDL_WAYLAND_ENV");
        if (env == nullptr || *env == '\0')
            GTEST_SKIP() << "needs the Wayland desktop of scripts/test (MDL_WAYLAND_ENV)";
        envFile_ = env;
        desktopDir_ = fs::path(envFile_).parent_path().string();
        ASSERT_FALSE(scratch_.path().empty());
        // The compositor hands out a picture only when the output changes: the test window
        // keeps it changing. It starts at (100, 100).
        window_ = startWindow(desktopDir_);
        ASSERT_GT(window_.pid, 0);
    }

    void TearDown() override { stopChild(window_); }

    // weston-presentation-shm at (100, 100) on the desktop of `desktopDir`.
    Child startWindow(const std::string& desktopDir) const {
        const Child window = spawn(asUser(desktopDir, {"weston-presentation-shm", "-f"}), {});
        for (int i = 0; i < 50; ++i) {
            std::this_thread::sleep_for(100ms);
            if (sway(desktopDir, "[title=\"presentation-shm\"] move position 100 100"))
                return window;
        }
        stopChild(window);
        return {};
    }

    // The recorder's environment: the desktop's variables and settings of its own.
    std::vector<std::string> recorderEnv() const {
        std::vector<std::string> env = desktopEnvironment(envFile_);
        env.push_back("XDG_CONFIG_HOME=" + scratch_.path() + "/config");
        return env;
    }

    std::vector<std::string> record(std::vector<std::string> args) const {
        args.insert(args.begin(), {MARROWDALE_RECORD_PATH, "--dir", scratch_.path()});
        return args;
    }

    // A command run as the desktop's user inside it.
    std::vector<std::string> asUser(const std::string& desktopDir,
                                    std::vector<std::string> command) const {
        command.insert(command.begin(), {MARROWDALE_WAYLAND_DESKTOP, "run", desktopDir});
        return command;
    }

    bool sway(const std::string& desktopDir, const std::string& command) const {
        const Child c = spawn(asUser(desktopDir, {"swaymsg", command}), {});
        return waitExit(c) == 0;
    }

    std::string frames() const { return scratch_.path() + "/vid1"; }

    std::string envFile_;
    std::string desktopDir_;
    TempDir scratch_;
    Child window_;
};

TEST_F(CaptureThroughPortal, FramesShowTheDesktopAndAMovingWindow) {
    // The window is moved from (100, 100) to (700, 300) one second into the recording.
    const Child recorder = spawn(
        record({"--backend", "portal", "--area", "0,0,1280,720", "--seconds", "2", "--stats"}),
        recorderEnv(), scratch_.path());
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(sway(desktopDir_, "[title=\"presentation-shm\"] move position 700 300"));
    const int status = waitExit(recorder);
    ASSERT_EQ(status, 0) << slurp(scratch_.path() + "/err.txt");

    const std::vector<std::string> files = frameFiles(frames());
    ASSERT_GE(files.size(), 25u) << slurp(scratch_.path() + "/out.txt");
    Decoded first, second, last;
    ASSERT_TRUE(decodeJpeg(files[0], first));
    ASSERT_TRUE(decodeJpeg(files[1], second));
    ASSERT_TRUE(decodeJpeg(files.back(), last));
    ASSERT_EQ(first.width, 1280);
    ASSERT_EQ(first.height, 720);

    // The background where no window is, in both frames.
    for (const auto& [x, y] : {std::pair{20, 20}, {1260, 700}, {640, 50}, {50, 650}}) {
        EXPECT_TRUE(near(first.at(x, y), kBackground)) << x << "," << y;
        EXPECT_TRUE(near(last.at(x, y), kBackground)) << x << "," << y;
    }
    // The window's corner squares where it was, then where it went.
    const auto expectWindowAt = [](const Decoded& img, int x, int y) {
        EXPECT_TRUE(near(img.at(x + 10, y + 10), kBlack)) << "window at " << x << "," << y;
        EXPECT_TRUE(near(img.at(x + kWindowSize - 10, y + 10), kWhite));
        EXPECT_TRUE(near(img.at(x + 10, y + kWindowSize - 10), kWhite));
        EXPECT_TRUE(near(img.at(x + kWindowSize - 10, y + kWindowSize - 10), kBlack));
    };
    expectWindowAt(first, 100, 100);
    EXPECT_TRUE(near(first.at(710, 310), kBackground));
    expectWindowAt(last, 700, 300);
    EXPECT_TRUE(near(last.at(110, 110), kBackground));

    // The wheel turns: a later frame of the same place differs inside the window (on a loaded
    // machine the compositor may deliver a new picture only every few slots).
    const auto differingPoints = [](const Decoded& a, const Decoded& b) {
        int n = 0;
        for (int y = 120; y < 330; y += 5)
            for (int x = 120; x < 330; x += 5) {
                const Rgb p = a.at(x, y), q = b.at(x, y);
                n += std::abs(p.r - q.r) + std::abs(p.g - q.g) + std::abs(p.b - q.b) > 60;
            }
        return n;
    };
    int differing = differingPoints(first, second);
    for (std::size_t i = 2; i < std::min<std::size_t>(files.size(), 20) && differing <= 10; ++i) {
        Decoded later;
        if (decodeJpeg(files[i], later) && near(later.at(110, 110), kBlack))
            differing = differingPoints(first, later);
    }
    EXPECT_GT(differing, 10);
}

TEST_F(CaptureThroughPortal, RectanglePartlyOutsideTheOutputIsBlackThere) {
    // 200x200 around each of two corners of the 1280x720 output: a quarter inside.
    struct Row {
        const char* area;
        int insideX, insideY;    // a point of the frame on the output
        int outsideX, outsideY;  // a point of the frame beyond it
    };
    for (const Row& row :
         {Row{"1180,620,1380,820", 50, 50, 150, 150}, Row{"-100,-100,100,100", 150, 150, 50, 50}}) {
        SCOPED_TRACE(row.area);
        std::error_code ec;
        fs::remove_all(frames(), ec);
        const int status =
            waitExit(spawn(record({"--backend", "portal", "--area", row.area, "--seconds", "0.3"}),
                           recorderEnv(), scratch_.path()));
        ASSERT_EQ(status, 0) << slurp(scratch_.path() + "/err.txt");
        const std::vector<std::string> files = frameFiles(frames());
        ASSERT_FALSE(files.empty());
        Decoded img;
        ASSERT_TRUE(decodeJpeg(files.back(), img));
        ASSERT_EQ(img.width, 200);
        EXPECT_TRUE(near(img.at(row.insideX, row.insideY), kBackground));
        EXPECT_TRUE(near(img.at(row.outsideX, row.outsideY), kBlack));
        EXPECT_TRUE(near(img.at(row.outsideX, row.insideY), kBlack));
        EXPECT_TRUE(near(img.at(row.insideX, row.outsideY), kBlack));
    }
}

TEST_F(CaptureThroughPortal, ChoiceOfBackend) {
    // WAYLAND_DISPLAY set: the portal, unless --backend x11 asks for the X display (which
    // scripts/test also runs: a black screen there). Without a session bus the portal cannot be
    // reached: exit status 2 and the reason.
    struct Row {
        std::vector<std::string> args;
        std::vector<std::string> extraEnv;
        int status;
        const char* stderrHas;
        bool desktopColour;
    };
    const std::vector<Row> rows = {
        {{}, {}, 0, "", true},
        {{"--backend", "x11"}, {}, 0, "", false},
        {{"--backend", "portal"},
         {"DBUS_SESSION_BUS_ADDRESS=unix:path=" + scratch_.path() + "/no-bus"},
         2,
         "no session bus",
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.args));
        if (row.args == std::vector<std::string>{"--backend", "x11"} &&
            std::getenv("DISPLAY") == nullptr)
            continue;
        std::error_code ec;
        fs::remove_all(frames(), ec);
        std::vector<std::string> args = row.args;
        for (const char* a : {"--area", "0,0,64,64", "--seconds", "0.2"})
            args.push_back(a);
        std::vector<std::string> env = recorderEnv();
        env.insert(env.end(), row.extraEnv.begin(), row.extraEnv.end());
        const int status = waitExit(spawn(record(args), env, scratch_.path()));
        const std::string err = slurp(scratch_.path() + "/err.txt");
        ASSERT_EQ(status, row.status) << err;
        EXPECT_NE(err.find(row.stderrHas), std::string::npos) << err;
        if (row.status != 0)
            continue;
        const std::vector<std::string> files = frameFiles(frames());
        ASSERT_FALSE(files.empty());
        Decoded img;
        ASSERT_TRUE(decodeJpeg(files.back(), img));
        EXPECT_EQ(near(img.at(32, 32), kBackground), row.desktopColour);
    }
}

TEST_F(CaptureThroughPortal, RefusedPermissionEndsWithStatus3AndNoFrames) {
    // A desktop of its own whose portal chooser says no, as a user who cancels the dialog.
    TempDir desktop;
    ASSERT_EQ(waitExit(spawn(
                  {MARROWDALE_WAYLAND_DESKTOP, "start", desktop.path(), "640x480", "refuse"}, {})),
              0);
    std::vector<std::string> env = desktopEnvironment(desktop.path() + "/env");
    env.push_back("XDG_CONFIG_HOME=" + scratch_.path() + "/config");
    const int status =
        waitExit(spawn(record({"--backend", "portal", "--seconds", "1"}), env, scratch_.path()));
    waitExit(spawn({MARROWDALE_WAYLAND_DESKTOP, "stop", desktop.path()}, {}));
    const std::string err = slurp(scratch_.path() + "/err.txt");
    EXPECT_EQ(status, 3) << err;
    EXPECT_NE(err.find("permission to record the screen was refused"), std::string::npos) << err;
    EXPECT_TRUE(frameFiles(frames()).empty());
}

TEST_F(CaptureThroughPortal, CompositorEndingStopsTheRecordingWithItsFilesFinished) {
    // A desktop of its own, since this one ends.
    TempDir desktop;
    ASSERT_EQ(waitExit(spawn({MARROWDALE_WAYLAND_DESKTOP, "start", desktop.path(), "640x480"}, {})),
              0);
    const std::string envFile = desktop.path() + "/env";
    std::vector<std::string> env = desktopEnvironment(envFile);
    env.push_back("XDG_CONFIG_HOME=" + scratch_.path() + "/config");
    const Child window = startWindow(desktop.path());
    EXPECT_GT(window.pid, 0);
    const Child recorder = spawn(
        record({"--backend", "portal", "--area", "0,0,640,480", "--seconds", "30", "--stats"}), env,
        scratch_.path());
    // Once frames are being written, sway is told to exit.
    for (int i = 0; i < 100 && frameFiles(frames()).size() < 5; ++i)
        std::this_thread::sleep_for(50ms);
    // sway may end before it answers: the outcome is read from the recorder.
    sway(desktop.path(), "exit");
    const int status = waitExit(recorder);
    stopChild(window);
    waitExit(spawn({MARROWDALE_WAYLAND_DESKTOP, "stop", desktop.path()}, {}));

    const std::string err = slurp(scratch_.path() + "/err.txt");
    EXPECT_EQ(status, 1) << err;
    EXPECT_NE(err.find("the screen cast ended"), std::string::npos) << err;
    EXPECT_NE(err.find("the recording was stopped"), std::string::npos) << err;
    // Stopped long before its 30 seconds (750 slots), every file written whole.
    const std::vector<std::string> files = frameFiles(frames());
    ASSERT_GE(files.size(), 5u);
    EXPECT_LT(files.size(), 700u);
    for (const std::string& f : files) {
        Decoded img;
        EXPECT_TRUE(decodeJpeg(f, img)) << f;
    }
    EXPECT_NE(slurp(scratch_.path() + "/out.txt").find("stats:"), std::string::npos);
}

}  // namespace
