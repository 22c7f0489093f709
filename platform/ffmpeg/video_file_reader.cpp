#include "platform/ffmpeg/video_file_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "platform/ffmpeg/ffmpeg_owners.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/crc.h>
#include <libavutil/dict.h>
#include <libswscale/swscale.h>
}

namespace marrowdale {

namespace {

std::vector<std::uint8_t> toRgb(const AVFrame& frame) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(frame.width) * frame.height * 3);
    ffmpeg::ScalePtr scale(sws_getContext(
        frame.width, frame.height, static_cast<AVPixelFormat>(frame.format), frame.width,
        frame.height, AV_PIX_FMT_RGB24, SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
        nullptr, nullptr, nullptr));
    if (!scale)
        return {};
    std::uint8_t* planes[1] = {rgb.data()};
    const int strides[1] = {frame.width * 3};
    sws_scale(scale.get(), frame.data, frame.linesize, 0, frame.height, planes, strides);
    return rgb;
}
}  // namespace

std::uint32_t videoBytesCrc(const std::uint8_t* data, std::size_t size) {
    return av_crc(av_crc_get_table(AV_CRC_32_IEEE), 0, data, size);
}

bool readVideoFile(const std::string& path, bool decodePixels, ReadVideo* out, std::string* error) {
    *out = ReadVideo{};
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        *error = "cannot open " + path;
        return false;
    }
    ffmpeg::InputPtr input(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0) {
        *error = "no stream information in " + path;
        return false;
    }
    out->containerName = raw->iformat->name;
    if (raw->duration != AV_NOPTS_VALUE)
        out->durationSeconds = static_cast<double>(raw->duration) / AV_TIME_BASE;
    if (const AVDictionaryEntry* e = av_dict_get(raw->metadata, "creation_time", nullptr, 0))
        out->creationTime = e->value;
    const int video = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int audio = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (video < 0) {
        *error = "no video stream in " + path;
        return false;
    }
    const AVStream* vs = raw->streams[video];
    out->videoCodec = avcodec_get_name(vs->codecpar->codec_id);
    if (audio >= 0)
        out->audioCodec = avcodec_get_name(raw->streams[audio]->codecpar->codec_id);

    ffmpeg::CodecContextPtr decoder;
    if (decodePixels) {
        const AVCodec* codec = avcodec_find_decoder(vs->codecpar->codec_id);
        decoder.reset(codec ? avcodec_alloc_context3(codec) : nullptr);
        if (!decoder || avcodec_parameters_to_context(decoder.get(), vs->codecpar) < 0 ||
            avcodec_open2(decoder.get(), codec, nullptr) < 0) {
            *error = "no decoder for the video of " + path;
            return false;
        }
    }
    ffmpeg::PacketPtr packet(av_packet_alloc());
    ffmpeg::FramePtr frame(av_frame_alloc());
    const AVRational ms{1, 1000};
    bool audioSeen = false;
    // Packets in decoding order; pictures matched to them by their times.
    std::vector<ReadVideoFrame> packets;
    std::vector<std::pair<std::int64_t, ReadVideoFrame>> pictures;
    auto takePictures = [&] {
        while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            ReadVideoFrame p;
            p.width = frame->width;
            p.height = frame->height;
            p.rgb = toRgb(*frame);
            const std::int64_t t = frame->best_effort_timestamp;
            pictures.emplace_back(t == AV_NOPTS_VALUE ? 0 : av_rescale_q(t, vs->time_base, ms),
                                  std::move(p));
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(raw, packet.get()) >= 0) {
        const AVStream* s = raw->streams[packet->stream_index];
        if (packet->stream_index == video) {
            ReadVideoFrame f;
            f.timeMs = av_rescale_q(packet->pts, s->time_base, ms);
            f.durationMs = av_rescale_q(packet->duration, s->time_base, ms);
            f.packetBytes = static_cast<std::uint32_t>(packet->size);
            f.packetCrc = videoBytesCrc(packet->data, static_cast<std::size_t>(packet->size));
            f.width = vs->codecpar->width;
            f.height = vs->codecpar->height;
            packets.push_back(std::move(f));
            if (decoder && avcodec_send_packet(decoder.get(), packet.get()) >= 0)
                takePictures();
        } else if (packet->stream_index == audio) {
            const double start = static_cast<double>(packet->pts) * av_q2d(s->time_base);
            const double end =
                static_cast<double>(packet->pts + packet->duration) * av_q2d(s->time_base);
            if (!audioSeen || start < out->audioStartSeconds)
                out->audioStartSeconds = start;
            out->audioEndSeconds = std::max(out->audioEndSeconds, end);
            audioSeen = true;
        }
        av_packet_unref(packet.get());
    }
    if (decoder) {
        avcodec_send_packet(decoder.get(), nullptr);
        takePictures();
    }
    std::stable_sort(
        packets.begin(), packets.end(),
        [](const ReadVideoFrame& a, const ReadVideoFrame& b) { return a.timeMs < b.timeMs; });
    std::stable_sort(pictures.begin(), pictures.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < packets.size() && i < pictures.size(); ++i) {
        packets[i].width = pictures[i].second.width;
        packets[i].height = pictures[i].second.height;
        packets[i].rgb = std::move(pictures[i].second.rgb);
    }
    // The track's own length: a Matroska muxer keeps it in a DURATION tag
    // ("HH:MM:SS.nnnnnnnnn"), others in the stream's duration.
    std::int64_t statedEndMs = -1;
    if (vs->duration != AV_NOPTS_VALUE && vs->duration > 0) {
        const std::int64_t start = vs->start_time != AV_NOPTS_VALUE ? vs->start_time : 0;
        statedEndMs = av_rescale_q(start + vs->duration, vs->time_base, ms);
    } else if (const AVDictionaryEntry* e = av_dict_get(vs->metadata, "DURATION", nullptr, 0)) {
        unsigned hours = 0, minutes = 0;
        double seconds = 0;
        if (std::sscanf(e->value, "%u:%u:%lf", &hours, &minutes, &seconds) == 3)
            statedEndMs = std::llround((hours * 3600.0 + minutes * 60.0 + seconds) * 1000.0);
    }
    if (statedEndMs >= 0) {
        out->videoEndMs = statedEndMs;
    } else {
        for (const ReadVideoFrame& f : packets)
            out->videoEndMs = std::max(out->videoEndMs, f.timeMs + f.durationMs);
    }
    out->frames = std::move(packets);
    return true;
}

}  // namespace marrowdale
