// Figures of the audio path: float to 16-bit conversion (SIMD and scalar, checked to agree)
// and encoding through the WMA writer, 10 ms packets of 48 kHz stereo, on one thread.
//
//   bench_audio convert SECONDS_OF_AUDIO ROUNDS   -> "convert simd_sps scalar_sps"
//   bench_audio encode SECONDS FOLDER             -> "encode seconds_of_audio elapsed_s"
//                                                    and FOLDER/source.wav for the reference
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "audio/audio_profile.h"
#include "audio/pcm_conversion.h"
#include "platform/ffmpeg/audio_file_reader.h"
#include "platform/ffmpeg/ffmpeg_media.h"

using namespace marrowdale;

namespace {

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A 1 kHz tone over a little noise, interleaved stereo.
std::vector<float> signal(std::size_t frames, unsigned rate) {
    std::vector<float> s(frames * 2);
    std::uint32_t noise = 1;
    for (std::size_t i = 0; i < frames; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const float n = static_cast<float>(noise >> 8) / 16777216.0f - 0.5f;
        const float v = 0.5f * std::sin(2.0f * 3.14159265f * 1000.0f *
                                        static_cast<float>(i % rate) / static_cast<float>(rate)) +
                        0.05f * n;
        s[2 * i] = v;
        s[2 * i + 1] = -v;
    }
    return s;
}

int convert(double seconds, int rounds) {
    const auto frames = static_cast<std::size_t>(seconds * 48000);
    const std::vector<float> in = signal(frames, 48000);
    std::vector<std::int16_t> a(in.size()), b(in.size());
    double bestSimd = 1e9, bestScalar = 1e9;
    for (int r = 0; r < rounds; ++r) {
        double t0 = now();
        // Packets of 480 frames, as the worker converts them.
        for (std::size_t f = 0; f < frames; f += 480)
            convertFloatToPcm16(2, a.data() + 2 * f, in.data() + 2 * f,
                                static_cast<std::uint32_t>(std::min<std::size_t>(480, frames - f)));
        double t1 = now();
        for (std::size_t f = 0; f < frames; f += 480)
            convertFloatToPcm16Scalar(
                2, b.data() + 2 * f, in.data() + 2 * f,
                static_cast<std::uint32_t>(std::min<std::size_t>(480, frames - f)));
        double t2 = now();
        bestSimd = std::min(bestSimd, t1 - t0);
        bestScalar = std::min(bestScalar, t2 - t1);
    }
    if (a != b) {
        std::fprintf(stderr, "bench_audio: the SIMD and scalar results differ\n");
        return 1;
    }
    std::printf("convert %.0f %.0f %d\n", static_cast<double>(in.size()) / bestSimd,
                static_cast<double>(in.size()) / bestScalar, pcm16ConversionUsesSimd() ? 1 : 0);
    return 0;
}

bool writeWav(const std::string& path, const std::vector<float>& s, unsigned rate) {
    std::ofstream out(path, std::ios::binary);
    const auto bytes = static_cast<std::uint32_t>(s.size() * 2);
    auto put32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto put16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    put32(36 + bytes);
    out.write("WAVEfmt ", 8);
    put32(16);
    put16(1);
    put16(2);
    put32(rate);
    put32(rate * 4);
    put16(4);
    put16(16);
    out.write("data", 4);
    put32(bytes);
    std::vector<std::int16_t> pcm(s.size());
    convertFloatToPcm16Scalar(1, pcm.data(), s.data(), static_cast<std::uint32_t>(s.size()));
    out.write(reinterpret_cast<const char*>(pcm.data()), static_cast<std::streamsize>(bytes));
    return static_cast<bool>(out);
}

int encode(double seconds, const std::string& folder) {
    if (chdir(folder.c_str()) != 0)
        return 1;
    const unsigned rate = 48000;
    const auto frames = static_cast<std::size_t>(seconds * rate);
    const std::vector<float> in = signal(frames, rate);
    if (!writeWav("source.wav", in, rate))
        return 1;
    auto service = createFfmpegMediaFormatService();
    (void)ffmpegCodecCatalogue();  // probed once, outside the timing
    WaveFormatEx mix;
    mix.formatTag = kWaveFormatIeeeFloat;
    mix.channels = 2;
    mix.samplesPerSec = rate;
    mix.bitsPerSample = 32;
    mix.blockAlign = 8;
    mix.avgBytesPerSec = rate * 8;
    const double t0 = now();
    std::unique_ptr<Profile> profile;
    std::shared_ptr<CodecInfo> info;
    if (failed(createAudioProfile(*service, mix, &profile, &info)))
        return 1;
    auto writer = createAudioWriter(*service, *profile);
    if (!writer)
        return 1;
    setUpAudioWriterInput(*writer);
    if (failed(writer->beginWriting()))
        return 1;
    const double ticks = ticksPerAudioFrame(rate);
    for (std::size_t f = 0; f < frames; f += 480) {
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(480, frames - f));
        std::unique_ptr<MediaSample> sample;
        if (failed(allocateAudioSample(*writer, mix, n, &sample)))
            return 1;
        if (writeAudioPacket(*writer, *sample, mix, in.data() + 2 * f, n, audioSampleTime(f, ticks))
                .failure != SamplePathFailure::None)
            return 1;
    }
    if (failed(writer->endWriting()))
        return 1;
    const double elapsed = now() - t0;
    DecodedAudio check;
    std::string error;
    if (!readAudioFile("test.wma", &check, &error)) {
        std::fprintf(stderr, "bench_audio: %s\n", error.c_str());
        return 1;
    }
    std::printf("encode %.3f %.6f %u\n", seconds, elapsed,
                static_cast<unsigned>(profile->streams()[0].bitrate));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "convert" && argc == 4)
        return convert(std::atof(argv[2]), std::atoi(argv[3]));
    if (what == "encode" && argc == 4)
        return encode(std::atof(argv[2]), argv[3]);
    std::fprintf(stderr, "usage: bench_audio convert SECONDS ROUNDS | encode SECONDS FOLDER\n");
    return 2;
}
