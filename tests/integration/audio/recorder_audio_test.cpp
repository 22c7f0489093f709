// marrowdale-record with sound, against the PulseAudio server (null sink as default output)
// and the display that the test script starts.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <thread>

#include "../capture/private_xvfb.h"
#include "platform/ffmpeg/audio_file_reader.h"
#include "process.h"
#include "tests/support/small_mount.h"
#include "tone_analysis.h"

namespace marrowdale {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;

const std::string kRecorder = MDL_RECORDER_PATH;
const std::string kError1 = "Error-1: Audio recorder  not started\n\nGetDefaultAudioEndpoint error";
const std::string kError9 = "Error -9: Audio recorder  while looping\n\nGetNextPacketSize error";
const std::string kEndedEarly = "the audio recording ended early";

// With MDL_SOUND_SERVER=pipewire the suite runs against PipeWire's pulse server of scripts/test
// (MDL_PIPEWIRE_PULSE_SERVER) instead of PulseAudio.
bool onPipeWire() {
    const char* server = std::getenv("MDL_SOUND_SERVER");
    return server != nullptr && std::string(server) == "pipewire";
}
const bool kServerChosen = [] {
    if (onPipeWire()) {
        const char* pipewire = std::getenv("MDL_PIPEWIRE_PULSE_SERVER");
        if (pipewire != nullptr)
            setenv("PULSE_SERVER", pipewire, 1);
        else
            unsetenv("PULSE_SERVER");
    }
    return true;
}();

bool haveSound() {
    return kServerChosen && std::getenv("PULSE_SERVER") != nullptr;
}
bool haveDisplay() {
    return std::getenv("DISPLAY") != nullptr;
}

void pause(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// A scratch folder (not the current directory: the recorder is a child process).
class Folder {
  public:
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "mdl-rec-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr)
            path = pattern;
    }
    ~Folder() {
        std::error_code ignored;
        if (!path.empty())
            fs::remove_all(path, ignored);
    }
    std::string path;
};

// Plays a 1 kHz tone of amplitude 0.5 with a short latency into the default sink. The null
// sink renders far ahead while idle; the player's low latency brings it to real time, which
// takes up to two seconds after the player starts.
class TonePlayer {
  public:
    TonePlayer(const std::string& folder, double seconds,
               const std::map<std::string, std::string>& env = {}) {
        wav_ = folder + "/tone.wav";
        if (!testing::writeSineWav(wav_, 1000.0, 0.5, seconds, 48000))
            return;
        child_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"paplay", "--latency-msec=100", wav_}, env);
        pause(3.5);
    }
    bool playing() const { return child_ && child_->started(); }

  private:
    std::string wav_;
    std::unique_ptr<ChildProcess> child_;
};

DecodedAudio decode(const std::string& path) {
    DecodedAudio decoded;
    std::string error;
    EXPECT_TRUE(readAudioFile(path, &decoded, &error)) << error;
    return decoded;
}

double seconds(const DecodedAudio& d) {
    return d.samples.empty() || d.sampleRate == 0
               ? 0.0
               : static_cast<double>(d.samples[0].size()) / d.sampleRate;
}

// The 1 kHz level of the recording, as the median over 100 ms windows (robust against the
// player's dropouts on a loaded machine), and the share of windows that hold the tone.
double toneLevel(const DecodedAudio& d, double* shareWithTone = nullptr,
                 double* offLevel = nullptr) {
    if (d.samples.empty() || d.sampleRate == 0)
        return 0;
    const auto& s = d.samples[0];
    const std::size_t window = d.sampleRate / 10;
    std::vector<double> levels;
    for (std::size_t at = 0; at + window <= s.size(); at += window)
        levels.push_back(testing::toneAmplitude(s, d.sampleRate, 1000.0, at, window));
    if (levels.empty())
        return 0;
    if (shareWithTone != nullptr)
        *shareWithTone = static_cast<double>(std::count_if(levels.begin(), levels.end(),
                                                           [](double l) { return l > 0.4; })) /
                         static_cast<double>(levels.size());
    if (offLevel != nullptr)
        *offLevel = testing::toneAmplitude(s, d.sampleRate, 1700.0);
    std::nth_element(levels.begin(), levels.begin() + levels.size() / 2, levels.end());
    return levels[levels.size() / 2];
}

std::uint64_t statValue(const std::string& out, const std::string& key) {
    const std::regex pattern("\\b" + key + "=([0-9]+)");
    std::smatch m;
    if (!std::regex_search(out, m, pattern))
        return 0;
    return std::stoull(m[1]);
}

double statSeconds(const std::string& out, const std::string& key) {
    const std::regex pattern("\\b" + key + "=([0-9]+(\\.[0-9]+)?)");
    std::smatch m;
    if (!std::regex_search(out, m, pattern))
        return 0;
    return std::stod(m[1]);
}

std::size_t frameFiles(const std::string& folder) {
    std::size_t n = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder + "/vid1", ec))
        n += e.path().extension() == ".jpg";
    return n;
}

TEST(RecorderAudio, AudioOnlyRecordsThePlayedTone) {
    if (!haveSound())
        GTEST_SKIP() << "no sound server (run through scripts/test)";
    Folder dir;
    TonePlayer tone(dir.path, 12);
    ASSERT_TRUE(tone.playing());
    ChildProcess rec({kRecorder, "--audio-only", "--seconds", "3", "--dir", dir.path, "--stats"});
    ASSERT_TRUE(rec.wait(30)) << "the recorder hung";
    EXPECT_EQ(rec.exitStatus(), 0) << rec.standardError();
    const DecodedAudio audio = decode(dir.path + "/test.wma");
    EXPECT_EQ(audio.audioStreamCount, 1u);
    EXPECT_EQ(audio.codecName, "wmav2");
    // Stopped at 3 s: a stop ends the worker's wait within a few milliseconds, and the last
    // WMA block (2048 samples) rounds the length up by at most 47 ms. A busy machine may give
    // the recorder's main thread the stop a little late.
    EXPECT_GE(seconds(audio), 3.0 - 0.1);
    EXPECT_LE(seconds(audio), 3.0 + 0.25);
    double share = 0, off = 1;
    EXPECT_NEAR(toneLevel(audio, &share, &off), 0.5, 0.05);
    EXPECT_GT(share, 0.6) << "the tone is missing from much of the file";
    EXPECT_LT(off, 0.02);
    EXPECT_FALSE(fs::exists(dir.path + "/vid1")) << "no screen recording";
}

TEST(RecorderAudio, InterruptEndsAudioOnlyWithAFinishedFile) {
    if (!haveSound())
        GTEST_SKIP() << "no sound server (run through scripts/test)";
    Folder dir;
    TonePlayer tone(dir.path, 12);
    ChildProcess rec({kRecorder, "--audio-only", "--dir", dir.path, "--stats"});
    pause(2.5);
    rec.signal(SIGINT);
    ASSERT_TRUE(rec.wait(30)) << "the recorder did not stop on SIGINT";
    EXPECT_EQ(rec.exitStatus(), 0) << rec.standardError();
    const DecodedAudio audio = decode(dir.path + "/test.wma");
    EXPECT_EQ(audio.audioStreamCount, 1u);
    EXPECT_GT(seconds(audio), 1.0);
    EXPECT_LT(seconds(audio), 3.5);
    EXPECT_NEAR(toneLevel(audio), 0.5, 0.05);
}

TEST(RecorderAudio, MixerAndScreenTogetherStayInStep) {
    if (!haveSound() || !haveDisplay())
        GTEST_SKIP() << "needs the display and sound server";
    Folder dir;
    TonePlayer tone(dir.path, 12);
    // Mode 2 keeps the numbers on the time grid even on a busy machine (mode 3 jumps ahead).
    ChildProcess rec({kRecorder, "--audio", "mixer", "--mode", "2", "--seconds", "3", "--dir",
                      dir.path, "--stats"});
    ASSERT_TRUE(rec.wait(40)) << "the recorder hung";
    ASSERT_EQ(rec.exitStatus(), 0) << rec.standardError();
    const std::string out = rec.standardOutput();
    const std::uint64_t lastFrame = statValue(out, "last");
    ASSERT_GT(lastFrame, 50u) << out;
    EXPECT_EQ(frameFiles(dir.path), statValue(out, "files"));
    const DecodedAudio audio = decode(dir.path + "/test.wma");
    const double framesSpan = lastFrame * 0.040;
    // The sound runs from the screen worker's start to the stop, the frames to the last slot:
    // within a frame period, plus the last WMA block. On a busy machine the stop may be seen
    // after the last slot that was taken (its number left free); the sound then rightly runs on
    // to the stop, which the screen worker's own length (ending after its last files) bounds.
    const double recorded = std::max(framesSpan, statSeconds(out, "seconds"));
    EXPECT_GE(seconds(audio), framesSpan - (0.040 + 0.05)) << out;
    EXPECT_LE(seconds(audio), recorded + 0.040 + 0.05) << out;
    double share = 0;
    EXPECT_NEAR(toneLevel(audio, &share), 0.5, 0.05);
    EXPECT_GT(share, 0.6);
}

TEST(RecorderAudio, MicrophoneRecordsTheDefaultSource) {
    // The test server's default source is the null sink's monitor, so the tone reaches it.
    if (!haveSound() || !haveDisplay())
        GTEST_SKIP() << "needs the display and sound server";
    Folder dir;
    TonePlayer tone(dir.path, 12);
    ChildProcess rec({kRecorder, "--audio", "mic", "--seconds", "2", "--dir", dir.path});
    ASSERT_TRUE(rec.wait(40)) << "the recorder hung";
    ASSERT_EQ(rec.exitStatus(), 0) << rec.standardError();
    const DecodedAudio audio = decode(dir.path + "/test.wma");
    EXPECT_GE(seconds(audio), 1.9);
    EXPECT_NEAR(toneLevel(audio), 0.5, 0.05);
}

TEST(RecorderAudio, CodecListingPrintsOneListLinePerLine) {
    if (onPipeWire())
        GTEST_SKIP() << "does not use the shared sound server";
    ChildProcess basic({kRecorder, "--list-codecs", "1"});
    ASSERT_TRUE(basic.wait(60));
    EXPECT_EQ(basic.exitStatus(), 0) << basic.standardError();
    const std::string out = basic.standardOutput();
    // "Number of audio codecs: 2\n\n" is one list line: its own two line breaks, then the
    // line's end.
    EXPECT_EQ(out.rfind("Number of audio codecs: 2\n\n\n0 Windows Media Audio 2\n\n\tFound ", 0),
              0u)
        << out.substr(0, 200);
    EXPECT_EQ(out.find("System Codecs"), std::string::npos);
    EXPECT_EQ(out.find("video codecs"), std::string::npos);
    EXPECT_EQ(out.find("Major Type"), std::string::npos);

    ChildProcess full({kRecorder, "--list-codecs"});
    ASSERT_TRUE(full.wait(60));
    EXPECT_EQ(full.exitStatus(), 0);
    const std::string all = full.standardOutput();
    EXPECT_EQ(all.rfind("System Codecs\nNumber of audio codecs: 2\n", 0), 0u);
    EXPECT_NE(all.find("nMinor Type:  {00000161-0000-0010-8000-00AA00389B71}\n"),
              std::string::npos);
    EXPECT_NE(all.find("\n\nNumber of video codecs: "), std::string::npos);
}

TEST(RecorderAudio, NoSoundServerFailsFastWithErrorMinusOne) {
    if (onPipeWire())
        GTEST_SKIP() << "does not use the shared sound server";
    Folder dir;
    ChildProcess rec({kRecorder, "--audio-only", "--seconds", "2", "--dir", dir.path},
                     {{"PULSE_SERVER", "unix:" + dir.path + "/no-such-socket"}});
    ASSERT_TRUE(rec.wait(20)) << "the recorder hung without a sound server";
    EXPECT_NE(rec.exitStatus(), 0);
    EXPECT_NE(rec.standardError().find(kError1), std::string::npos) << rec.standardError();
    EXPECT_FALSE(fs::exists(dir.path + "/test.wma")) << "nothing is written";
}

TEST(RecorderAudio, NoSoundServerKeepsTheScreenRecording) {
    if (onPipeWire())
        GTEST_SKIP() << "does not use the shared sound server";
    if (!haveDisplay())
        GTEST_SKIP() << "needs the display";
    Folder dir;
    ChildProcess rec(
        {kRecorder, "--audio", "mixer", "--seconds", "2", "--dir", dir.path, "--stats"},
        {{"PULSE_SERVER", "unix:" + dir.path + "/no-such-socket"}});
    ASSERT_TRUE(rec.wait(30)) << "the recorder hung";
    EXPECT_NE(rec.exitStatus(), 0);
    EXPECT_NE(rec.standardError().find(kError1), std::string::npos) << rec.standardError();
    const std::string out = rec.standardOutput();
    // The screen ran its full 2 s: 50 slots at 25 per second.
    EXPECT_GE(statValue(out, "last"), 45u) << out;
    EXPECT_EQ(frameFiles(dir.path), statValue(out, "files"));
    EXPECT_EQ(statValue(out, "failed"), 0u);
}

// A sound server of this test only, so that it can be stopped in the middle of a recording.
class PrivateSoundServer {
  public:
    explicit PrivateSoundServer(const std::string& folder) {
        runtime_ = folder + "/pulse-runtime";
        fs::create_directories(runtime_ + "/pulse");
        fs::permissions(runtime_, fs::perms::owner_all);
        env_ = {{"XDG_RUNTIME_DIR", runtime_},
                {"PULSE_RUNTIME_PATH", runtime_ + "/pulse"},
                {"PULSE_STATE_PATH", runtime_ + "/state"},
                {"PULSE_SERVER", "unix:" + runtime_ + "/pulse/native"}};
        server_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n",
                                     "--load=module-native-protocol-unix socket=" + runtime_ +
                                         "/pulse/native auth-anonymous=1",
                                     "--load=module-null-sink sink_name=private_null",
                                     "--load=module-always-sink"},
            env_);
        for (int i = 0; i < 100; ++i) {
            if (testing::runCommand({"pactl", "info"}, env_) == 0) {
                testing::runCommand({"pactl", "set-default-sink", "private_null"}, env_);
                testing::runCommand({"pactl", "set-default-source", "private_null.monitor"}, env_);
                ready_ = true;
                return;
            }
            pause(0.1);
        }
    }
    bool ready() const { return ready_; }
    const std::map<std::string, std::string>& env() const { return env_; }
    void stop() {
        server_->signal(SIGKILL);
        server_->wait(10);
    }

  private:
    std::string runtime_;
    std::map<std::string, std::string> env_;
    std::unique_ptr<ChildProcess> server_;
    bool ready_ = false;
};

TEST(RecorderAudio, ServerStoppedDuringTheRecordingEndsWithTheLoopError) {
    if (onPipeWire())
        GTEST_SKIP() << "does not use the shared sound server";
    Folder dir;
    PrivateSoundServer server(dir.path);
    if (!server.ready())
        GTEST_SKIP() << "cannot start a private PulseAudio server";
    TonePlayer tone(dir.path, 20, server.env());
    ChildProcess rec({kRecorder, "--audio-only", "--dir", dir.path}, server.env());
    pause(2.5);
    server.stop();
    ASSERT_TRUE(rec.wait(20)) << "the recorder hung after the server went away";
    EXPECT_NE(rec.exitStatus(), 0);
    // Where the loop notices depends on the moment: the packet-size query after the wait
    // gives error -9; the query inside the packet loop leaves silently through the common exit,
    // which the command line then reports.
    const std::string err = rec.standardError();
    EXPECT_TRUE(err.find(kError9) != std::string::npos ||
                err.find(kEndedEarly) != std::string::npos)
        << err;
    // The file is finished and holds what was recorded up to then.
    const DecodedAudio audio = decode(dir.path + "/test.wma");
    EXPECT_EQ(audio.audioStreamCount, 1u);
    EXPECT_GT(seconds(audio), 0.5);
    EXPECT_LT(seconds(audio), 3.5);
    EXPECT_NEAR(toneLevel(audio), 0.5, 0.05);
}

// The median over 100 ms windows of the level of `hz` in the first channel.
double medianToneLevel(const DecodedAudio& d, double hz) {
    if (d.samples.empty() || d.sampleRate == 0)
        return 0;
    const auto& s = d.samples[0];
    const std::size_t window = d.sampleRate / 10;
    std::vector<double> levels;
    for (std::size_t at = 0; at + window <= s.size(); at += window)
        levels.push_back(testing::toneAmplitude(s, d.sampleRate, hz, at, window));
    if (levels.empty())
        return 0;
    std::nth_element(levels.begin(), levels.begin() + levels.size() / 2, levels.end());
    return levels[levels.size() / 2];
}

// Both sources at once: what the machine plays (a 1 kHz tone into the default sink) and the
// microphone (here a second null sink whose monitor is the default source, playing 440 Hz),
// mixed into the one file for the whole recording, each at its own level.
TEST(RecorderAudio, BothSourcesAreMixedIntoOneFile) {
    if (onPipeWire())
        GTEST_SKIP() << "uses a sound server of its own";
    Folder dir;
    PrivateSoundServer server(dir.path);
    if (!server.ready())
        GTEST_SKIP() << "cannot start a private PulseAudio server";
    ASSERT_EQ(
        testing::runCommand({"pactl", "load-module", "module-null-sink", "sink_name=private_mic"},
                            server.env()),
        0);
    ASSERT_EQ(
        testing::runCommand({"pactl", "set-default-source", "private_mic.monitor"}, server.env()),
        0);
    const std::string played = dir.path + "/played.wav";
    const std::string spoken = dir.path + "/spoken.wav";
    ASSERT_TRUE(testing::writeSineWav(played, 1000.0, 0.5, 14, 48000));
    ASSERT_TRUE(testing::writeSineWav(spoken, 440.0, 0.25, 14, 48000));
    ChildProcess output({"paplay", "--latency-msec=100", played}, server.env());
    ChildProcess microphone({"paplay", "--latency-msec=100", "--device=private_mic", spoken},
                            server.env());
    // The null sinks render far ahead while idle; low-latency players reach real time after a
    // while.
    pause(3.5);
    ChildProcess rec({kRecorder, "--audio-only", "--audio", "both", "--seconds", "3", "--dir",
                      dir.path, "--stats"},
                     server.env());
    ASSERT_TRUE(rec.wait(30)) << "the recorder hung";
    EXPECT_EQ(rec.exitStatus(), 0) << rec.standardError();
    const DecodedAudio audio = decode(dir.path + "/test.wma");
    EXPECT_EQ(audio.audioStreamCount, 1u);
    EXPECT_NEAR(seconds(audio), 3.0, 0.2);
    EXPECT_NEAR(medianToneLevel(audio, 1000.0), 0.5, 0.06);
    EXPECT_NEAR(medianToneLevel(audio, 440.0), 0.25, 0.05);
}

// The X server ends in the middle of a recording of screen and sound: the recorder says so,
// stops like the stop command and exits with status 1; the frames written stay and test.wma
// is finished up to that moment.
TEST(RecorderAudio, DisplayServerEndingStopsTheRecordingWithFinishedFiles) {
    if (!haveSound())
        GTEST_SKIP() << "no sound server (run through scripts/test)";
    capture_test::PrivateXvfb display;
    ASSERT_TRUE(display.ready()) << "could not start a private Xvfb";
    Folder dir;
    TonePlayer tone(dir.path, 12);
    ChildProcess rec(
        {kRecorder, "--audio", "mixer", "--area", "0,0,320,240", "--dir", dir.path, "--stats"},
        {{"DISPLAY", display.name()}});
    // On a busy machine the recorder takes a while to start: the display goes away 1.5 s after
    // the first frames are written.
    for (int i = 0; i < 400 && frameFiles(dir.path) < 3; ++i)
        pause(0.05);
    pause(1.5);
    display.kill();
    ASSERT_TRUE(rec.wait(20)) << "the recorder hung after the display went away";
    EXPECT_EQ(rec.exitStatus(), 1) << rec.standardError();
    EXPECT_NE(rec.standardError().find("the connection to the X display was lost"),
              std::string::npos)
        << rec.standardError();
    EXPECT_GT(frameFiles(dir.path), 10u);
    const DecodedAudio audio = decode(dir.path + "/test.wma");
    EXPECT_EQ(audio.audioStreamCount, 1u);
    EXPECT_GT(seconds(audio), 1.0);
    EXPECT_LT(seconds(audio), 3.0);
    EXPECT_NEAR(toneLevel(audio), 0.5, 0.05);
}

// Whether a frame file is whole: a JPEG that decodes, or a BMP of the size its header gives.
::testing::AssertionResult wholeFrame(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (file.extension() == ".bmp") {
        if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M')
            return ::testing::AssertionFailure() << file << " has no BMP header";
        std::uint32_t size = 0;
        for (int i = 3; i >= 0; --i)
            size = size << 8 | static_cast<unsigned char>(bytes[2 + i]);
        if (size != bytes.size())
            return ::testing::AssertionFailure()
                   << file << " holds " << bytes.size() << " of " << size << " bytes";
        return ::testing::AssertionSuccess();
    }
    tjhandle h = tjInitDecompress();
    int w = 0, ht = 0, sub = 0, cs = 0;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    bool ok = tjDecompressHeader3(h, data, bytes.size(), &w, &ht, &sub, &cs) == 0;
    std::vector<unsigned char> rgb(static_cast<std::size_t>(std::max(w, 0)) * std::max(ht, 0) * 3);
    ok = ok && tjDecompress2(h, data, bytes.size(), rgb.data(), w, 0, ht, TJPF_RGB, 0) == 0 &&
         tjGetErrorCode(h) != TJERR_WARNING;
    tjDestroy(h);
    return ok ? ::testing::AssertionSuccess()
              : ::testing::AssertionFailure() << file << " does not decode";
}

// A recording of the screen and the sound killed at several moments, the first within its
// first second: every frame file it left is whole, and test.wma plays up to at most half a
// second before the kill (the recording's zero taken from the first frame's time).
TEST(RecorderAudio, KilledRecordingLeavesWholeFramesAndItsSound) {
    if (!haveSound() || !haveDisplay())
        GTEST_SKIP() << "needs the display and sound server";
    Folder scratch;
    TonePlayer tone(scratch.path, 40);
    ASSERT_TRUE(tone.playing());
    const struct {
        const char* format;
        double killAfter;
    } trials[] = {{"jpg", 0.5}, {"jpg", 1.4}, {"jpg", 2.9}, {"bmp", 0.9}, {"bmp", 2.2}};
    for (const auto& trial : trials) {
        SCOPED_TRACE(std::string(trial.format) + " killed after " +
                     std::to_string(trial.killAfter) + " s");
        Folder dir;
        ChildProcess rec({kRecorder, "--audio", "mixer", "--format", trial.format, "--area",
                          "0,0,640,480", "--dir", dir.path});
        pause(trial.killAfter);
        const auto killedAt = std::chrono::system_clock::now();
        rec.signal(SIGKILL);
        ASSERT_FALSE(rec.wait(10) && rec.exitStatus() >= 0) << "it was not killed";

        // The earliest frame on the disk tells when the slots began: frame n is n periods in.
        double zero = 0;
        std::size_t frames = 0;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dir.path + "/vid1", ec)) {
            const std::string name = e.path().filename().string();
            if (name[0] == '.')
                continue;  // a frame it was writing when it was killed, under its temporary name
            ++frames;
            EXPECT_TRUE(wholeFrame(e.path()));
            struct stat info {};
            ASSERT_EQ(::stat(e.path().c_str(), &info), 0);
            const double written = static_cast<double>(info.st_mtim.tv_sec) +
                                   static_cast<double>(info.st_mtim.tv_nsec) / 1e9;
            const double start = written - 0.04 * std::stod(name.substr(0, name.find('.')));
            zero = zero == 0 ? start : std::min(zero, start);
        }
        const std::string wma = dir.path + "/test.wma";
        if (!fs::exists(wma)) {
            EXPECT_EQ(frames, 0u) << "the frames began, the sound file is missing";
            continue;
        }
        const DecodedAudio audio = decode(wma);
        if (frames == 0)
            continue;  // killed before the recording's zero: a file without sound is right
        const double killed =
            std::chrono::duration<double>(killedAt.time_since_epoch()).count() - zero;
        EXPECT_GE(seconds(audio), killed - 0.5) << "killed " << killed << " s into the recording";
        EXPECT_LE(seconds(audio), killed + 0.1);
    }
}

// A small disk fills up during a recording with sound: the recording is stopped while there is
// room to finish test.wma, with the reason and exit status 5; the sound file is complete (its
// header states its length) and the frames are whole.
TEST(RecorderAudio, DiskFillingUpStopsWithAFinishedSoundFile) {
    if (!haveSound() || !haveDisplay())
        GTEST_SKIP() << "needs the display and sound server";
    Folder scratch;
    TonePlayer tone(scratch.path, 30);
    // 160 x 120 BMP frames at 25 a second: about 115 MB a minute, 2 MB a second.
    const std::string folder = scratch.path + "/disk";
    marrowdale_test::SmallMount disk(folder, "size=124m");
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small file system here (needs the superuser)";
    ChildProcess rec({kRecorder, "--audio", "mixer", "--format", "bmp", "--area", "0,0,160,120",
                      "--seconds", "30", "--dir", folder, "--stats"});
    ASSERT_TRUE(rec.wait(25)) << "the recording was not stopped";
    EXPECT_EQ(rec.exitStatus(), 5) << rec.standardError();
    EXPECT_NE(rec.standardError().find("The disk is nearly full"), std::string::npos)
        << rec.standardError();
    const DecodedAudio audio = decode(folder + "/test.wma");
    EXPECT_GT(seconds(audio), 2.0);
    EXPECT_LT(seconds(audio), 15.0);
    EXPECT_NEAR(audio.containerDurationSeconds, seconds(audio), 0.1) << "not finished";
    std::size_t frames = 0;
    for (const auto& e : fs::directory_iterator(folder + "/vid1")) {
        ++frames;
        EXPECT_TRUE(wholeFrame(e.path()));
    }
    EXPECT_GT(frames, 40u);
    // The space the recording's files take, in whole megabytes: the frames and the sound.
    const std::uint64_t frameMb = frames * (54 + 160 * 120 * 4) / (1024 * 1024);
    EXPECT_GE(statValue(rec.standardOutput(), "disk_used_mb"), frameMb) << rec.standardOutput();
    EXPECT_LE(statValue(rec.standardOutput(), "disk_used_mb"), frameMb + 2) << rec.standardOutput();
}

}  // namespace
}  // namespace marrowdale
