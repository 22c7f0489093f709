// Owners of FFmpeg's objects, each freed by the function FFmpeg pairs with its allocation.
// Only the files of this folder include it.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

namespace marrowdale::ffmpeg {

struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
// A context opened with avformat_open_input.
struct InputDeleter {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
// A context of avformat_alloc_output_context2 whose file is the caller's own (custom I/O): the
// file outlives the context.
struct OutputDeleter {
    void operator()(AVFormatContext* f) const { avformat_free_context(f); }
};
// An I/O context of avio_alloc_context together with its buffer.
struct IoDeleter {
    void operator()(AVIOContext* io) const {
        if (io == nullptr)
            return;
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};
struct ScaleDeleter {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct FifoDeleter {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using InputPtr = std::unique_ptr<AVFormatContext, InputDeleter>;
using OutputPtr = std::unique_ptr<AVFormatContext, OutputDeleter>;
using IoPtr = std::unique_ptr<AVIOContext, IoDeleter>;
using ScalePtr = std::unique_ptr<SwsContext, ScaleDeleter>;
using FifoPtr = std::unique_ptr<AVAudioFifo, FifoDeleter>;

}  // namespace marrowdale::ffmpeg
