#include "audio/codec_listing.h"

#include <gtest/gtest.h>

#include "platform/fakes/fake_media_format.h"

namespace marrowdale {
namespace {

using Lines = std::vector<std::string>;

CodecFormatEntry videoFormat() {
    CodecFormatEntry e;
    e.description = "250 kbps, 320x240, 15 fps";
    e.bitrate = 250000;
    e.bufferWindowMs = 5000;
    e.streamName = "Video";
    e.connectionName = "v1";
    e.mediaType.majorType = kMediaTypeVideo;
    e.mediaType.subtype = mediaSubtypeFromTag(fourCc('W', 'M', 'V', '2'));
    e.mediaType.fixedSizeSamples = false;
    e.mediaType.temporalCompression = true;
    e.mediaType.formatType = kFormatTypeVideoInfo;
    e.mediaType.format.assign(88, 0);  // 88 + 88 = 176 bytes: fits 180
    return e;
}

CodecCatalogue smallCatalogue() {
    CodecCatalogue c;
    CodecFormatEntry second = fakeWaveFormat(kWaveFormatWmaV2, 44100, 1, 64000);
    second.streamName = "S";
    second.connectionName = "C";
    c.audio.push_back(
        CodecEntry{"WMA", "", {fakeWaveFormat(kWaveFormatWmaV2, 48000, 2, 192000), second}});
    c.audio.push_back(
        CodecEntry{"WMA v1", "", {fakeWaveFormat(kWaveFormatWmaV1, 22050, 1, 20000)}});
    c.video.push_back(CodecEntry{"WMV", "", {videoFormat()}});
    return c;
}

const std::string kAudioGuid = "{73647561-0000-0010-8000-00AA00389B71}";

Lines waveDetails(const std::string& subtype, unsigned rate, unsigned avg, unsigned tag) {
    return {"Major Type:  " + kAudioGuid + "\n",
            "nMinor Type:  " + subtype + "\n",
            "Fixed Size Samples:  Yes\n",
            "nSample Size: 1485\n",
            "WaveFormatEx:\n",
            "Samples per Second:   " + std::to_string(rate) + "\n",
            "Average bytes per Second:  " + std::to_string(avg) + "\n",
            "Block Align:  1485\n",
            "Bits per Sample:  16\n",
            "nFormat Tag:  " + std::to_string(tag) + "\n"};
}

Lines concat(std::initializer_list<Lines> parts) {
    Lines out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Lines kAudioPart0{
    "Number of audio codecs: 2\n\n", "0 WMA\n", "\tFound 2 formats\n",
    "\t1 Stream , Conn , bps 192000, bufWin 3000\n192 kbps, 48 kHz, stereo CBR\n"};
const Lines kAudioFormat2{
    "\t2 Stream S, Conn C, bps 64000, bufWin 3000\n64 kbps, 44 kHz, mono CBR\n"};
const Lines kAudioCodec1{"1 WMA v1\n", "\tFound 1 formats\n",
                         "\t1 Stream , Conn , bps 20000, bufWin 3000\n20 kbps, 22 kHz, mono CBR\n"};
const Lines kVideoPart{
    "\n\nNumber of video codecs: 1.\n\n", "0 WMV\n", "\tFound 1 formats\n",
    "\t1 Stream Video, Conn v1, bps 250000, bufWin 5000\n250 kbps, 320x240, 15 fps\n"};
const Lines kVideoDetails{"Major Type:  {73646976-0000-0010-8000-00AA00389B71}\n",
                          "nMinor Type:  {32564D57-0000-0010-8000-00AA00389B71}\n",
                          "Fixed Size Samples:  No\n", "nSample Size: 0\n"};

TEST(CodecListing, AudioBasicInfo) {
    FakeMediaFormatService service(smallCatalogue());
    EXPECT_EQ(listCodecs(service, kCodecDetailAudio, false),
              concat({kAudioPart0, kAudioFormat2, kAudioCodec1}));
    // Nothing about video was asked.
    for (const auto& call : service.codecInfo->calls)
        EXPECT_EQ(call.find(" v/"), std::string::npos);
}

TEST(CodecListing, AudioAndVideoBasicInfo) {
    FakeMediaFormatService service(smallCatalogue());
    EXPECT_EQ(listCodecs(service, kCodecDetailAudioVideo, false),
              concat({kAudioPart0, kAudioFormat2, kAudioCodec1, kVideoPart}));
}

TEST(CodecListing, FirstListingWithAllDetails) {
    FakeMediaFormatService service(smallCatalogue());
    const std::string wma2 = "{00000161-0000-0010-8000-00AA00389B71}";
    const std::string wma1 = "{00000160-0000-0010-8000-00AA00389B71}";
    const Lines expected = concat({{"System Codecs"},
                                   kAudioPart0,
                                   waveDetails(wma2, 48000, 24000, 353),
                                   kAudioFormat2,
                                   waveDetails(wma2, 44100, 8000, 353),
                                   {kAudioCodec1[0], kAudioCodec1[1], kAudioCodec1[2]},
                                   waveDetails(wma1, 22050, 2500, 352),
                                   kVideoPart,
                                   kVideoDetails});
    EXPECT_EQ(listCodecs(service, kCodecDetailFull, true), expected);
}

TEST(CodecListing, OnlyTheFirstListingHasTheTitle) {
    FakeMediaFormatService service(smallCatalogue());
    EXPECT_EQ(listCodecs(service, kCodecDetailAudio, true).front(), "System Codecs");
    EXPECT_EQ(listCodecs(service, kCodecDetailAudio, false).front(), kAudioPart0.front());
}

struct StopCase {
    const char* name;
    int level;
    std::string call;
    bool video;
    std::uint32_t codec;
    Lines expected;
};

class ListingStops : public ::testing::TestWithParam<StopCase> {};

TEST_P(ListingStops, CouldNotLineEndsTheListing) {
    const auto& c = GetParam();
    FakeMediaFormatService service(smallCatalogue());
    const StopCase param = c;
    service.codecInfo->fail = [param](const std::string& call, const Guid& type,
                                      std::uint32_t codec, std::uint32_t) {
        return call == param.call && (type == kMediaTypeVideo) == param.video &&
                       codec == param.codec
                   ? E_FAIL
                   : S_OK;
    };
    EXPECT_EQ(listCodecs(service, c.level, false), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ListingStops,
    ::testing::Values(
        StopCase{
            "audio_count", 4, "count", false, 0, {"Could not get the count of audio codecs.\n"}},
        StopCase{
            "name_size", 1, "nameSize", false, 1,
            concat({kAudioPart0, kAudioFormat2, {"Could not get the size of the codec name.\n"}})},
        StopCase{"name",
                 1,
                 "name",
                 false,
                 0,
                 {"Number of audio codecs: 2\n\n", "Could not get the codec name.\n"}},
        StopCase{"video_count", 3, "count", true, 0,
                 concat({kAudioPart0,
                         kAudioFormat2,
                         kAudioCodec1,
                         {"Could not get the count of video codecs.\n"}})},
        StopCase{"video_count_not_asked_at_level_1", 1, "count", true, 0,
                 concat({kAudioPart0, kAudioFormat2, kAudioCodec1})},
        StopCase{"video_name", 3, "name", true, 0,
                 concat({kAudioPart0,
                         kAudioFormat2,
                         kAudioCodec1,
                         {kVideoPart[0], "Could not get the codec name.\n"}})}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(CodecListing, FailedFormatCountShowsZeroFormats) {
    FakeMediaFormatService service(smallCatalogue());
    service.codecInfo->fail = [](const std::string& call, const Guid&, std::uint32_t codec,
                                 std::uint32_t) {
        return call == "formatCount" && codec == 0 ? E_FAIL : S_OK;
    };
    EXPECT_EQ(listCodecs(service, kCodecDetailAudio, false),
              concat({{"Number of audio codecs: 2\n\n", "0 WMA\n", "\tFound 0 formats\n"},
                      kAudioCodec1}));
}

TEST(CodecListing, UnreadableValuesShowAsZeroAndEmpty) {
    FakeMediaFormatService service(smallCatalogue());
    FakeFormatFaults faults;
    faults.bitrate = E_FAIL;
    faults.names = E_FAIL;
    faults.bufferWindow = E_FAIL;
    service.codecInfo->formatFaults[{false, 0, 1}] = faults;
    const Lines lines = listCodecs(service, kCodecDetailAudio, false);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[4], "\t2 Stream , Conn , bps 0, bufWin 0\n64 kbps, 44 kHz, mono CBR\n");
}

TEST(CodecListing, MissingConfigurationIsNotUsed) {
    FakeMediaFormatService service(smallCatalogue());
    service.codecInfo->fail = [](const std::string& call, const Guid&, std::uint32_t codec,
                                 std::uint32_t format) {
        return call == "formatDesc" && codec == 0 && format == 0 ? E_FAIL : S_OK;
    };
    const Lines lines = listCodecs(service, kCodecDetailFull, false);
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[3], "\t1 Stream , Conn , bps 0, bufWin 0\n\n");
    EXPECT_EQ(lines[4], "Format 1 not available.\n");
    EXPECT_EQ(lines[5], kAudioFormat2[0]);
}

TEST(CodecListing, DetailsOnlyFromACompleteMediaType) {
    CodecCatalogue catalogue;
    CodecFormatEntry big = fakeWaveFormat(kWaveFormatWmaV2, 48000, 2, 128000);
    big.mediaType.format.resize(100);  // 88 + 100 = 188 bytes: larger than 180
    CodecFormatEntry edge = fakeWaveFormat(kWaveFormatWmaV2, 48000, 2, 96000);
    edge.mediaType.format.resize(92);  // 180 bytes exactly: fits
    catalogue.audio.push_back(CodecEntry{"WMA", "", {big, edge}});
    FakeMediaFormatService service(catalogue);
    const Lines lines = listCodecs(service, kCodecDetailFull, false);
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[4], "Media type of 188 bytes not shown: larger than 180 bytes.\n");
    EXPECT_EQ(lines[5].rfind("\t2 Stream", 0), 0u);
    EXPECT_EQ(lines[6], "Major Type:  " + kAudioGuid + "\n");
    ASSERT_EQ(lines.size(), 6u + 10u + 1u);
    EXPECT_EQ(lines.back(), "\n\nNumber of video codecs: 0.\n\n");
}

TEST(CodecListing, ShortWaveBlockGetsNoWaveLines) {
    CodecCatalogue catalogue;
    catalogue.audio.push_back(
        CodecEntry{"WMA", "", {fakeWaveFormat(kWaveFormatWmaV2, 48000, 2, 128000, 16, 10)}});
    FakeMediaFormatService service(catalogue);
    const Lines lines = listCodecs(service, kCodecDetailFull, false);
    ASSERT_EQ(lines.size(), 4u + 4u + 1u);
    EXPECT_EQ(lines[7], "nSample Size: 1485\n");
}

TEST(CodecListing, LongLinesAreCutAt499Characters) {
    CodecCatalogue catalogue;
    catalogue.audio.push_back(CodecEntry{std::string(600, 'x'), "", {}});
    catalogue.audio.push_back(CodecEntry{std::string(300, '\xC3'), "", {}});
    // The second name is not valid UTF-8 on purpose; use a valid two-byte letter instead.
    std::string umlauts;
    for (int i = 0; i < 600; ++i)
        umlauts += "\xC3\xA4";
    catalogue.audio[1].name = umlauts;
    FakeMediaFormatService service(catalogue);
    const Lines lines = listCodecs(service, kCodecDetailAudio, false);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], "0 " + std::string(497, 'x'));
    EXPECT_EQ(lines[3].size(), 2u + 497u * 2u);
    EXPECT_EQ(lines[3].substr(lines[3].size() - 2), "\xC3\xA4");
}

TEST(CodecListing, ProfileManagerFailuresEndTheListing) {
    FakeMediaFormatService service(smallCatalogue());
    service.createProfileManagerResult = E_FAIL;
    EXPECT_EQ(listCodecs(service, kCodecDetailFull, true),
              (Lines{"System Codecs", "Could not create the profile manager.\n"}));
    FakeMediaFormatService second(smallCatalogue());
    second.queryCodecInfoResult = E_NOINTERFACE;
    EXPECT_EQ(listCodecs(second, kCodecDetailAudio, false),
              (Lines{"Could not get the codec information service.\n"}));
}

}  // namespace
}  // namespace marrowdale
