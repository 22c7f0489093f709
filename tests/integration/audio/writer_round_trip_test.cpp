#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>

#include "audio/audio_profile.h"
#include "audio/codec_listing.h"
#include "platform/ffmpeg/audio_file_reader.h"
#include "platform/ffmpeg/ffmpeg_media.h"
#include "tone_analysis.h"

namespace marrowdale {
namespace {

using testing::ScratchDirectory;

WaveFormatEx floatMix(std::uint32_t rate, std::uint16_t channels) {
    WaveFormatEx w;
    w.formatTag = kWaveFormatIeeeFloat;
    w.channels = channels;
    w.samplesPerSec = rate;
    w.bitsPerSample = 32;
    w.blockAlign = static_cast<std::uint16_t>(4 * channels);
    w.avgBytesPerSec = rate * w.blockAlign;
    return w;
}

TEST(FfmpegCatalogue, ListsWmaFirstWithRatesChannelsAndAcceptedBitRates) {
    const auto catalogue = ffmpegCodecCatalogue();
    ASSERT_GE(catalogue->audio.size(), 2u);
    EXPECT_EQ(catalogue->audio[0].encoderName, "wmav2");
    EXPECT_EQ(catalogue->audio[1].encoderName, "wmav1");
    for (const auto& codec : catalogue->audio) {
        SCOPED_TRACE(codec.encoderName);
        bool seen48Stereo = false, seen8Mono = false;
        for (const auto& f : codec.formats) {
            WaveFormatEx wave;
            ASSERT_TRUE(decodeWaveFormat(f.mediaType.format, &wave));
            EXPECT_GE(f.mediaType.format.size(), 18u);
            EXPECT_EQ(f.mediaType.subtype, codec.formats[0].mediaType.subtype);
            EXPECT_EQ(f.mediaType.formatType, kFormatTypeWaveFormatEx);
            EXPECT_EQ(wave.bitsPerSample, 16);
            EXPECT_EQ(wave.avgBytesPerSec * 8, f.bitrate);
            EXPECT_GE(wave.samplesPerSec, 8000u);
            EXPECT_LE(wave.samplesPerSec, 48000u);
            seen48Stereo |= wave.samplesPerSec == 48000 && wave.channels == 2;
            seen8Mono |= wave.samplesPerSec == 8000 && wave.channels == 1;
        }
        EXPECT_TRUE(seen48Stereo);
        EXPECT_TRUE(seen8Mono);
    }
    const auto& first = catalogue->audio[0].formats[0];
    EXPECT_EQ(first.description, "320 kbps, 48 kHz, stereo CBR");
    EXPECT_EQ(first.mediaType.subtype, kSubtypeWmaV2);
    EXPECT_FALSE(catalogue->video.empty());
}

TEST(FfmpegCatalogue, ProfileForFortyEightKilohertzStereoTakesTheBestWmaFormat) {
    auto service = createFfmpegMediaFormatService();
    std::unique_ptr<Profile> profile;
    std::shared_ptr<CodecInfo> info;
    ASSERT_EQ(createAudioProfile(*service, floatMix(48000, 2), &profile, &info), S_OK);
    const auto& stream = profile->streams().at(0);
    EXPECT_EQ(stream.mediaType.subtype, kSubtypeWmaV2);  // the fallback: no WMA 9 Pro encoder
    EXPECT_EQ(stream.bitrate, 256000u);
    EXPECT_EQ(stream.name, "Audio");
}

TEST(FfmpegCatalogue, NoProfileForFormatsWmaCannotCarry) {
    auto service = createFfmpegMediaFormatService();
    for (auto mix : {floatMix(96000, 2), floatMix(48000, 6)}) {
        std::unique_ptr<Profile> profile;
        std::shared_ptr<CodecInfo> info;
        EXPECT_EQ(createAudioProfile(*service, mix, &profile, &info), E_INVALIDARG);
        EXPECT_FALSE(profile);
    }
}

TEST(FfmpegCatalogue, ListingOfTheRealCatalogue) {
    auto service = createFfmpegMediaFormatService();
    const auto lines = listCodecs(*service, 4, true);
    ASSERT_GT(lines.size(), 20u);
    EXPECT_EQ(lines[0], "System Codecs");
    EXPECT_EQ(lines[1], "Number of audio codecs: 2\n\n");
    EXPECT_EQ(lines[2], "0 Windows Media Audio 2\n");
    EXPECT_EQ(lines[4],
              "\t1 Stream , Conn , bps 320000, bufWin 3000\n320 kbps, 48 kHz, stereo CBR\n");
    EXPECT_EQ(lines[5], "Major Type:  {73647561-0000-0010-8000-00AA00389B71}\n");
    EXPECT_EQ(lines[6], "nMinor Type:  {00000161-0000-0010-8000-00AA00389B71}\n");
    bool videoShown = false;
    for (const auto& l : lines)
        videoShown |= l.rfind("\n\nNumber of video codecs: ", 0) == 0;
    EXPECT_TRUE(videoShown);
    for (const auto& l : lines)
        EXPECT_NE(l.rfind("Could not", 0), 0u) << l;
}

struct RoundTrip {
    const char* name;
    std::uint32_t rate;
    std::uint16_t channels;
};

// The encoder's first frame (2048 samples) primes the decoder; the writer puts silence there.
double primingSeconds(std::uint32_t rate) {
    return 2048.0 / rate;
}

class WriterRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(WriterRoundTrip, ThreeSecondsOfToneComeBack) {
    const auto& c = GetParam();
    ScratchDirectory scratch;
    ASSERT_FALSE(scratch.path().empty());
    auto service = createFfmpegMediaFormatService();
    const WaveFormatEx mix = floatMix(c.rate, c.channels);
    std::unique_ptr<Profile> profile;
    std::shared_ptr<CodecInfo> info;
    ASSERT_EQ(createAudioProfile(*service, mix, &profile, &info), S_OK);
    auto writer = createAudioWriter(*service, *profile);
    ASSERT_TRUE(writer);
    ASSERT_EQ(setUpAudioWriterInput(*writer), S_OK);
    ASSERT_EQ(writer->beginWriting(), S_OK);

    const std::uint64_t total = 3ull * c.rate;
    const double ticks = ticksPerAudioFrame(c.rate);
    std::mt19937 random(7);
    std::vector<float> packet;
    std::uint64_t framesWritten = 0;
    while (framesWritten < total) {
        const std::uint32_t frames = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(1 + random() % 1500, total - framesWritten));
        packet.resize(std::size_t{frames} * c.channels);
        for (std::uint32_t i = 0; i < frames; ++i) {
            const double t = static_cast<double>(framesWritten + i) / c.rate;
            for (unsigned ch = 0; ch < c.channels; ++ch)
                packet[std::size_t{i} * c.channels + ch] =
                    static_cast<float>(0.5 * std::sin(2 * M_PI * 1000.0 * t));
        }
        std::unique_ptr<MediaSample> sample;
        ASSERT_EQ(allocateAudioSample(*writer, mix, frames, &sample), S_OK);
        const auto r = writeAudioPacket(*writer, *sample, mix, packet.data(), frames,
                                        audioSampleTime(framesWritten, ticks));
        ASSERT_EQ(r.failure, SamplePathFailure::None);
        ASSERT_EQ(r.bytes, frames * c.channels * 2u);
        framesWritten += frames;
    }
    ASSERT_EQ(writer->endWriting(), S_OK);
    writer.reset();

    DecodedAudio decoded;
    std::string error;
    ASSERT_TRUE(readAudioFile("test.wma", &decoded, &error)) << error;
    EXPECT_EQ(decoded.containerName, "asf");
    EXPECT_EQ(decoded.streamCount, 1u);
    EXPECT_EQ(decoded.audioStreamCount, 1u);
    EXPECT_EQ(decoded.codecName, "wmav2");
    EXPECT_EQ(decoded.sampleRate, c.rate);
    EXPECT_EQ(decoded.channels, c.channels);
    ASSERT_FALSE(decoded.samples.empty());
    const double decodedSeconds = static_cast<double>(decoded.samples[0].size()) / c.rate;
    EXPECT_NEAR(decodedSeconds, 3.0, 0.050);
    // The container's packets also carry the encoder's priming frame, which decoders drop.
    EXPECT_NEAR(decoded.lastPacketEndSeconds - decoded.firstPacketSeconds,
                3.0 + primingSeconds(c.rate), 0.050);
    if (decoded.containerDurationSeconds > 0) {
        EXPECT_NEAR(decoded.containerDurationSeconds, 3.0 + primingSeconds(c.rate), 0.050);
    }
    for (unsigned ch = 0; ch < c.channels; ++ch) {
        const auto& s = decoded.samples[ch];
        // Leave out the first and last tenth of a second (codec start-up and padding).
        const std::size_t from = c.rate / 10;
        const std::size_t count = s.size() - 2 * from;
        const double tone = testing::toneAmplitude(s, c.rate, 1000.0, from, count);
        const double off = testing::toneAmplitude(s, c.rate, 1500.0, from, count);
        EXPECT_NEAR(tone, 0.5, 0.05) << "channel " << ch;
        EXPECT_LT(off, 0.01) << "channel " << ch;
        EXPECT_NEAR(testing::rms(s, from, count), 0.5 / std::sqrt(2.0), 0.03);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, WriterRoundTrip,
                         ::testing::Values(RoundTrip{"stereo_48k", 48000, 2},
                                           RoundTrip{"mono_44k", 44100, 1}),
                         [](const auto& test) { return std::string(test.param.name); });

struct UnfinishedCase {
    const char* name;
    std::uint32_t rate;
    std::uint16_t channels;
};

class UnfinishedFile : public ::testing::TestWithParam<UnfinishedCase> {};

// What a killed recording leaves: the file as it is on the disk while the writer is still
// writing plays, from the moment writing has begun, and holds the sound up to about a tenth of
// a second before the last packet handed over.
TEST_P(UnfinishedFile, PlaysUpToTheLastPacketsWhileStillBeingWritten) {
    const auto& c = GetParam();
    ScratchDirectory scratch;
    ASSERT_FALSE(scratch.path().empty());
    auto service = createFfmpegMediaFormatService();
    const WaveFormatEx mix = floatMix(c.rate, c.channels);
    std::unique_ptr<Profile> profile;
    std::shared_ptr<CodecInfo> info;
    ASSERT_EQ(createAudioProfile(*service, mix, &profile, &info), S_OK);
    auto writer = createAudioWriter(*service, *profile);
    ASSERT_TRUE(writer);
    ASSERT_EQ(setUpAudioWriterInput(*writer), S_OK);
    ASSERT_EQ(writer->beginWriting(), S_OK);
    DecodedAudio decoded;
    std::string error;
    ASSERT_TRUE(readAudioFile("test.wma", &decoded, &error)) << "before any sound: " << error;

    const double ticks = ticksPerAudioFrame(c.rate);
    const std::uint32_t packetFrames = c.rate / 100;  // 10 ms packets
    std::vector<float> packet(std::size_t{packetFrames} * c.channels, 0.25f);
    std::uint64_t framesWritten = 0;
    for (int check = 1; check <= 6; ++check) {
        while (framesWritten < std::uint64_t{c.rate} * check / 2) {
            std::unique_ptr<MediaSample> sample;
            ASSERT_EQ(allocateAudioSample(*writer, mix, packetFrames, &sample), S_OK);
            ASSERT_EQ(writeAudioPacket(*writer, *sample, mix, packet.data(), packetFrames,
                                       audioSampleTime(framesWritten, ticks))
                          .failure,
                      SamplePathFailure::None);
            framesWritten += packetFrames;
        }
        ASSERT_TRUE(readAudioFile("test.wma", &decoded, &error)) << error;
        const double handedOver = static_cast<double>(framesWritten) / c.rate;
        const double onDisk =
            decoded.samples.empty() ? 0.0 : static_cast<double>(decoded.samples[0].size()) / c.rate;
        EXPECT_GE(onDisk, handedOver - 0.2) << "after " << handedOver << " s";
        EXPECT_LE(onDisk, handedOver + 0.01);
    }
    // The normal end still completes the file.
    ASSERT_EQ(writer->endWriting(), S_OK);
    ASSERT_TRUE(readAudioFile("test.wma", &decoded, &error)) << error;
    EXPECT_NEAR(static_cast<double>(decoded.samples.at(0).size()) / c.rate, 3.0, 0.05);
    EXPECT_NEAR(decoded.containerDurationSeconds, 3.0 + primingSeconds(c.rate), 0.05);
}

INSTANTIATE_TEST_SUITE_P(Formats, UnfinishedFile,
                         ::testing::Values(UnfinishedCase{"stereo_48k", 48000, 2},
                                           UnfinishedCase{"mono_22k", 22050, 1}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(FfmpegWriter, EmptyRecordingStillGivesAValidFile) {
    ScratchDirectory scratch;
    auto service = createFfmpegMediaFormatService();
    std::unique_ptr<Profile> profile;
    std::shared_ptr<CodecInfo> info;
    ASSERT_EQ(createAudioProfile(*service, floatMix(48000, 2), &profile, &info), S_OK);
    auto writer = createAudioWriter(*service, *profile);
    setUpAudioWriterInput(*writer);
    ASSERT_EQ(writer->beginWriting(), S_OK);
    EXPECT_EQ(writer->endWriting(), S_OK);
    DecodedAudio decoded;
    std::string error;
    EXPECT_TRUE(readAudioFile("test.wma", &decoded, &error)) << error;
    EXPECT_EQ(decoded.audioStreamCount, 1u);
}

TEST(FfmpegWriter, GapInSampleTimesIsKeptInTheFile) {
    ScratchDirectory scratch;
    auto service = createFfmpegMediaFormatService();
    const WaveFormatEx mix = floatMix(48000, 1);
    std::unique_ptr<Profile> profile;
    std::shared_ptr<CodecInfo> info;
    ASSERT_EQ(createAudioProfile(*service, mix, &profile, &info), S_OK);
    auto writer = createAudioWriter(*service, *profile);
    setUpAudioWriterInput(*writer);
    ASSERT_EQ(writer->beginWriting(), S_OK);
    std::vector<float> second(48000, 0.25f);
    for (std::uint64_t start : {0ull, 20000000ull}) {  // 1 s at 0 s, 1 s at 2 s
        std::unique_ptr<MediaSample> sample;
        ASSERT_EQ(allocateAudioSample(*writer, mix, 48000, &sample), S_OK);
        ASSERT_EQ(writeAudioPacket(*writer, *sample, mix, second.data(), 48000, start).failure,
                  SamplePathFailure::None);
    }
    ASSERT_EQ(writer->endWriting(), S_OK);
    DecodedAudio decoded;
    std::string error;
    ASSERT_TRUE(readAudioFile("test.wma", &decoded, &error)) << error;
    EXPECT_NEAR(decoded.lastPacketEndSeconds, 3.0 + primingSeconds(48000), 0.05);
}

TEST(FfmpegWriter, UnwritableFolderFailsAtBeginWriting) {
    ScratchDirectory scratch;
    std::filesystem::create_directory("test.wma");  // a folder where the file should go
    auto service = createFfmpegMediaFormatService();
    std::unique_ptr<Profile> profile;
    std::shared_ptr<CodecInfo> info;
    ASSERT_EQ(createAudioProfile(*service, floatMix(44100, 2), &profile, &info), S_OK);
    auto writer = createAudioWriter(*service, *profile);
    ASSERT_TRUE(writer);
    EXPECT_TRUE(failed(writer->beginWriting()));
    std::unique_ptr<MediaSample> sample;
    ASSERT_EQ(writer->allocateSample(64, &sample), S_OK);
    EXPECT_TRUE(failed(writer->writeSample(0, 0, 0, *sample)));
    EXPECT_TRUE(failed(writer->endWriting()));
}

// A click written at a known time is decoded at that time: the file's time is the recording's
// time, so that sound placed at a moment is heard at that moment beside the frames.
class ClickPlacement : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(ClickPlacement, IsDecodedWhereItWasWritten) {
    const std::uint32_t rate = GetParam();
    ScratchDirectory scratch;
    auto service = createFfmpegMediaFormatService();
    const WaveFormatEx mix = floatMix(rate, 2);
    std::unique_ptr<Profile> profile;
    std::shared_ptr<CodecInfo> info;
    ASSERT_EQ(createAudioProfile(*service, mix, &profile, &info), S_OK);
    auto writer = createAudioWriter(*service, *profile);
    ASSERT_TRUE(writer);
    ASSERT_EQ(setUpAudioWriterInput(*writer), S_OK);
    ASSERT_EQ(writer->beginWriting(), S_OK);
    const std::uint64_t total = 3ull * rate;
    const std::uint64_t clickAt = rate;  // 1 s in
    std::vector<float> packet;
    std::uint64_t written = 0;
    while (written < total) {
        const auto frames =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(480, total - written));
        packet.assign(std::size_t{frames} * 2, 0.0f);
        for (std::uint32_t i = 0; i < frames; ++i)
            if (written + i >= clickAt && written + i < clickAt + rate / 100)
                packet[2 * i] = packet[2 * i + 1] = 0.8f;
        std::unique_ptr<MediaSample> sample;
        ASSERT_EQ(allocateAudioSample(*writer, mix, frames, &sample), S_OK);
        ASSERT_EQ(writeAudioPacket(*writer, *sample, mix, packet.data(), frames,
                                   audioSampleTime(written, ticksPerAudioFrame(rate)))
                      .failure,
                  SamplePathFailure::None);
        written += frames;
    }
    ASSERT_EQ(writer->endWriting(), S_OK);
    writer.reset();
    DecodedAudio decoded;
    std::string error;
    ASSERT_TRUE(readAudioFile("test.wma", &decoded, &error)) << error;
    const auto& s = decoded.samples[0];
    std::size_t first = s.size();
    for (std::size_t i = 0; i < s.size(); ++i)
        if (std::abs(s[i]) > 0.3f) {
            first = i;
            break;
        }
    ASSERT_LT(first, s.size());
    EXPECT_NEAR(static_cast<double>(first) / rate, 1.0, 0.002);
    EXPECT_NEAR(static_cast<double>(s.size()) / rate, 3.0, 0.050);
}

INSTANTIATE_TEST_SUITE_P(Rates, ClickPlacement, ::testing::Values(48000u, 44100u));

}  // namespace
}  // namespace marrowdale
