#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/ffmpeg/ffmpeg_media.h"
#include "platform/ffmpeg/ffmpeg_owners.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

namespace marrowdale {

namespace {

struct AudioCodecSpec {
    const char* encoder;
    std::uint16_t tag;
};
constexpr AudioCodecSpec kAudioCodecs[] = {{"wmav2", kWaveFormatWmaV2},
                                           {"wmav1", kWaveFormatWmaV1}};
constexpr std::uint32_t kRates[] = {48000, 44100, 32000, 22050, 16000, 11025, 8000};
constexpr std::uint16_t kChannels[] = {2, 1};
// Candidate bit rates; each is kept only where the encoder opens and encodes with it.
// (FFmpeg's WMA encoders refuse anything below 24 kbps.)
constexpr std::uint32_t kBitrates[] = {320000, 256000, 192000, 160000, 128000, 96000,
                                       80000,  64000,  48000,  40000,  32000,  24000};
constexpr std::uint32_t kAudioBufferWindowMs = 3000;

struct VideoCodecSpec {
    const char* encoder;
    std::uint32_t fourCc;
};
constexpr VideoCodecSpec kVideoCodecs[] = {{"wmv2", fourCc('W', 'M', 'V', '2')},
                                           {"wmv1", fourCc('W', 'M', 'V', '1')},
                                           {"msmpeg4", fourCc('M', 'P', '4', '3')},
                                           {"msmpeg4v2", fourCc('M', 'P', '4', '2')}};
struct VideoFormatSpec {
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t fps;
    std::uint32_t bitrate;
};
constexpr VideoFormatSpec kVideoFormats[] = {
    {320, 240, 15, 250000}, {640, 480, 25, 1000000}, {1280, 720, 30, 2500000}};
constexpr std::uint32_t kVideoBufferWindowMs = 5000;

// Opens the encoder at this rate, channel count and bit rate and encodes one frame of a loud
// tone over noise; keeps the format when both work.
bool probeAudioFormat(const AVCodec* codec, std::uint32_t rate, std::uint16_t channels,
                      std::uint32_t bitrate, CodecFormatEntry* entry, std::uint16_t tag) {
    ffmpeg::CodecContextPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx)
        return false;
    ctx->sample_fmt = AV_SAMPLE_FMT_FLTP;
    ctx->sample_rate = static_cast<int>(rate);
    av_channel_layout_default(&ctx->ch_layout, channels);
    ctx->bit_rate = bitrate;
    ctx->time_base = AVRational{1, static_cast<int>(rate)};
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0)
        return false;
    if (ctx->frame_size <= 0 || ctx->block_align <= 0)
        return false;

    ffmpeg::FramePtr frame(av_frame_alloc());
    ffmpeg::PacketPtr packet(av_packet_alloc());
    if (!frame || !packet)
        return false;
    frame->format = AV_SAMPLE_FMT_FLTP;
    frame->nb_samples = ctx->frame_size;
    frame->sample_rate = ctx->sample_rate;
    if (av_channel_layout_copy(&frame->ch_layout, &ctx->ch_layout) < 0)
        return false;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return false;
    std::uint32_t noise = 12345;
    for (int c = 0; c < channels; ++c) {
        auto* data = reinterpret_cast<float*>(frame->data[c]);
        for (int i = 0; i < frame->nb_samples; ++i) {
            noise = noise * 1664525u + 1013904223u;
            const float white = static_cast<float>(noise >> 8) / 16777216.0f - 0.5f;
            data[i] = 0.5f * std::sin(2.0f * 3.14159265f * 1000.0f * static_cast<float>(i) /
                                      static_cast<float>(rate)) +
                      0.4f * white;
        }
    }
    frame->pts = 0;
    if (avcodec_send_frame(ctx.get(), frame.get()) < 0)
        return false;
    if (avcodec_receive_packet(ctx.get(), packet.get()) < 0)
        return false;

    WaveFormatEx wave;
    wave.formatTag = tag;
    wave.channels = channels;
    wave.samplesPerSec = rate;
    wave.avgBytesPerSec = bitrate / 8;
    wave.blockAlign = static_cast<std::uint16_t>(ctx->block_align);
    wave.bitsPerSample = 16;
    std::vector<std::uint8_t> extra;
    if (ctx->extradata != nullptr && ctx->extradata_size > 0)
        extra.assign(ctx->extradata, ctx->extradata + ctx->extradata_size);

    char description[96];
    std::snprintf(description, sizeof description, "%u kbps, %u kHz, %s CBR",
                  static_cast<unsigned>(bitrate / 1000), static_cast<unsigned>(rate / 1000),
                  channels == 1 ? "mono" : "stereo");
    entry->description = description;
    entry->bitrate = bitrate;
    entry->bufferWindowMs = kAudioBufferWindowMs;
    entry->mediaType.majorType = kMediaTypeAudio;
    entry->mediaType.subtype = mediaSubtypeFromTag(tag);
    entry->mediaType.fixedSizeSamples = true;
    entry->mediaType.temporalCompression = false;
    entry->mediaType.sampleSize = wave.blockAlign;
    entry->mediaType.formatType = kFormatTypeWaveFormatEx;
    entry->mediaType.format = encodeWaveFormat(wave, extra);
    return true;
}

void appendLe16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}
void appendLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF));
}

// The video info block: source and target rectangles, bit rate, error rate, frame time and
// the bitmap header.
std::vector<std::uint8_t> videoInfoBlock(const VideoFormatSpec& f, std::uint32_t compression) {
    std::vector<std::uint8_t> out;
    for (int rect = 0; rect < 2; ++rect) {
        appendLe32(out, 0);
        appendLe32(out, 0);
        appendLe32(out, f.width);
        appendLe32(out, f.height);
    }
    appendLe32(out, f.bitrate);
    appendLe32(out, 0);
    const std::uint64_t frameTime = 10000000ull / f.fps;
    appendLe32(out, static_cast<std::uint32_t>(frameTime & 0xFFFFFFFFu));
    appendLe32(out, static_cast<std::uint32_t>(frameTime >> 32));
    appendLe32(out, 40);  // bitmap header size
    appendLe32(out, f.width);
    appendLe32(out, f.height);
    appendLe16(out, 1);   // planes
    appendLe16(out, 24);  // bits per pixel
    appendLe32(out, compression);
    appendLe32(out, f.width * f.height * 3);
    appendLe32(out, 0);
    appendLe32(out, 0);
    appendLe32(out, 0);
    appendLe32(out, 0);
    return out;
}

std::shared_ptr<const CodecCatalogue> buildCatalogue() {
    auto catalogue = std::make_shared<CodecCatalogue>();
    for (const auto& spec : kAudioCodecs) {
        const AVCodec* codec = avcodec_find_encoder_by_name(spec.encoder);
        if (codec == nullptr)
            continue;
        CodecEntry entry;
        entry.name = codec->long_name != nullptr ? codec->long_name : spec.encoder;
        entry.encoderName = spec.encoder;
        for (std::uint32_t rate : kRates)
            for (std::uint16_t channels : kChannels)
                for (std::uint32_t bitrate : kBitrates) {
                    // A compressed rate above that of the 16-bit PCM itself is no format.
                    if (bitrate > rate * channels * 16u)
                        continue;
                    CodecFormatEntry format;
                    if (probeAudioFormat(codec, rate, channels, bitrate, &format, spec.tag))
                        entry.formats.push_back(std::move(format));
                }
        if (!entry.formats.empty())
            catalogue->audio.push_back(std::move(entry));
    }
    for (const auto& spec : kVideoCodecs) {
        const AVCodec* codec = avcodec_find_encoder_by_name(spec.encoder);
        if (codec == nullptr)
            continue;
        CodecEntry entry;
        entry.name = codec->long_name != nullptr ? codec->long_name : spec.encoder;
        entry.encoderName = spec.encoder;
        for (const auto& f : kVideoFormats) {
            CodecFormatEntry format;
            char description[96];
            std::snprintf(description, sizeof description, "%u kbps, %ux%u, %u fps",
                          static_cast<unsigned>(f.bitrate / 1000), static_cast<unsigned>(f.width),
                          static_cast<unsigned>(f.height), static_cast<unsigned>(f.fps));
            format.description = description;
            format.bitrate = f.bitrate;
            format.bufferWindowMs = kVideoBufferWindowMs;
            format.mediaType.majorType = kMediaTypeVideo;
            format.mediaType.subtype = mediaSubtypeFromTag(spec.fourCc);
            format.mediaType.fixedSizeSamples = false;
            format.mediaType.temporalCompression = true;
            format.mediaType.sampleSize = 0;
            format.mediaType.formatType = kFormatTypeVideoInfo;
            format.mediaType.format = videoInfoBlock(f, spec.fourCc);
            entry.formats.push_back(std::move(format));
        }
        catalogue->video.push_back(std::move(entry));
    }
    return catalogue;
}

}  // namespace

std::shared_ptr<const CodecCatalogue> ffmpegCodecCatalogue() {
    // Probing the encoders takes a moment; it is done once and the result never changes.
    static const std::shared_ptr<const CodecCatalogue> catalogue = buildCatalogue();
    return catalogue;
}

}  // namespace marrowdale
