#include "platform/ffmpeg/audio_file_reader.h"

#include <memory>

#include "platform/ffmpeg/ffmpeg_owners.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

namespace marrowdale {

namespace {
float sampleAt(const AVFrame& frame, int channel, int index, int channels) {
    const auto format = static_cast<AVSampleFormat>(frame.format);
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    const int plane = planar ? channel : 0;
    const int at = planar ? index : index * channels + channel;
    switch (av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_FLT:
            return reinterpret_cast<const float*>(frame.data[plane])[at];
        case AV_SAMPLE_FMT_DBL:
            return static_cast<float>(reinterpret_cast<const double*>(frame.data[plane])[at]);
        case AV_SAMPLE_FMT_S16:
            return reinterpret_cast<const std::int16_t*>(frame.data[plane])[at] / 32768.0f;
        case AV_SAMPLE_FMT_S32:
            return static_cast<float>(reinterpret_cast<const std::int32_t*>(frame.data[plane])[at] /
                                      2147483648.0);
        default:
            return 0.0f;
    }
}

void takeFrame(const AVFrame& frame, DecodedAudio* out) {
    const int channels = frame.ch_layout.nb_channels;
    if (out->samples.size() < static_cast<std::size_t>(channels))
        out->samples.resize(static_cast<std::size_t>(channels));
    for (int c = 0; c < channels; ++c)
        for (int i = 0; i < frame.nb_samples; ++i)
            out->samples[static_cast<std::size_t>(c)].push_back(sampleAt(frame, c, i, channels));
}
}  // namespace

bool readAudioFile(const std::string& path, DecodedAudio* out, std::string* error) {
    *out = DecodedAudio{};
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        *error = "cannot open " + path;
        return false;
    }
    ffmpeg::InputPtr input(raw);
    if (avformat_find_stream_info(input.get(), nullptr) < 0) {
        *error = "no stream information";
        return false;
    }
    out->containerName = input->iformat->name;
    out->streamCount = input->nb_streams;
    int audioIndex = -1;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        if (input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            ++out->audioStreamCount;
            if (audioIndex < 0)
                audioIndex = static_cast<int>(i);
        }
    }
    if (audioIndex < 0) {
        *error = "no audio stream";
        return false;
    }
    if (input->duration != AV_NOPTS_VALUE && input->duration > 0)
        out->containerDurationSeconds = static_cast<double>(input->duration) / AV_TIME_BASE;
    AVStream* stream = input->streams[audioIndex];
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    if (decoder == nullptr) {
        *error = "no decoder";
        return false;
    }
    ffmpeg::CodecContextPtr ctx(avcodec_alloc_context3(decoder));
    if (!ctx || avcodec_parameters_to_context(ctx.get(), stream->codecpar) < 0 ||
        avcodec_open2(ctx.get(), decoder, nullptr) < 0) {
        *error = "cannot open the decoder";
        return false;
    }
    out->codecName = decoder->name;
    out->sampleRate = static_cast<std::uint32_t>(ctx->sample_rate);
    out->channels = static_cast<std::uint32_t>(ctx->ch_layout.nb_channels);
    out->bitRate = stream->codecpar->bit_rate;

    ffmpeg::PacketPtr packet(av_packet_alloc());
    ffmpeg::FramePtr frame(av_frame_alloc());
    if (!packet || !frame) {
        *error = "out of memory";
        return false;
    }
    const double timeBase = av_q2d(stream->time_base);
    bool first = true;
    auto receive = [&]() {
        while (avcodec_receive_frame(ctx.get(), frame.get()) >= 0) {
            takeFrame(*frame, out);
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == audioIndex) {
            if (packet->pts != AV_NOPTS_VALUE) {
                const double start = static_cast<double>(packet->pts) * timeBase;
                const double end = static_cast<double>(packet->pts + packet->duration) * timeBase;
                if (first)
                    out->firstPacketSeconds = start;
                first = false;
                if (end > out->lastPacketEndSeconds)
                    out->lastPacketEndSeconds = end;
            }
            ++out->packetCount;
            if (avcodec_send_packet(ctx.get(), packet.get()) >= 0)
                receive();
        }
        av_packet_unref(packet.get());
    }
    if (avcodec_send_packet(ctx.get(), nullptr) >= 0)
        receive();
    return true;
}

}  // namespace marrowdale
