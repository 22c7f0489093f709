// The command line of marrowdale-record: every option, the conversions shared with the frame
// rate dialog, and hostile input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_options.h"

namespace marrowdale::cli {
namespace {

ParseResult parse(std::vector<std::string_view> args) {
    return parseCommandLine(args);
}

TEST(CommandLine, DefaultsRecordTheDefaultArea) {
    const ParseResult r = parse({});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.options.action, Action::kRecord);
    EXPECT_EQ(r.options.dir, ".");
    EXPECT_FALSE(r.options.seconds);
    EXPECT_FALSE(r.options.maxFrames);
    EXPECT_EQ(r.options.left, 100);
    EXPECT_EQ(r.options.top, 100);
    EXPECT_EQ(r.options.right, 800);
    EXPECT_EQ(r.options.bottom, 600);
    EXPECT_FALSE(r.options.framePeriod);
    EXPECT_FALSE(r.options.frameOption);
    EXPECT_FALSE(r.options.captureMode);
    EXPECT_EQ(r.options.imageFormat, ImageFormat::kJpeg);
    EXPECT_EQ(r.options.jpegQuality, 85);
    EXPECT_EQ(r.options.audio, AudioSource::kNone);
    EXPECT_FALSE(r.options.stats);
}

TEST(CommandLine, EveryRecordingOption) {
    const ParseResult r = parse(
        {"--dir", "/tmp/x", "--seconds", "1.5", "--max-frames", "300", "--area", "-10,20,1930,1100",
         "--period-ms", "80", "--frame-option", "12", "--mode", "2", "--format", "bmp", "--stats"});
    ASSERT_TRUE(r.ok) << r.error;
    const Options& o = r.options;
    EXPECT_EQ(o.dir, "/tmp/x");
    EXPECT_DOUBLE_EQ(*o.seconds, 1.5);
    EXPECT_EQ(*o.maxFrames, 300u);
    EXPECT_EQ(o.left, -10);
    EXPECT_EQ(o.top, 20);
    EXPECT_EQ(o.right, 1930);
    EXPECT_EQ(o.bottom, 1100);
    EXPECT_EQ(*o.framePeriod, 800000u);
    EXPECT_EQ(*o.frameOption, 12);
    EXPECT_EQ(*o.captureMode, CaptureMode::kSkipLateSlots);
    EXPECT_EQ(o.imageFormat, ImageFormat::kBmp);
    EXPECT_TRUE(o.stats);
}

TEST(CommandLine, ValuesAfterAnEqualsSign) {
    const ParseResult r = parse({"--mode=0", "--format=jpg", "--seconds=2", "--dir=a b"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(*r.options.captureMode, CaptureMode::kEverySlot);
    EXPECT_EQ(r.options.imageFormat, ImageFormat::kJpeg);
    EXPECT_DOUBLE_EQ(*r.options.seconds, 2.0);
    EXPECT_EQ(r.options.dir, "a b");
}

TEST(CommandLine, PeriodAndOptionUseTheDialogConversions) {
    const struct {
        const char* period;
        std::uint32_t framePeriod;
    } periods[] = {
        {"40", 400000}, {"5", 50000}, {"4", 400000}, {"0", 400000}, {"429496", 4294960000}};
    for (const auto& p : periods) {
        const ParseResult r = parse({"--period-ms", p.period});
        ASSERT_TRUE(r.ok) << p.period;
        EXPECT_EQ(*r.options.framePeriod, p.framePeriod) << p.period;
    }
    const struct {
        const char* text;
        std::uint8_t option;
    } options[] = {{"1", 1}, {"0", 1}, {"3", 3}, {"255", 255}, {"11", 11}};
    for (const auto& o : options) {
        const ParseResult r = parse({"--frame-option", o.text});
        ASSERT_TRUE(r.ok) << o.text;
        EXPECT_EQ(*r.options.frameOption, o.option) << o.text;
    }
}

// Where a dialog quietly makes something of any text, the command line refuses what is not a
// number in range: "-5" would have been a 429 s period, "-1" 255 grabs per slot.
TEST(CommandLine, MalformedOrOutOfRangeNumbersAreRefused) {
    const std::vector<std::vector<std::string_view>> bad = {{"--period-ms", ""},
                                                            {"--period-ms", "abc"},
                                                            {"--period-ms", "-5"},
                                                            {"--period-ms", "429497"},
                                                            {"--period-ms", "268435456"},
                                                            {"--period-ms", "40ms"},
                                                            {"--period-ms", " 40"},
                                                            {"--frame-option", "abc"},
                                                            {"--frame-option", "-1"},
                                                            {"--frame-option", "256"},
                                                            {"--frame-option", "300"},
                                                            {"--frame-option", "1.5"},
                                                            {"--max-frames", "-1"},
                                                            {"--max-frames", "4294967296"},
                                                            {"--area", "0,0,10"},
                                                            {"--area", "0,0,10,10,5"},
                                                            {"--area", "0,0,2147483648,10"},
                                                            {"--seconds", "-1"},
                                                            {"--seconds", "nan"},
                                                            {"--quality", "0"},
                                                            {"--list-codecs", "2"}};
    for (const auto& args : bad) {
        const ParseResult r = parseCommandLine(args);
        EXPECT_FALSE(r.ok) << args[0] << " " << args[1];
        EXPECT_NE(r.error.find(std::string(args[0])), std::string::npos) << r.error;
    }
}

TEST(CommandLine, QualityFromOneToAHundred) {
    for (const auto& [text, quality] :
         {std::pair<const char*, int>{"1", 1}, {"100", 100}, {"60", 60}, {"085", 85}}) {
        const ParseResult r = parse({"--quality", text});
        ASSERT_TRUE(r.ok) << text;
        EXPECT_EQ(r.options.jpegQuality, quality) << text;
    }
}

TEST(CommandLine, MaxFramesZeroMeansTheDefault) {
    const ParseResult r = parse({"--max-frames", "0"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(*r.options.maxFrames, 90000u);
}

TEST(CommandLine, OtherCommands) {
    ParseResult r = parse({"--fill", "/rec"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.options.action, Action::kFill);
    EXPECT_EQ(r.options.fillDir, "/rec");
    EXPECT_FALSE(r.options.fillOdd);
    r = parse({"--fill-odd", "/rec"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.options.action, Action::kFill);
    EXPECT_TRUE(r.options.fillOdd);
    r = parse({"--list-codecs"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.options.action, Action::kListCodecs);
    EXPECT_EQ(r.options.codecLevel, 4);
    r = parse({"--list-codecs", "1"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.options.codecLevel, 1);
    r = parse({"--list-codecs", "--stats"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.options.codecLevel, 4);
    EXPECT_TRUE(r.options.stats);
    r = parse({"--list-codecs=3"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.options.codecLevel, 3);
    r = parse({"--help", "--fill", "x"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.options.action, Action::kHelp);
    // --version prints and exits whatever else is asked; --help still wins over it.
    r = parse({"--fill", "x", "--version", "--stats"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.options.action, Action::kVersion);
    r = parse({"--version", "--help"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.options.action, Action::kHelp);
}

TEST(CommandLine, AudioOptions) {
    ParseResult r = parse({"--audio", "mixer"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.options.audio, AudioSource::kMixer);
    r = parse({"--audio", "mic"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.options.audio, AudioSource::kMicrophone);
    r = parse({"--audio=both", "--audio-only"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.options.audio, AudioSource::kBoth);
    EXPECT_FALSE(parse({"--audio", "Both"}).ok);
    r = parse({"--audio-only"});
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.options.audioOnly);
    // Audio alone takes its source from --audio; "none" contradicts it.
    r = parse({"--audio-only", "--audio", "mic"});
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.options.audioOnly);
    EXPECT_EQ(r.options.audio, AudioSource::kMicrophone);
    EXPECT_FALSE(parse({"--audio", "none", "--audio-only"}).ok);
}

TEST(CommandLine, ScreenBackend) {
    EXPECT_FALSE(parse({}).options.backend);
    EXPECT_EQ(parse({"--backend", "x11"}).options.backend, ScreenBackend::kX11);
    EXPECT_EQ(parse({"--backend=portal"}).options.backend, ScreenBackend::kPortal);
    // The last one counts, as for every other option.
    EXPECT_EQ(parse({"--backend", "portal", "--backend", "x11"}).options.backend,
              ScreenBackend::kX11);
}

TEST(CommandLine, ExportAndItsCompanions) {
    ParseResult r = parse({"--export", "out.mkv", "--from=/rec", "--video", "h264", "--period-ms",
                           "80", "--format", "bmp", "--quiet"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.action, Action::kExport);
    EXPECT_EQ(r.options.exportOut, "out.mkv");
    EXPECT_EQ(r.options.exportFrom, "/rec");
    EXPECT_TRUE(r.options.exportH264);
    EXPECT_EQ(r.options.framePeriod, 800000u);
    EXPECT_TRUE(r.options.imageFormatGiven);
    EXPECT_TRUE(r.options.quiet);
    r = parse({"--export", "out.mkv", "--video", "copy"});
    ASSERT_TRUE(r.ok);
    EXPECT_FALSE(r.options.exportH264);
    EXPECT_FALSE(r.options.exportFrom);
    EXPECT_FALSE(r.options.imageFormatGiven);
    EXPECT_EQ(parse({"--export", "o.mkv", "--version"}).options.action, Action::kVersion);

    for (const auto& bad :
         std::vector<std::vector<std::string_view>>{{"--export"},
                                                    {"--export", ""},
                                                    {"--export", "o.mkv", "--video", "vp9"},
                                                    {"--from", "/rec"},   // without --export
                                                    {"--video", "h264"},  // without --export
                                                    {"--export", "o.mkv", "--fill", "/rec/vid1"},
                                                    {"--export", "o.mkv", "--list-codecs"}}) {
        SCOPED_TRACE(bad.size() > 1 ? std::string(bad[1]) : std::string(bad[0]));
        const ParseResult failed = parse(bad);
        EXPECT_FALSE(failed.ok);
        EXPECT_FALSE(failed.error.empty());
    }
}

TEST(CommandLine, HostileInputIsRefused) {
    const std::vector<std::vector<std::string_view>> bad = {
        {"--mode", "1"},
        {"--mode", "33"},
        {"--mode"},
        {"--format", "png"},
        {"--quality", "0"},
        {"--quality", "101"},
        {"--quality", "-5"},
        {"--quality", "8.5"},
        {"--quality", ""},
        {"--quality"},
        {"--area", "1,2,3"},
        {"--area", "1,2,3,4,5"},
        {"--area", "a,b,c,d"},
        {"--area", "1,,3,4"},
        {"--area", "1,2,3,99999999999"},
        {"--seconds", "-1"},
        {"--seconds", "nan"},
        {"--seconds", "inf"},
        {"--seconds", "1s"},
        {"--seconds", "1e300"},
        {"--seconds", "1000000001"},
        {"--seconds", ""},
        {"--max-frames", "-5"},
        {"--max-frames", "4294967296"},
        {"--max-frames", "12abc"},
        {"--list-codecs", "2"},
        {"--list-codecs=x"},
        {"--audio", "speaker"},
        {"--backend", "wayland"},
        {"--backend", "X11"},
        {"--backend"},
        {"--dir"},
        {"--dir="},
        {"--fill"},
        {"--fill", "a", "--list-codecs"},
        {"--bogus"},
        {"record"},
    };
    for (const auto& args : bad) {
        const ParseResult r = parse(args);
        std::string joined;
        for (auto a : args)
            joined += std::string(a) + " ";
        EXPECT_FALSE(r.ok) << joined;
        EXPECT_FALSE(r.error.empty()) << joined;
    }
}

TEST(CommandLine, HelpListsEveryOption) {
    const std::string_view help = helpText();
    for (const char* option :
         {"--dir", "--seconds", "--max-frames", "--area", "--period-ms", "--frame-option", "--mode",
          "--format", "--quality", "--audio", "--audio-only", "--fill", "--fill-odd",
          "--list-codecs", "--stats", "--backend", "--help"}) {
        EXPECT_NE(help.find(option), std::string_view::npos) << option;
    }
    EXPECT_NE(help.find("--version"), std::string_view::npos);
}

}  // namespace
}  // namespace marrowdale::cli
