#include "platform/ffmpeg/ffmpeg_video_export.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <map>
#include <vector>

#include "platform/ffmpeg/ffmpeg_owners.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/dict.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace marrowdale {

namespace {

constexpr AVRational k100ns{1, 10000000};
// Encoders count in microseconds: frames closer than the container's own unit are merged there.
constexpr AVRational kEncoderTimeBase{1, 1000000};
// The sound is written this far ahead of the frames, so the muxer can interleave the two.
constexpr std::int64_t kSoundLead100ns = 10000000;
// MJPEG quality for encoded BMP frames (quantiser 2: visually lossless).
constexpr int kMjpegQuantiser = 2;
// The encoders report their settings and statistics (x264 a dozen lines) and their warnings to
// FFmpeg's log, which is the user's terminal: they are moved down this many levels, below what
// is shown, so only their errors appear. The export reports its own outcome.
constexpr int kEncoderLogLevelsDown = AV_LOG_INFO - AV_LOG_ERROR;

// An output context with the file it opened itself.
struct OutputDeleter {
    void operator()(AVFormatContext* f) const {
        if (f->pb && !(f->oformat->flags & AVFMT_NOFILE))
            avio_closep(&f->pb);
        avformat_free_context(f);
    }
};

std::string ffmpegError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// Reads exactly `size` bytes into `data`; false on an error or an early end of file.
bool readFully(int fd, std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool readWholeFile(const std::string& path, std::vector<std::uint8_t>* out, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0;
    if (ok) {
        out->resize(static_cast<std::size_t>(info.st_size));
        ok = readFully(fd, out->data(), out->size());
    }
    if (!ok)
        *error = path + ": " + std::strerror(errno != 0 ? errno : EIO);
    ::close(fd);
    return ok;
}

// A frame file's bytes as a packet the muxer may keep.
bool readPacket(const std::string& path, AVPacket* packet, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && info.st_size > 0 && info.st_size < (1 << 30) &&
              av_new_packet(packet, static_cast<int>(info.st_size)) == 0;
    ok = ok && readFully(fd, packet->data, static_cast<std::size_t>(packet->size));
    if (!ok)
        *error = path + ": cannot be read" +
                 (errno != 0 ? std::string(": ") + std::strerror(errno) : "");
    ::close(fd);
    return ok;
}

std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The pixels of an uncompressed 24- or 32-bit BMP file, as a frame pointing into `bytes`
// (bottom-up files are read upwards through a negative line size).
bool bmpFrame(const std::vector<std::uint8_t>& bytes, AVFrame* frame, std::string* error) {
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') {
        *error = "not a BMP file";
        return false;
    }
    const std::uint32_t offset = le32(&bytes[10]);
    const auto width = static_cast<std::int32_t>(le32(&bytes[18]));
    const auto height = static_cast<std::int32_t>(le32(&bytes[22]));
    const unsigned bits = bytes[28] | bytes[29] << 8;
    const std::uint32_t compression = le32(&bytes[30]);
    if (width <= 0 || height == 0 || height == INT32_MIN || (bits != 24 && bits != 32) ||
        (compression != 0 && !(compression == 3 && bits == 32))) {
        *error = "a BMP layout that cannot be read (only uncompressed 24 and 32 bits)";
        return false;
    }
    const std::int64_t rows = height < 0 ? -static_cast<std::int64_t>(height) : height;
    const std::int64_t stride = ((static_cast<std::int64_t>(width) * bits / 8) + 3) & ~3LL;
    if (offset > bytes.size() || static_cast<std::int64_t>(bytes.size() - offset) < stride * rows) {
        *error = "the BMP file is shorter than its pixels";
        return false;
    }
    frame->format = bits == 32 ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_BGR24;
    frame->width = width;
    frame->height = static_cast<int>(rows);
    auto* first = const_cast<std::uint8_t*>(bytes.data() + offset);
    if (height > 0) {  // bottom row first
        frame->data[0] = first + stride * (rows - 1);
        frame->linesize[0] = -static_cast<int>(stride);
    } else {
        frame->data[0] = first;
        frame->linesize[0] = static_cast<int>(stride);
    }
    return true;
}

// The picture of a JPEG file, decoded.
bool decodeJpeg(AVCodecContext* decoder, AVPacket* packet, AVFrame* frame, std::string* error) {
    av_frame_unref(frame);
    int rc = avcodec_send_packet(decoder, packet);
    if (rc >= 0)
        rc = avcodec_receive_frame(decoder, frame);
    if (rc < 0) {
        *error = "the JPEG file cannot be decoded (" + ffmpegError(rc) + ")";
        return false;
    }
    return true;
}

ffmpeg::CodecContextPtr openJpegDecoder(std::string* error) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
    ffmpeg::CodecContextPtr decoder(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!decoder || avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        *error = "FFmpeg has no JPEG decoder";
        return nullptr;
    }
    return decoder;
}

class FfmpegVideoExportWriter final : public VideoExportWriter {
  public:
    ~FfmpegVideoExportWriter() override {
        out_.reset();
        if (!finished_ && !temporaryPath_.empty())
            ::unlink(temporaryPath_.c_str());
    }

    bool open(const VideoExportSetup& setup, std::string* error);
    bool addFrame(const std::string& path, std::int64_t time100ns, std::int64_t duration100ns,
                  std::string* error) override;
    bool finish(std::string* error) override;

  private:
    bool openVideo(const VideoExportSetup& setup, std::string* error);
    bool openSound(const std::string& path, std::string* error);
    bool openSoundEncoder(std::string* error);
    // Writes the sound up to `until100ns` (everything when negative).
    bool writeSound(std::int64_t until100ns, std::string* error);
    bool encodeSoundFrames(bool flush, std::string* error);
    bool pictureOf(const std::string& path, AVPacket* packet, std::string* error);
    bool encodePicture(AVFrame* picture, std::int64_t pts, std::string* error);
    bool drainVideo(std::string* error);
    bool write(AVPacket* packet, std::string* error);

    std::unique_ptr<AVFormatContext, OutputDeleter> out_;
    std::string finalPath_, temporaryPath_;
    bool replace_ = false;
    bool finished_ = false;
    bool bmp_ = false;

    AVStream* video_ = nullptr;
    int width_ = 0, height_ = 0;
    ffmpeg::CodecContextPtr encoder_;  // null when JPEG files are copied
    ffmpeg::CodecContextPtr decoder_;  // JPEG files re-encoded
    ffmpeg::ScalePtr scale_;
    ffmpeg::FramePtr decoded_, converted_;
    ffmpeg::PacketPtr packet_;
    std::vector<std::uint8_t> fileBytes_;
    std::int64_t lastVideoPts_ = AV_NOPTS_VALUE;
    std::map<std::int64_t, std::int64_t> durations_;  // encoder pts -> duration (stream units)

    ffmpeg::InputPtr soundIn_;
    int soundIndex_ = -1;
    AVStream* audio_ = nullptr;
    std::int64_t soundStart_ = 0;  // the sound stream's first time, its units
    bool soundDone_ = false;
    std::int64_t soundWritten100ns_ = 0;
    ffmpeg::CodecContextPtr soundDecoder_, soundEncoder_;
    ffmpeg::FifoPtr fifo_;
    std::int64_t soundSamplesOut_ = 0;
};

bool FfmpegVideoExportWriter::open(const VideoExportSetup& setup, std::string* error) {
    finalPath_ = setup.outputPath;
    replace_ = setup.replace;
    bmp_ = setup.bmpFrames;
    struct stat info {};
    if (!replace_ && ::lstat(finalPath_.c_str(), &info) == 0) {
        *error = finalPath_ + " exists; it is not replaced";
        return false;
    }
    const AVOutputFormat* format = av_guess_format(nullptr, finalPath_.c_str(), nullptr);
    if (!format) {
        *error = "no video format has the extension of " + finalPath_ + " (use .mkv)";
        return false;
    }
    // Written beside the final name, so the rename at the end stays on one file system.
    const std::size_t slash = finalPath_.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : finalPath_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? finalPath_ : finalPath_.substr(slash + 1);
    temporaryPath_ = folder + "." + name + "." + std::to_string(::getpid()) + ".part";

    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, format, nullptr, temporaryPath_.c_str()) < 0 || !raw) {
        *error = "the output cannot be set up";
        temporaryPath_.clear();
        return false;
    }
    out_.reset(raw);
    packet_.reset(av_packet_alloc());
    decoded_.reset(av_frame_alloc());
    if (!packet_ || !decoded_) {
        *error = "out of memory";
        return false;
    }
    if (!openVideo(setup, error))
        return false;
    if (!setup.soundPath.empty() && !openSound(setup.soundPath, error))
        return false;
    if (!setup.startedUtc.empty())
        av_dict_set(&out_->metadata, "creation_time", setup.startedUtc.c_str(), 0);
    av_dict_set(&out_->metadata, "encoder", "Marrowdale", 0);

    if (!(format->flags & AVFMT_NOFILE)) {
        const int rc = avio_open(&out_->pb, temporaryPath_.c_str(), AVIO_FLAG_WRITE);
        if (rc < 0) {
            *error = finalPath_ + " cannot be written (" + ffmpegError(rc) + ")";
            temporaryPath_.clear();
            return false;
        }
    }
    const int rc = avformat_write_header(out_.get(), nullptr);
    if (rc < 0) {
        *error = "the file header cannot be written (" + ffmpegError(rc) + ")";
        return false;
    }
    return true;
}

bool FfmpegVideoExportWriter::openVideo(const VideoExportSetup& setup, std::string* error) {
    // The first frame gives the size.
    std::string why;
    if (!readWholeFile(setup.firstFramePath, &fileBytes_, &why)) {
        *error = why;
        return false;
    }
    if (bmp_) {
        ffmpeg::FramePtr probe(av_frame_alloc());
        if (!probe || !bmpFrame(fileBytes_, probe.get(), &why)) {
            *error = setup.firstFramePath + ": " + why;
            return false;
        }
        width_ = probe->width;
        height_ = probe->height;
    } else {
        decoder_ = openJpegDecoder(error);
        if (!decoder_)
            return false;
        packet_->data = fileBytes_.data();
        packet_->size = static_cast<int>(fileBytes_.size());
        const bool ok = decodeJpeg(decoder_.get(), packet_.get(), decoded_.get(), &why);
        packet_->data = nullptr;
        packet_->size = 0;
        if (!ok) {
            *error = setup.firstFramePath + ": " + why;
            return false;
        }
        width_ = decoded_->width;
        height_ = decoded_->height;
    }

    const bool copy = setup.codec == ExportVideoCodec::kCopy && !bmp_;
    const AVCodec* codec = nullptr;
    if (setup.codec == ExportVideoCodec::kH264) {
        codec = avcodec_find_encoder_by_name("libx264");
        if (!codec) {
            *error = "this FFmpeg has no H.264 encoder (libx264)";
            return false;
        }
    } else if (!copy) {
        codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
        if (!codec) {
            *error = "this FFmpeg has no Motion JPEG encoder";
            return false;
        }
    }
    const AVCodecID id = copy ? AV_CODEC_ID_MJPEG : codec->id;
    if (avformat_query_codec(out_->oformat, id, FF_COMPLIANCE_NORMAL) == 0) {
        *error = std::string("a ") + out_->oformat->name + " file cannot hold " +
                 avcodec_get_name(id) + " video (use .mkv" + (copy ? ", or H.264" : "") + ")";
        return false;
    }
    video_ = avformat_new_stream(out_.get(), nullptr);
    if (!video_) {
        *error = "out of memory";
        return false;
    }
    if (copy) {
        video_->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
        video_->codecpar->codec_id = AV_CODEC_ID_MJPEG;
        video_->codecpar->width = width_;
        video_->codecpar->height = height_;
        video_->codecpar->format = decoded_->format;
        video_->codecpar->color_range = AVCOL_RANGE_JPEG;
        video_->time_base = AVRational{1, 1000};
        return true;
    }
    // Encoded pictures have even sizes (4:2:0); an odd last column or row is left out.
    const int width = width_ & ~1;
    const int height = height_ & ~1;
    if (width == 0 || height == 0) {
        *error = "the frames are too small to encode";
        return false;
    }
    encoder_.reset(avcodec_alloc_context3(codec));
    converted_.reset(av_frame_alloc());
    if (!encoder_ || !converted_) {
        *error = "out of memory";
        return false;
    }
    AVCodecContext* e = encoder_.get();
    e->log_level_offset = kEncoderLogLevelsDown;
    e->width = width;
    e->height = height;
    e->time_base = kEncoderTimeBase;
    e->sample_aspect_ratio = AVRational{1, 1};
    AVDictionary* options = nullptr;
    if (codec->id == AV_CODEC_ID_MJPEG) {
        e->pix_fmt = AV_PIX_FMT_YUVJ420P;
        e->color_range = AVCOL_RANGE_JPEG;
        e->flags |= AV_CODEC_FLAG_QSCALE;
        e->global_quality = FF_QP2LAMBDA * kMjpegQuantiser;
    } else if (!bmp_ && decoded_->format == AV_PIX_FMT_YUVJ420P && width == width_ &&
               height == height_) {
        // The JPEG pictures' own 4:2:0 at full range: encoded as they are decoded, with no
        // conversion (the file says full range).
        e->pix_fmt = AV_PIX_FMT_YUVJ420P;
        e->color_range = AVCOL_RANGE_JPEG;
    } else {
        e->pix_fmt = AV_PIX_FMT_YUV420P;
        e->color_range = AVCOL_RANGE_MPEG;
    }
    if (codec->id != AV_CODEC_ID_MJPEG) {
        e->thread_count = 0;
        // Rate control wants a frame rate; the frames keep their own times.
        e->framerate = AVRational{
            10000000, static_cast<int>(std::max<std::int64_t>(
                          1, std::min<std::int64_t>(setup.frameSpacing100ns, INT32_MAX)))};
        av_dict_set(&options, "preset", "veryfast", 0);
        av_dict_set(&options, "crf", "23", 0);
    }
    if (out_->oformat->flags & AVFMT_GLOBALHEADER)
        e->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int rc = avcodec_open2(e, codec, &options);
    av_dict_free(&options);
    if (rc < 0) {
        *error = std::string("the ") + codec->name + " encoder cannot be opened (" +
                 ffmpegError(rc) + ")";
        return false;
    }
    rc = avcodec_parameters_from_context(video_->codecpar, e);
    if (rc < 0) {
        *error = "the video stream cannot be set up";
        return false;
    }
    video_->time_base = e->time_base;
    converted_->format = e->pix_fmt;
    converted_->width = width;
    converted_->height = height;
    if (av_frame_get_buffer(converted_.get(), 0) < 0) {
        *error = "out of memory";
        return false;
    }
    return true;
}

bool FfmpegVideoExportWriter::openSound(const std::string& path, std::string* error) {
    AVFormatContext* raw = nullptr;
    int rc = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (rc < 0) {
        *error = path + " cannot be read (" + ffmpegError(rc) + ")";
        return false;
    }
    soundIn_.reset(raw);
    rc = avformat_find_stream_info(raw, nullptr);
    if (rc >= 0)
        rc = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (rc < 0) {
        *error = path + " holds no sound that can be read";
        return false;
    }
    soundIndex_ = rc;
    const AVStream* in = raw->streams[soundIndex_];
    soundStart_ = in->start_time == AV_NOPTS_VALUE ? 0 : in->start_time;
    audio_ = avformat_new_stream(out_.get(), nullptr);
    if (!audio_) {
        *error = "out of memory";
        return false;
    }
    // Matroska holds any sound through its compatibility codec ids (WMA as A_MS/ACM), which
    // FFmpeg counts as unofficial.
    if (avformat_query_codec(out_->oformat, in->codecpar->codec_id, FF_COMPLIANCE_UNOFFICIAL) ==
        1) {
        // The container holds the sound as it is: copied.
        if (avcodec_parameters_copy(audio_->codecpar, in->codecpar) < 0) {
            *error = "out of memory";
            return false;
        }
        audio_->codecpar->codec_tag = 0;
        audio_->time_base = in->time_base;
        return true;
    }
    return openSoundEncoder(error);
}

bool FfmpegVideoExportWriter::openSoundEncoder(std::string* error) {
    const AVStream* in = soundIn_->streams[soundIndex_];
    const AVCodec* decoder = avcodec_find_decoder(in->codecpar->codec_id);
    const AVCodec* encoder = avcodec_find_encoder(out_->oformat->audio_codec);
    if (!decoder || !encoder) {
        *error = std::string("a ") + out_->oformat->name + " file cannot hold the sound";
        return false;
    }
    soundDecoder_.reset(avcodec_alloc_context3(decoder));
    soundEncoder_.reset(avcodec_alloc_context3(encoder));
    if (!soundDecoder_ || !soundEncoder_ ||
        avcodec_parameters_to_context(soundDecoder_.get(), in->codecpar) < 0 ||
        avcodec_open2(soundDecoder_.get(), decoder, nullptr) < 0) {
        *error = "the sound cannot be decoded";
        return false;
    }
    AVCodecContext* e = soundEncoder_.get();
    e->log_level_offset = kEncoderLogLevelsDown;
    const AVSampleFormat wanted = soundDecoder_->sample_fmt;
    bool formatOk = encoder->sample_fmts == nullptr;
    for (const AVSampleFormat* f = encoder->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f)
        formatOk = formatOk || *f == wanted;
    if (!formatOk) {
        *error = std::string("the ") + encoder->name + " encoder cannot take the sound's samples";
        return false;
    }
    e->sample_fmt = wanted;
    e->sample_rate = soundDecoder_->sample_rate;
    // A layout the sound file does not name (WMA in ASF) is taken as the usual one for its
    // count of channels: encoders want to know where each channel goes.
    if (soundDecoder_->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&e->ch_layout, soundDecoder_->ch_layout.nb_channels);
    else if (av_channel_layout_copy(&e->ch_layout, &soundDecoder_->ch_layout) < 0) {
        *error = "out of memory";
        return false;
    }
    e->bit_rate = 160000;
    e->time_base = AVRational{1, e->sample_rate};
    if (out_->oformat->flags & AVFMT_GLOBALHEADER)
        e->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(e, encoder, nullptr) < 0 ||
        avcodec_parameters_from_context(audio_->codecpar, e) < 0) {
        *error = std::string("the ") + encoder->name + " encoder cannot be opened";
        return false;
    }
    audio_->time_base = e->time_base;
    fifo_.reset(av_audio_fifo_alloc(e->sample_fmt, e->ch_layout.nb_channels, 4096));
    if (!fifo_) {
        *error = "out of memory";
        return false;
    }
    return true;
}

bool FfmpegVideoExportWriter::write(AVPacket* packet, std::string* error) {
    const int rc = av_interleaved_write_frame(out_.get(), packet);
    if (rc < 0) {
        *error = finalPath_ + " cannot be written (" + ffmpegError(rc) + ")";
        return false;
    }
    return true;
}

bool FfmpegVideoExportWriter::encodeSoundFrames(bool flush, std::string* error) {
    AVCodecContext* e = soundEncoder_.get();
    const int frameSize = e->frame_size > 0 ? e->frame_size : 1024;
    ffmpeg::FramePtr frame(av_frame_alloc());
    ffmpeg::PacketPtr packet(av_packet_alloc());
    if (!frame || !packet) {
        *error = "out of memory";
        return false;
    }
    while (av_audio_fifo_size(fifo_.get()) >= frameSize ||
           (flush && av_audio_fifo_size(fifo_.get()) > 0)) {
        av_frame_unref(frame.get());
        frame->nb_samples = std::min(frameSize, av_audio_fifo_size(fifo_.get()));
        frame->format = e->sample_fmt;
        frame->sample_rate = e->sample_rate;
        if (av_channel_layout_copy(&frame->ch_layout, &e->ch_layout) < 0 ||
            av_frame_get_buffer(frame.get(), 0) < 0) {
            *error = "out of memory";
            return false;
        }
        av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame->data), frame->nb_samples);
        frame->pts = soundSamplesOut_;
        soundSamplesOut_ += frame->nb_samples;
        if (avcodec_send_frame(e, frame.get()) < 0) {
            *error = "the sound cannot be encoded";
            return false;
        }
        while (avcodec_receive_packet(e, packet.get()) == 0) {
            packet->stream_index = audio_->index;
            av_packet_rescale_ts(packet.get(), e->time_base, audio_->time_base);
            if (!write(packet.get(), error))
                return false;
        }
    }
    if (flush) {
        avcodec_send_frame(e, nullptr);
        while (avcodec_receive_packet(e, packet.get()) == 0) {
            packet->stream_index = audio_->index;
            av_packet_rescale_ts(packet.get(), e->time_base, audio_->time_base);
            if (!write(packet.get(), error))
                return false;
        }
    }
    return true;
}

bool FfmpegVideoExportWriter::writeSound(std::int64_t until100ns, std::string* error) {
    if (!audio_ || soundDone_)
        return true;
    const AVStream* in = soundIn_->streams[soundIndex_];
    ffmpeg::PacketPtr packet(av_packet_alloc());
    ffmpeg::FramePtr frame(av_frame_alloc());
    if (!packet || !frame) {
        *error = "out of memory";
        return false;
    }
    while (until100ns < 0 || soundWritten100ns_ < until100ns) {
        const int rc = av_read_frame(soundIn_.get(), packet.get());
        if (rc == AVERROR_EOF) {
            soundDone_ = true;
            break;
        }
        if (rc < 0) {
            *error = "the sound cannot be read (" + ffmpegError(rc) + ")";
            return false;
        }
        if (packet->stream_index != soundIndex_) {
            av_packet_unref(packet.get());
            continue;
        }
        // The sound's own start is the recording's zero.
        if (packet->pts != AV_NOPTS_VALUE)
            packet->pts -= soundStart_;
        if (packet->dts != AV_NOPTS_VALUE)
            packet->dts -= soundStart_;
        if (packet->pts != AV_NOPTS_VALUE)
            soundWritten100ns_ = av_rescale_q(packet->pts, in->time_base, k100ns);
        if (!soundEncoder_) {
            packet->stream_index = audio_->index;
            av_packet_rescale_ts(packet.get(), in->time_base, audio_->time_base);
            packet->pos = -1;
            if (!write(packet.get(), error))
                return false;
            continue;
        }
        const int sent = avcodec_send_packet(soundDecoder_.get(), packet.get());
        av_packet_unref(packet.get());
        if (sent < 0 && sent != AVERROR(EAGAIN)) {
            *error = "the sound cannot be decoded";
            return false;
        }
        while (avcodec_receive_frame(soundDecoder_.get(), frame.get()) == 0) {
            av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(frame->extended_data),
                                frame->nb_samples);
            av_frame_unref(frame.get());
        }
        if (!encodeSoundFrames(false, error))
            return false;
    }
    if (soundDone_ && soundEncoder_) {
        avcodec_send_packet(soundDecoder_.get(), nullptr);
        while (avcodec_receive_frame(soundDecoder_.get(), frame.get()) == 0) {
            av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(frame->extended_data),
                                frame->nb_samples);
            av_frame_unref(frame.get());
        }
        return encodeSoundFrames(true, error);
    }
    return true;
}

bool FfmpegVideoExportWriter::pictureOf(const std::string& path, AVPacket* packet,
                                        std::string* error) {
    std::string why;
    if (bmp_) {
        if (!readWholeFile(path, &fileBytes_, &why) ||
            !bmpFrame(fileBytes_, decoded_.get(), &why)) {
            *error = path + ": " + why;
            return false;
        }
        return true;
    }
    if (!readPacket(path, packet, &why) ||
        !decodeJpeg(decoder_.get(), packet, decoded_.get(), &why)) {
        *error = path + ": " + why;
        return false;
    }
    return true;
}

bool FfmpegVideoExportWriter::encodePicture(AVFrame* picture, std::int64_t pts,
                                            std::string* error) {
    AVCodecContext* e = encoder_.get();
    if (picture->format == e->pix_fmt && picture->width == e->width &&
        picture->height == e->height) {
        // Already what the encoder takes. A decoded JPEG calls itself an intra picture, which
        // the encoder would obey: the encoder chooses.
        picture->pts = pts;
        picture->pict_type = AV_PICTURE_TYPE_NONE;
        const int rc = avcodec_send_frame(e, picture);
        if (rc < 0) {
            *error = "the picture cannot be encoded (" + ffmpegError(rc) + ")";
            return false;
        }
        return drainVideo(error);
    }
    // Every picture becomes the first frame's size; a larger one is cut at its odd edge.
    const int srcWidth = picture->width == width_ ? e->width : picture->width;
    const int srcHeight = picture->height == height_ ? e->height : picture->height;
    scale_.reset(sws_getCachedContext(
        scale_.release(), srcWidth, srcHeight, static_cast<AVPixelFormat>(picture->format),
        e->width, e->height, e->pix_fmt, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!scale_ || av_frame_make_writable(converted_.get()) < 0) {
        *error = "the picture cannot be converted";
        return false;
    }
    sws_scale(scale_.get(), picture->data, picture->linesize, 0, srcHeight, converted_->data,
              converted_->linesize);
    converted_->pts = pts;
    if (e->codec_id == AV_CODEC_ID_MJPEG)
        converted_->quality = e->global_quality;
    const int rc = avcodec_send_frame(e, converted_.get());
    if (rc < 0) {
        *error = "the picture cannot be encoded (" + ffmpegError(rc) + ")";
        return false;
    }
    return drainVideo(error);
}

bool FfmpegVideoExportWriter::drainVideo(std::string* error) {
    AVCodecContext* e = encoder_.get();
    for (;;) {
        const int rc = avcodec_receive_packet(e, packet_.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return true;
        if (rc < 0) {
            *error = "the picture cannot be encoded (" + ffmpegError(rc) + ")";
            return false;
        }
        const auto found = durations_.find(packet_->pts);
        if (found != durations_.end()) {
            packet_->duration = found->second;
            durations_.erase(found);
        }
        packet_->stream_index = video_->index;
        av_packet_rescale_ts(packet_.get(), e->time_base, video_->time_base);
        if (!write(packet_.get(), error))
            return false;
    }
}

bool FfmpegVideoExportWriter::addFrame(const std::string& path, std::int64_t time100ns,
                                       std::int64_t duration100ns, std::string* error) {
    const AVRational base = encoder_ ? encoder_->time_base : video_->time_base;
    const std::int64_t pts = av_rescale_q(time100ns, k100ns, base);
    const std::int64_t end = av_rescale_q(time100ns + duration100ns, k100ns, base);
    // The container's clock cannot tell this frame from the one before: it would never show.
    const std::int64_t shownAt = av_rescale_q(time100ns, k100ns, video_->time_base);
    if (lastVideoPts_ != AV_NOPTS_VALUE && shownAt <= lastVideoPts_)
        return true;
    lastVideoPts_ = shownAt;
    if (!writeSound(time100ns + kSoundLead100ns, error))
        return false;

    if (!encoder_) {
        std::string why;
        if (!readPacket(path, packet_.get(), &why)) {
            *error = why;
            return false;
        }
        packet_->pts = packet_->dts = pts;
        packet_->duration = end - pts;
        packet_->flags |= AV_PKT_FLAG_KEY;
        packet_->stream_index = video_->index;
        return write(packet_.get(), error);
    }
    const bool ok = pictureOf(path, packet_.get(), error);
    av_packet_unref(packet_.get());
    if (!ok)
        return false;
    durations_[pts] = end - pts;
    return encodePicture(decoded_.get(), pts, error);
}

bool FfmpegVideoExportWriter::finish(std::string* error) {
    if (encoder_) {
        avcodec_send_frame(encoder_.get(), nullptr);
        if (!drainVideo(error))
            return false;
    }
    if (!writeSound(-1, error))
        return false;
    int rc = av_write_trailer(out_.get());
    if (rc < 0) {
        *error = finalPath_ + " cannot be finished (" + ffmpegError(rc) + ")";
        return false;
    }
    if (out_->pb) {
        rc = avio_closep(&out_->pb);
        if (rc < 0) {
            *error = finalPath_ + " cannot be written (" + ffmpegError(rc) + ")";
            return false;
        }
    }
    int moved = replace_ ? ::rename(temporaryPath_.c_str(), finalPath_.c_str())
                         : ::renameat2(AT_FDCWD, temporaryPath_.c_str(), AT_FDCWD,
                                       finalPath_.c_str(), RENAME_NOREPLACE);
    if (moved != 0 && !replace_ && (errno == EINVAL || errno == ENOSYS)) {
        // A file system without the flag: a hard link never replaces either.
        moved = ::link(temporaryPath_.c_str(), finalPath_.c_str());
        if (moved == 0)
            ::unlink(temporaryPath_.c_str());
    }
    if (moved != 0) {
        *error = finalPath_ + " cannot be put in place: " + std::strerror(errno);
        return false;
    }
    finished_ = true;
    return true;
}

class FfmpegVideoExporter final : public VideoExporter {
  public:
    std::unique_ptr<VideoExportWriter> open(const VideoExportSetup& setup,
                                            std::string* error) override {
        auto writer = std::make_unique<FfmpegVideoExportWriter>();
        if (!writer->open(setup, error))
            return nullptr;
        return writer;
    }
};

}  // namespace

std::unique_ptr<VideoExporter> createFfmpegVideoExporter() {
    return std::make_unique<FfmpegVideoExporter>();
}

}  // namespace marrowdale
