#include "audio/audio_profile.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/fakes/fake_media_format.h"

namespace marrowdale {
namespace {

WaveFormatEx wanted(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits = 16) {
    WaveFormatEx w;
    w.formatTag = kWaveFormatIeeeFloat;
    w.channels = channels;
    w.samplesPerSec = rate;
    w.bitsPerSample = bits;
    w.blockAlign = static_cast<std::uint16_t>(channels * 4);
    w.avgBytesPerSec = rate * w.blockAlign;
    return w;
}

CodecFormatEntry named(CodecFormatEntry e, const std::string& connection) {
    e.connectionName = connection;
    return e;
}

std::string connectionOf(StreamConfig& config) {
    std::string name;
    EXPECT_EQ(config.getConnectionName(&name, 90), S_OK);
    return name;
}

std::uint32_t bitrateOf(StreamConfig& config) {
    std::uint32_t bps = 0;
    EXPECT_EQ(config.getBitrate(&bps), S_OK);
    return bps;
}

// One WMA codec with the four formats of the example, 48 kHz stereo.
CodecCatalogue exampleCatalogue() {
    CodecCatalogue c;
    CodecEntry wma;
    wma.name = "WMA";
    wma.formats = {named(fakeWaveFormat(kWaveFormatWmaV2, 48000, 2, 128000), "a128"),
                   named(fakeWaveFormat(kWaveFormatWmaV2, 48000, 2, 192000), "first192"),
                   named(fakeWaveFormat(kWaveFormatWmaV2, 48000, 2, 192000), "second192"),
                   named(fakeWaveFormat(kWaveFormatWmaV2, 48000, 2, 320000), "a320")};
    c.audio.push_back(wma);
    return c;
}

TEST(FindAudioStreamConfig, HighestRateNotAboveTheBoundFirstListedWinsTies) {
    FakeMediaFormatService service(exampleCatalogue());
    std::unique_ptr<StreamConfig> config;
    bool found = false;
    ASSERT_EQ(findAudioStreamConfig(wanted(48000, 2), 300000, kSubtypeWmaV2, *service.codecInfo,
                                    &config, &found),
              S_OK);
    ASSERT_TRUE(config);
    EXPECT_TRUE(found);
    EXPECT_EQ(connectionOf(*config), "first192");
    EXPECT_EQ(bitrateOf(*config), 192000u);
}

struct MatchCase {
    const char* name;
    std::vector<CodecFormatEntry> formats;
    WaveFormatEx wanted;
    HResult result;
    const char* chosen;  // connection name of the chosen format
};

class FormatChoice : public ::testing::TestWithParam<MatchCase> {};

TEST_P(FormatChoice, FollowsTheRule) {
    const auto& c = GetParam();
    CodecCatalogue catalogue;
    catalogue.audio.push_back(CodecEntry{"WMA", "", c.formats});
    FakeMediaFormatService service(catalogue);
    std::unique_ptr<StreamConfig> config;
    EXPECT_EQ(findAudioStreamConfig(c.wanted, 300000, kSubtypeWmaV2, *service.codecInfo, &config),
              c.result);
    if (c.chosen != nullptr) {
        ASSERT_TRUE(config);
        EXPECT_EQ(connectionOf(*config), c.chosen);
    } else {
        EXPECT_FALSE(config);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rule, FormatChoice,
    ::testing::Values(
        MatchCase{"no_matching_channels",
                  {fakeWaveFormat(kWaveFormatWmaV2, 48000, 2, 128000),
                   fakeWaveFormat(kWaveFormatWmaV2, 48000, 2, 192000)},
                  wanted(48000, 1),
                  E_INVALIDARG,
                  nullptr},
        MatchCase{"no_matching_rate",
                  {fakeWaveFormat(kWaveFormatWmaV2, 48000, 2, 128000),
                   fakeWaveFormat(kWaveFormatWmaV2, 44100, 1, 128000)},
                  wanted(44100, 2),
                  E_INVALIDARG,
                  nullptr},
        MatchCase{"only_above_the_bound",
                  {fakeWaveFormat(kWaveFormatWmaV2, 48000, 2, 320000)},
                  wanted(48000, 2),
                  E_INVALIDARG,
                  nullptr},
        MatchCase{"bound_itself_is_allowed",
                  {named(fakeWaveFormat(kWaveFormatWmaV2, 48000, 2, 300000), "at"),
                   named(fakeWaveFormat(kWaveFormatWmaV2, 48000, 2, 300008), "above")},
                  wanted(48000, 2),
                  S_OK,
                  "at"},
        MatchCase{"bits_must_match",
                  {named(fakeWaveFormat(kWaveFormatWmaV2, 44100, 2, 192000, 24), "24"),
                   named(fakeWaveFormat(kWaveFormatWmaV2, 44100, 2, 128000), "16")},
                  wanted(44100, 2),
                  S_OK,
                  "16"},
        MatchCase{"mixed_list_picks_44k_stereo",
                  {named(fakeWaveFormat(kWaveFormatWmaV2, 48000, 2, 192000), "48s"),
                   named(fakeWaveFormat(kWaveFormatWmaV2, 44100, 1, 160000), "44m"),
                   named(fakeWaveFormat(kWaveFormatWmaV2, 44100, 2, 96000), "44s96"),
                   named(fakeWaveFormat(kWaveFormatWmaV2, 44100, 2, 128000), "44s128"),
                   named(fakeWaveFormat(kWaveFormatWmaV2, 44100, 2, 64000), "44s64")},
                  wanted(44100, 2),
                  S_OK,
                  "44s128"},
        MatchCase{"short_block_ends_the_search_after_a_match",
                  {named(fakeWaveFormat(kWaveFormatWmaV2, 48000, 2, 128000), "ok"),
                   fakeWaveFormat(kWaveFormatWmaV2, 48000, 2, 192000, 16, 17)},
                  wanted(48000, 2),
                  E_UNEXPECTED,
                  nullptr},
        MatchCase{"no_formats", {}, wanted(48000, 2), E_INVALIDARG, nullptr}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(FindAudioStreamConfig, NoFormatsMeansNoCodecChosen) {
    // A codec without formats has no format 0: it is skipped, so the subtype is not found.
    CodecCatalogue catalogue;
    catalogue.audio.push_back(CodecEntry{"empty", "", {}});
    FakeMediaFormatService service(catalogue);
    std::unique_ptr<StreamConfig> config;
    bool found = true;
    EXPECT_EQ(findAudioStreamConfig(wanted(48000, 2), 300000, kSubtypeWmaV2, *service.codecInfo,
                                    &config, &found),
              E_INVALIDARG);
    EXPECT_FALSE(found);
}

TEST(FindAudioStreamConfig, ZeroFormatCountOfTheChosenCodecIsInvalidArg) {
    FakeMediaFormatService service(exampleCatalogue());
    service.codecInfo->formatCountOverride[{false, 0}] = 0;
    std::unique_ptr<StreamConfig> config;
    EXPECT_EQ(
        findAudioStreamConfig(wanted(48000, 2), 300000, kSubtypeWmaV2, *service.codecInfo, &config),
        E_INVALIDARG);
    EXPECT_FALSE(config);
}

TEST(FindAudioStreamConfig, LaterCodecWithTheSameSubtypeIsNotTried) {
    CodecCatalogue catalogue;
    catalogue.audio.push_back(
        CodecEntry{"first", "", {fakeWaveFormat(kWaveFormatWmaV2, 44100, 2, 128000)}});
    catalogue.audio.push_back(
        CodecEntry{"second", "", {fakeWaveFormat(kWaveFormatWmaV2, 48000, 2, 128000)}});
    FakeMediaFormatService service(catalogue);
    std::unique_ptr<StreamConfig> config;
    EXPECT_EQ(
        findAudioStreamConfig(wanted(48000, 2), 300000, kSubtypeWmaV2, *service.codecInfo, &config),
        E_INVALIDARG);
    const auto& calls = service.codecInfo->calls;
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "formatDesc a/1/0"), 0);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "format a/1/0"), 0);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "formatDesc a/0/0"), 1);
}

TEST(FindAudioStreamConfig, CodecWhoseFirstFormatFailsIsSkipped) {
    CodecCatalogue catalogue;
    catalogue.audio.push_back(
        CodecEntry{"broken", "", {named(fakeWaveFormat(kWaveFormatWmaV2, 48000, 2, 64000), "b")}});
    catalogue.audio.push_back(
        CodecEntry{"good", "", {named(fakeWaveFormat(kWaveFormatWmaV2, 48000, 2, 64000), "g")}});
    FakeMediaFormatService service(catalogue);
    service.codecInfo->fail = [](const std::string& call, const Guid&, std::uint32_t codec,
                                 std::uint32_t) {
        return call == "format" && codec == 0 ? NS_E_NO_MATCHING_ELEMENT : S_OK;
    };
    std::unique_ptr<StreamConfig> config;
    ASSERT_EQ(
        findAudioStreamConfig(wanted(48000, 2), 300000, kSubtypeWmaV2, *service.codecInfo, &config),
        S_OK);
    EXPECT_EQ(connectionOf(*config), "g");
}

struct FailureCase {
    const char* name;
    std::string call;  // failing call of the codec information, or "" for a format fault
    bool faultOnFormat0 = false;
    FakeFormatFaults faults;
    std::uint32_t faultFormat = 0;
    HResult expected;
};

class ChoiceFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ChoiceFailures, EndTheSearchWithTheFailingResult) {
    const auto& c = GetParam();
    FakeMediaFormatService service(exampleCatalogue());
    const HResult injected = makeResult(0xC00D1234u);
    if (!c.call.empty()) {
        const std::string call = c.call;
        service.codecInfo->fail = [call, result = injected](const std::string& name, const Guid&,
                                                            std::uint32_t, std::uint32_t) {
            return name == call ? result : S_OK;
        };
    } else {
        service.codecInfo->formatFaults[{false, 0, c.faultFormat}] = c.faults;
    }
    std::unique_ptr<StreamConfig> config;
    EXPECT_EQ(
        findAudioStreamConfig(wanted(48000, 2), 300000, kSubtypeWmaV2, *service.codecInfo, &config),
        c.expected == 0 ? injected : c.expected);
    EXPECT_FALSE(config);
}

FakeFormatFaults propsFault(HResult hr) {
    FakeFormatFaults f;
    f.queryMediaProps = hr;
    return f;
}
FakeFormatFaults sizeFault(HResult hr) {
    FakeFormatFaults f;
    f.mediaTypeSize = hr;
    return f;
}
FakeFormatFaults fetchFault(HResult hr) {
    FakeFormatFaults f;
    f.mediaTypeFetch = hr;
    return f;
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ChoiceFailures,
    ::testing::Values(
        // 0 as the expectation stands for the injected result.
        FailureCase{"codec_count", "count", false, {}, 0, 0},
        FailureCase{"format_count", "formatCount", false, {}, 0, 0},
        FailureCase{"format_desc", "formatDesc", false, {}, 0, 0},
        FailureCase{"codec_choice_props", "", true, propsFault(E_NOINTERFACE), 0, E_NOINTERFACE},
        FailureCase{"codec_choice_size", "", true, sizeFault(E_OUTOFMEMORY), 0, E_OUTOFMEMORY},
        FailureCase{"format_choice_props", "", false, propsFault(E_NOINTERFACE), 2, E_NOINTERFACE},
        FailureCase{"format_choice_fetch", "", false, fetchFault(E_FAIL), 3, E_FAIL}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(FindAudioStreamConfig, FailedFetchDuringCodecChoiceIsNotExamined) {
    // The fetch of format 0 fails while choosing the codec: the codec is not chosen (its
    // subtype is unknown) and the search goes on to the next codec.
    CodecCatalogue catalogue = exampleCatalogue();
    catalogue.audio.push_back(
        CodecEntry{"next", "", {named(fakeWaveFormat(kWaveFormatWmaV2, 48000, 2, 96000), "n")}});
    FakeMediaFormatService service(catalogue);
    service.codecInfo->formatFaults[{false, 0, 0}] = fetchFault(E_FAIL);
    std::unique_ptr<StreamConfig> config;
    ASSERT_EQ(
        findAudioStreamConfig(wanted(48000, 2), 300000, kSubtypeWmaV2, *service.codecInfo, &config),
        S_OK);
    EXPECT_EQ(connectionOf(*config), "n");
}

TEST(CreateAudioProfile, BuildsTheOneStreamProfile) {
    FakeMediaFormatService service(exampleCatalogue());
    std::unique_ptr<Profile> profile;
    std::shared_ptr<CodecInfo> info;
    ASSERT_EQ(createAudioProfile(service, wanted(48000, 2, 32), &profile, &info), S_OK);
    ASSERT_TRUE(profile);
    ASSERT_TRUE(info);
    EXPECT_EQ(profile->version(), 0x00090000u);
    EXPECT_EQ(profile->name(), "MyProfile");
    ASSERT_EQ(profile->streams().size(), 1u);
    const auto& stream = profile->streams()[0];
    EXPECT_EQ(stream.number, 1);
    EXPECT_EQ(stream.name, "Audio");
    EXPECT_EQ(stream.connectionName, "first192");
    EXPECT_EQ(stream.bitrate, 192000u);
    EXPECT_EQ(stream.bufferWindowMs, 3000u);
    EXPECT_EQ(stream.mediaType.subtype, kSubtypeWmaV2);
}

TEST(CreateAudioProfile, PrefersWmaProfessionalWhenTheCatalogueHasIt) {
    CodecCatalogue catalogue = exampleCatalogue();
    catalogue.audio.push_back(
        CodecEntry{"pro", "", {named(fakeWaveFormat(kWaveFormatWmaPro, 48000, 2, 128000), "pro")}});
    FakeMediaFormatService service(catalogue);
    std::unique_ptr<Profile> profile;
    std::shared_ptr<CodecInfo> info;
    ASSERT_EQ(createAudioProfile(service, wanted(48000, 2, 32), &profile, &info), S_OK);
    EXPECT_EQ(profile->streams()[0].connectionName, "pro");
}

TEST(CreateAudioProfile, NoFallbackWhenWmaProfessionalExistsButDoesNotMatch) {
    CodecCatalogue catalogue = exampleCatalogue();
    catalogue.audio.push_back(
        CodecEntry{"pro", "", {fakeWaveFormat(kWaveFormatWmaPro, 44100, 2, 128000)}});
    FakeMediaFormatService service(catalogue);
    std::unique_ptr<Profile> profile;
    std::shared_ptr<CodecInfo> info;
    EXPECT_EQ(createAudioProfile(service, wanted(48000, 2, 32), &profile, &info), E_INVALIDARG);
    EXPECT_FALSE(profile);
    EXPECT_FALSE(info);
}

TEST(CreateAudioProfile, FallbackSearchesWmaOnlyOnce) {
    // Neither subtype matches: two codec searches (0x0162, then 0x0161), no third.
    CodecCatalogue catalogue;
    catalogue.audio.push_back(
        CodecEntry{"v1", "", {fakeWaveFormat(kWaveFormatWmaV1, 48000, 2, 128000)}});
    FakeMediaFormatService service(catalogue);
    std::unique_ptr<Profile> profile;
    std::shared_ptr<CodecInfo> info;
    EXPECT_EQ(createAudioProfile(service, wanted(48000, 2, 32), &profile, &info), E_INVALIDARG);
    const auto& calls = service.codecInfo->calls;
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "count a/0/0"), 2);
}

TEST(CreateAudioProfile, MonoFortyFourKilohertzAsksForThatFormat) {
    CodecCatalogue catalogue;
    catalogue.audio.push_back(
        CodecEntry{"WMA",
                   "",
                   {named(fakeWaveFormat(kWaveFormatWmaV2, 48000, 1, 64000), "48m"),
                    named(fakeWaveFormat(kWaveFormatWmaV2, 44100, 2, 64000), "44s"),
                    named(fakeWaveFormat(kWaveFormatWmaV2, 44100, 1, 48000), "44m")}});
    FakeMediaFormatService service(catalogue);
    std::unique_ptr<Profile> profile;
    std::shared_ptr<CodecInfo> info;
    ASSERT_EQ(createAudioProfile(service, wanted(44100, 1, 32), &profile, &info), S_OK);
    EXPECT_EQ(profile->streams()[0].connectionName, "44m");
}

struct ServiceFailure {
    const char* name;
    HResult FakeMediaFormatService::*field;
};

class ProfileServiceFailures : public ::testing::TestWithParam<ServiceFailure> {};

TEST_P(ProfileServiceFailures, PassOnTheResultAndLeaveBothOutputsEmpty) {
    FakeMediaFormatService service(exampleCatalogue());
    service.*(GetParam().field) = E_OUTOFMEMORY;
    std::unique_ptr<Profile> profile;
    std::shared_ptr<CodecInfo> info;
    EXPECT_EQ(createAudioProfile(service, wanted(48000, 2, 32), &profile, &info), E_OUTOFMEMORY);
    EXPECT_FALSE(profile);
    EXPECT_FALSE(info);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ProfileServiceFailures,
    ::testing::Values(
        ServiceFailure{"profile_manager", &FakeMediaFormatService::createProfileManagerResult},
        ServiceFailure{"codec_info", &FakeMediaFormatService::queryCodecInfoResult},
        ServiceFailure{"empty_profile", &FakeMediaFormatService::createEmptyProfileResult}),
    [](const auto& test) { return std::string(test.param.name); });

std::unique_ptr<Profile> exampleProfile(FakeMediaFormatService& service) {
    std::unique_ptr<Profile> profile;
    std::shared_ptr<CodecInfo> info;
    EXPECT_EQ(createAudioProfile(service, wanted(48000, 2, 32), &profile, &info), S_OK);
    return profile;
}

TEST(CreateAudioWriter, NamesTheFileSetsTheProfileAndLiveSource) {
    FakeMediaFormatService service(exampleCatalogue());
    auto profile = exampleProfile(service);
    auto writer = createAudioWriter(service, *profile);
    ASSERT_TRUE(writer);
    EXPECT_EQ(setUpAudioWriterInput(*writer), S_OK);
    const std::vector<std::string> expected{"setOutputFilename test.wma", "setProfile",
                                            "setLiveSource 1", "getInputFormat 0 0",
                                            "setInputProps 0"};
    EXPECT_EQ(service.log->calls, expected);
    EXPECT_EQ(service.log->profileName, "MyProfile");
    EXPECT_EQ(service.log->input, waveMediaType(kWaveFormatPcm, 2, 48000, 16));
}

TEST(CreateAudioWriter, YieldsNothingOnEachFailure) {
    for (int step = 0; step < 3; ++step) {
        SCOPED_TRACE(step);
        FakeMediaFormatService service(exampleCatalogue());
        auto profile = exampleProfile(service);
        if (step == 0)
            service.createWriterResult = E_FAIL;
        if (step == 1)
            service.writerResults.setProfile = NS_E_INVALID_REQUEST;
        if (step == 2)
            service.writerResults.queryAdvanced = E_NOINTERFACE;
        EXPECT_FALSE(createAudioWriter(service, *profile));
        EXPECT_EQ(service.log->writersAlive, 0) << "a failed writer is released";
    }
}

TEST(SampleTimes, FollowTheDeliveredFrames) {
    EXPECT_EQ(audioSampleTime(0, ticksPerAudioFrame(48000)), 0u);
    EXPECT_EQ(audioSampleTime(4800, ticksPerAudioFrame(48000)), 1000000u);
    EXPECT_EQ(audioSampleTime(441, ticksPerAudioFrame(44100)), 100000u);
    EXPECT_EQ(audioSampleTime(1, ticksPerAudioFrame(48000)), 208u);  // truncated
    EXPECT_EQ(audioSampleTime(48000ull * 3600 * 12, ticksPerAudioFrame(48000)),
              10000000ull * 3600 * 12);
}

TEST(SamplePath, StereoPacketOf480FramesAt48k) {
    FakeMediaFormatService service(exampleCatalogue());
    auto profile = exampleProfile(service);
    auto writer = createAudioWriter(service, *profile);
    ASSERT_TRUE(writer);
    const WaveFormatEx mix = wanted(48000, 2, 32);
    std::vector<float> packet(960);
    for (std::size_t i = 0; i < packet.size(); ++i)
        packet[i] = (i % 2 == 0) ? 0.5f : -1.0f;
    std::unique_ptr<MediaSample> sample;
    ASSERT_EQ(allocateAudioSample(*writer, mix, 480, &sample), S_OK);
    const auto result = writeAudioPacket(*writer, *sample, mix, packet.data(), 480, 1000000);
    EXPECT_EQ(result.failure, SamplePathFailure::None);
    EXPECT_EQ(result.bytes, 1920u);
    ASSERT_EQ(service.log->samples.size(), 1u);
    const auto& written = service.log->samples[0];
    EXPECT_EQ(written.allocated, 3840u);
    EXPECT_EQ(written.length, 1920u);
    EXPECT_EQ(written.time100ns, 1000000u);
    EXPECT_EQ(written.pcm[0], 16384);
    EXPECT_EQ(written.pcm[1], -32767);
    EXPECT_EQ(written.pcm[958], 16384);  // 960 samples: all in groups of four
}

TEST(SamplePath, ReportsWhichStepFailed) {
    const WaveFormatEx mix = wanted(44100, 1, 32);
    std::vector<float> packet(441, 0.1f);
    for (int step = 0; step < 3; ++step) {
        SCOPED_TRACE(step);
        FakeMediaFormatService service(exampleCatalogue());
        auto profile = exampleProfile(service);
        if (step == 1)
            service.writerResults.sampleBuffer = E_FAIL;
        if (step == 2)
            service.writerResults.writeSample = NS_E_FILE_WRITE;
        auto writer = createAudioWriter(service, *profile);
        std::unique_ptr<MediaSample> sample;
        ASSERT_EQ(allocateAudioSample(*writer, mix, 441, &sample), S_OK);
        const auto r = writeAudioPacket(*writer, *sample, mix, packet.data(), 441, 0);
        if (step == 0) {
            EXPECT_EQ(r.failure, SamplePathFailure::None);
        }
        if (step == 1) {
            EXPECT_EQ(r.failure, SamplePathFailure::SampleBuffer);
            EXPECT_EQ(r.result, E_FAIL);
        }
        if (step == 2) {
            EXPECT_EQ(r.failure, SamplePathFailure::WriteSample);
            EXPECT_EQ(r.result, NS_E_FILE_WRITE);
        }
    }
}

TEST(SamplePath, RefusesASampleTooSmallForTheData) {
    FakeMediaFormatService service(exampleCatalogue());
    auto profile = exampleProfile(service);
    auto writer = createAudioWriter(service, *profile);
    WaveFormatEx odd = wanted(48000, 2, 32);
    odd.blockAlign = 2;  // claims one byte per sample: the sample would be overrun
    std::vector<float> packet(200, 0.1f);
    std::unique_ptr<MediaSample> sample;
    ASSERT_EQ(allocateAudioSample(*writer, odd, 100, &sample), S_OK);
    const auto r = writeAudioPacket(*writer, *sample, odd, packet.data(), 100, 0);
    EXPECT_EQ(r.failure, SamplePathFailure::SampleBuffer);
    EXPECT_TRUE(service.log->samples.empty());
}

}  // namespace
}  // namespace marrowdale
