#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ffmpeg/ffmpeg_media.h"
#include "platform/ffmpeg/ffmpeg_owners.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
}

namespace marrowdale {

namespace {

// What a killed recording keeps: every ASF packet goes to the file as soon as the muxer has
// completed it (the muxer holds one packet at a time, so a packet is made to hold no more than
// about kPacketSeconds of sound), the header is on the disk as writing begins, and the file is
// synced to the disk every kSyncInterval by a thread of the file's own, so that the thread that
// hands the sound over never waits for the disk.
constexpr double kPacketSeconds = 0.1;
constexpr int kSmallestPacketBytes = 400;
constexpr int kLargestPacketBytes = 3200;  // the muxer's own size
constexpr auto kSyncInterval = std::chrono::seconds(1);
constexpr int kIoBufferBytes = 32 * 1024;

// The ASF packet size for a stream of `bitrate` bits per second.
int packetBytesFor(std::uint32_t bitrate) {
    const auto bytes = static_cast<int>(bitrate / 8.0 * kPacketSeconds);
    return std::clamp(bytes, kSmallestPacketBytes, kLargestPacketBytes);
}

// The output file, written and sought through its own descriptor, and synced to the disk by a
// thread of its own while it is open.
class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile() { close(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool open(const std::string& path) {
        close();
        fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0)
            return false;
        const std::size_t slash = path.rfind('/');
        folder_ = slash == std::string::npos ? "." : path.substr(0, slash + 1);
        return true;
    }
    // From now on the file goes to the disk at once (its name with it) and then every
    // kSyncInterval, until close().
    void startSyncing() {
        if (fd_ < 0 || syncer_.joinable())
            return;
        stopping_ = false;
        syncer_ = std::thread([this] {
            // The file's name is on the disk too, not only its data.
            const int dir = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (dir >= 0) {
                (void)::fsync(dir);
                ::close(dir);
            }
            std::unique_lock lock(mutex_);
            while (!stopping_) {
                lock.unlock();
                (void)::fdatasync(fd_);
                lock.lock();
                wake_.wait_for(lock, kSyncInterval, [this] { return stopping_; });
            }
        });
    }
    // Ends the syncing thread; then everything written is synced once more. False when that
    // fails.
    bool finalSync() {
        stopSyncing();
        return fd_ >= 0 && ::fdatasync(fd_) == 0;
    }
    // Closes the file; false when the last of it could not be written.
    bool close() {
        stopSyncing();
        if (fd_ < 0)
            return true;
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

    static int write(void* opaque, std::uint8_t* data, int size) {
        auto* self = static_cast<OutputFile*>(opaque);
        int left = size;
        while (left > 0) {
            const ssize_t n = ::write(self->fd_, data, static_cast<std::size_t>(left));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return AVERROR(n < 0 ? errno : ENOSPC);
            data += n;
            left -= static_cast<int>(n);
        }
        return size;
    }
    static std::int64_t seek(void* opaque, std::int64_t offset, int whence) {
        auto* self = static_cast<OutputFile*>(opaque);
        if (whence & AVSEEK_SIZE) {
            struct stat info {};
            return ::fstat(self->fd_, &info) == 0 ? info.st_size : AVERROR(errno);
        }
        const off_t at = ::lseek(self->fd_, offset, whence & ~AVSEEK_FORCE);
        return at < 0 ? AVERROR(errno) : at;
    }

  private:
    void stopSyncing() {
        if (!syncer_.joinable())
            return;
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        syncer_.join();
    }

    int fd_ = -1;
    std::string folder_;
    std::thread syncer_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
};

// The buffers of samples, recycled: a sample gives its buffer back when it is destroyed, so a
// steady stream of packets allocates nothing after the first few.
class SamplePool {
  public:
    std::vector<std::uint8_t> take(std::uint32_t size) {
        std::vector<std::uint8_t> buffer;
        if (!free_.empty()) {
            buffer = std::move(free_.back());
            free_.pop_back();
        }
        if (buffer.size() < size)
            buffer.resize(size);
        return buffer;
    }
    void give(std::vector<std::uint8_t> buffer) {
        if (free_.size() < 8)
            free_.push_back(std::move(buffer));
    }

  private:
    std::vector<std::vector<std::uint8_t>> free_;
};

class PooledSample final : public MediaSample {
  public:
    PooledSample(std::shared_ptr<SamplePool> pool, std::uint32_t size)
        : pool_(std::move(pool)), buffer_(pool_->take(size)), capacity_(size) {}
    ~PooledSample() override { pool_->give(std::move(buffer_)); }

    HResult getBufferAndLength(std::uint8_t** data, std::uint32_t* maxLength) override {
        if (data == nullptr || maxLength == nullptr)
            return E_POINTER;
        *data = buffer_.data();
        *maxLength = capacity_;
        return S_OK;
    }
    HResult setLength(std::uint32_t length) override {
        if (length > capacity_)
            return E_INVALIDARG;
        length_ = length;
        return S_OK;
    }
    std::uint32_t length() const override { return length_; }
    const std::uint8_t* data() const { return buffer_.data(); }

  private:
    std::shared_ptr<SamplePool> pool_;
    std::vector<std::uint8_t> buffer_;
    std::uint32_t capacity_;
    std::uint32_t length_ = 0;
};

const char* encoderForSubtype(const Guid& subtype) {
    if (subtype == kSubtypeWmaV2)
        return "wmav2";
    if (subtype == kSubtypeWmaV1)
        return "wmav1";
    return nullptr;
}

class FfmpegWriter final : public MediaWriter, public WriterAdvanced {
  public:
    ~FfmpegWriter() override {
        if (writing_)
            endWriting();
    }

    HResult setOutputFilename(const std::string& path) override {
        if (writing_)
            return NS_E_INVALID_REQUEST;
        if (path.empty())
            return E_INVALIDARG;
        path_ = path;
        return S_OK;
    }

    HResult setProfile(const Profile& profile) override {
        if (writing_)
            return NS_E_INVALID_REQUEST;
        if (profile.streams().size() != 1)
            return E_INVALIDARG;
        const ProfileStream& stream = profile.streams().front();
        WaveFormatEx wave;
        if (stream.mediaType.majorType != kMediaTypeAudio ||
            encoderForSubtype(stream.mediaType.subtype) == nullptr ||
            !decodeWaveFormat(stream.mediaType.format, &wave) || wave.channels < 1 ||
            wave.channels > 2 || wave.samplesPerSec == 0 || stream.bitrate == 0)
            return NS_E_INVALID_REQUEST;
        stream_ = stream;
        streamWave_ = wave;
        haveProfile_ = true;
        input_ = pcmInput();
        inputBytesPerSample_ = 2;
        return S_OK;
    }

    HResult queryAdvanced(WriterAdvanced** advanced) override {
        if (advanced == nullptr)
            return E_POINTER;
        *advanced = this;
        return S_OK;
    }

    HResult setLiveSource(bool live) override {
        live_ = live;
        return S_OK;
    }

    HResult getInputFormatCount(std::uint32_t input, std::uint32_t* count) override {
        if (count == nullptr)
            return E_POINTER;
        if (!haveProfile_ || input != 0)
            return E_INVALIDARG;
        *count = 2;
        return S_OK;
    }

    HResult getInputFormat(std::uint32_t input, std::uint32_t formatIndex,
                           MediaType* type) override {
        if (type == nullptr)
            return E_POINTER;
        if (!haveProfile_ || input != 0 || formatIndex > 1)
            return E_INVALIDARG;
        *type = formatIndex == 0 ? pcmInput() : floatInput();
        return S_OK;
    }

    HResult setInputProps(std::uint32_t input, const MediaType& type) override {
        if (!haveProfile_ || input != 0)
            return E_INVALIDARG;
        if (writing_)
            return NS_E_INVALID_REQUEST;
        if (type == pcmInput()) {
            inputBytesPerSample_ = 2;
        } else if (type == floatInput()) {
            inputBytesPerSample_ = 4;
        } else {
            return NS_E_INVALID_INPUT_FORMAT;
        }
        input_ = type;
        return S_OK;
    }

    HResult beginWriting() override {
        if (writing_ || !haveProfile_ || path_.empty())
            return NS_E_INVALID_REQUEST;
        const AVCodec* codec =
            avcodec_find_encoder_by_name(encoderForSubtype(stream_.mediaType.subtype));
        if (codec == nullptr)
            return NS_E_INVALID_REQUEST;
        ffmpeg::CodecContextPtr ctx(avcodec_alloc_context3(codec));
        if (!ctx)
            return E_OUTOFMEMORY;
        const auto rate = static_cast<int>(streamWave_.samplesPerSec);
        ctx->sample_fmt = AV_SAMPLE_FMT_FLTP;
        ctx->sample_rate = rate;
        av_channel_layout_default(&ctx->ch_layout, streamWave_.channels);
        ctx->bit_rate = stream_.bitrate;
        ctx->time_base = AVRational{1, rate};

        AVFormatContext* raw = nullptr;
        if (avformat_alloc_output_context2(&raw, nullptr, "asf", path_.c_str()) < 0 || !raw)
            return NS_E_INVALID_REQUEST;
        ffmpeg::OutputPtr output(raw);
        if (output->oformat->flags & AVFMT_GLOBALHEADER)
            ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (output->priv_data != nullptr)
            (void)av_opt_set_int(output->priv_data, "packet_size", packetBytesFor(stream_.bitrate),
                                 0);
        if (avcodec_open2(ctx.get(), codec, nullptr) < 0)
            return NS_E_INVALID_REQUEST;
        AVStream* st = avformat_new_stream(output.get(), nullptr);
        if (st == nullptr)
            return E_OUTOFMEMORY;
        st->time_base = ctx->time_base;
        if (avcodec_parameters_from_context(st->codecpar, ctx.get()) < 0)
            return E_OUTOFMEMORY;
        av_dict_set(&st->metadata, "title", stream_.name.c_str(), 0);
        auto file = std::make_unique<OutputFile>();
        if (!file->open(path_))
            return NS_E_FILE_OPEN_FAILED;
        auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
        if (buffer == nullptr)
            return E_OUTOFMEMORY;
        ffmpeg::IoPtr io(avio_alloc_context(buffer, kIoBufferBytes, 1, file.get(), nullptr,
                                            &OutputFile::write, &OutputFile::seek));
        if (!io) {
            av_free(buffer);
            return E_OUTOFMEMORY;
        }
        output->pb = io.get();
        output->flags |= AVFMT_FLAG_CUSTOM_IO;
        // The header goes into the file at once: from here on the file is one that plays.
        if (avformat_write_header(output.get(), nullptr) < 0)
            return NS_E_FILE_WRITE;
        avio_flush(io.get());
        if (io->error < 0)
            return NS_E_FILE_WRITE;
        file->startSyncing();

        frame_.reset(av_frame_alloc());
        packet_.reset(av_packet_alloc());
        if (!frame_ || !packet_)
            return E_OUTOFMEMORY;
        frame_->format = AV_SAMPLE_FMT_FLTP;
        frame_->nb_samples = ctx->frame_size;
        frame_->sample_rate = rate;
        if (av_channel_layout_copy(&frame_->ch_layout, &ctx->ch_layout) < 0)
            return E_OUTOFMEMORY;
        if (av_frame_get_buffer(frame_.get(), 0) < 0)
            return E_OUTOFMEMORY;

        frameSize_ = ctx->frame_size;
        channels_ = streamWave_.channels;
        fifo_.assign(channels_, std::vector<float>());
        for (auto& plane : fifo_)
            plane.reserve(static_cast<std::size_t>(rate) * 2);
        fifoRead_ = 0;
        fifoStart_ = 0;
        started_ = false;
        codec_ = std::move(ctx);
        file_ = std::move(file);
        io_ = std::move(io);
        output_ = std::move(output);
        stream_index_ = st->index;
        writing_ = true;
        writeFailed_ = false;
        return S_OK;
    }

    HResult endWriting() override {
        if (!writing_)
            return NS_E_INVALID_REQUEST;
        HResult hr = writeFailed_ ? NS_E_FILE_WRITE : S_OK;
        // The last partial frame is filled up with silence: the encoder takes whole frames.
        if (fifoCount() > 0) {
            const std::size_t missing = static_cast<std::size_t>(frameSize_) - fifoCount();
            for (auto& plane : fifo_)
                plane.insert(plane.end(), missing, 0.0f);
            if (failed(encodeFullFrames()))
                hr = NS_E_FILE_WRITE;
        }
        if (avcodec_send_frame(codec_.get(), nullptr) >= 0) {
            if (failed(drainPackets()))
                hr = NS_E_FILE_WRITE;
        }
        if (av_write_trailer(output_.get()) < 0)
            hr = NS_E_FILE_WRITE;
        avio_flush(io_.get());
        if (io_->error < 0 || !file_->finalSync())
            hr = NS_E_FILE_WRITE;
        output_.reset();
        io_.reset();
        if (!file_->close())
            hr = NS_E_FILE_WRITE;
        file_.reset();
        codec_.reset();
        frame_.reset();
        packet_.reset();
        writing_ = false;
        return hr;
    }

    HResult allocateSample(std::uint32_t size, std::unique_ptr<MediaSample>* sample) override {
        if (sample == nullptr)
            return E_POINTER;
        *sample = std::make_unique<PooledSample>(pool_, size);
        return S_OK;
    }

    HResult writeSample(std::uint32_t input, std::uint64_t sampleTime100ns, std::uint32_t,
                        MediaSample& sample) override {
        if (!writing_)
            return NS_E_INVALID_REQUEST;
        if (input != 0)
            return E_INVALIDARG;
        auto* pooled = dynamic_cast<PooledSample*>(&sample);
        if (pooled == nullptr)
            return E_INVALIDARG;
        const std::size_t frames = sample.length() / (inputBytesPerSample_ * channels_);
        const auto time = static_cast<std::int64_t>(
            std::llround(static_cast<double>(sampleTime100ns) * streamWave_.samplesPerSec / 1e7));
        if (!started_) {
            fifoStart_ = time;
            started_ = true;
            // The encoder's first frame only primes it: a decoder gives out what follows it. The
            // sound is preceded by that much silence, so that it decodes at its own time.
            if (codec_->initial_padding > 0)
                for (auto& plane : fifo_)
                    plane.insert(plane.end(), static_cast<std::size_t>(codec_->initial_padding),
                                 0.0f);
            fifoStart_ -= codec_->initial_padding;
        } else {
            const std::int64_t expected = fifoStart_ + static_cast<std::int64_t>(fifoCount());
            const std::int64_t gap = time - expected;
            if (gap > 0) {
                if (gap < frameSize_) {
                    // A short gap in the sample times is filled with silence.
                    for (auto& plane : fifo_)
                        plane.insert(plane.end(), static_cast<std::size_t>(gap), 0.0f);
                } else {
                    // A long one: the current frame is completed with silence and the next
                    // frame starts at the new time.
                    if (fifoCount() > 0) {
                        const std::size_t missing =
                            static_cast<std::size_t>(frameSize_) - fifoCount() % frameSize_;
                        if (missing != static_cast<std::size_t>(frameSize_))
                            for (auto& plane : fifo_)
                                plane.insert(plane.end(), missing, 0.0f);
                        if (failed(encodeFullFrames()))
                            return fail();
                    }
                    compact();
                    fifoStart_ = time;
                }
            }
        }
        appendInterleaved(pooled->data(), frames);
        if (failed(encodeFullFrames()))
            return fail();
        return S_OK;
    }

  private:
    MediaType pcmInput() const {
        return waveMediaType(kWaveFormatPcm, streamWave_.channels, streamWave_.samplesPerSec, 16);
    }
    MediaType floatInput() const {
        return waveMediaType(kWaveFormatIeeeFloat, streamWave_.channels, streamWave_.samplesPerSec,
                             32);
    }

    HResult fail() {
        writeFailed_ = true;
        return NS_E_FILE_WRITE;
    }

    std::size_t fifoCount() const { return fifo_.empty() ? 0 : fifo_[0].size() - fifoRead_; }

    void compact() {
        if (fifoRead_ == 0)
            return;
        for (auto& plane : fifo_)
            plane.erase(plane.begin(), plane.begin() + static_cast<std::ptrdiff_t>(fifoRead_));
        fifoRead_ = 0;
    }

    void appendInterleaved(const std::uint8_t* data, std::size_t frames) {
        for (unsigned c = 0; c < channels_; ++c) {
            auto& plane = fifo_[c];
            const std::size_t at = plane.size();
            plane.resize(at + frames);
            float* out = plane.data() + at;
            if (inputBytesPerSample_ == 2) {
                for (std::size_t i = 0; i < frames; ++i) {
                    std::int16_t v;
                    std::memcpy(&v, data + (i * channels_ + c) * 2, 2);
                    out[i] = static_cast<float>(v) * (1.0f / 32768.0f);
                }
            } else {
                for (std::size_t i = 0; i < frames; ++i)
                    std::memcpy(&out[i], data + (i * channels_ + c) * 4, 4);
            }
        }
    }

    HResult encodeFullFrames() {
        const auto frameSize = static_cast<std::size_t>(frameSize_);
        while (fifoCount() >= frameSize) {
            if (av_frame_make_writable(frame_.get()) < 0)
                return E_OUTOFMEMORY;
            for (unsigned c = 0; c < channels_; ++c)
                std::memcpy(frame_->data[c], fifo_[c].data() + fifoRead_,
                            frameSize * sizeof(float));
            frame_->pts = fifoStart_;
            fifoRead_ += frameSize;
            fifoStart_ += frameSize_;
            if (avcodec_send_frame(codec_.get(), frame_.get()) < 0)
                return NS_E_FILE_WRITE;
            const HResult hr = drainPackets();
            if (failed(hr))
                return hr;
        }
        if (fifoRead_ > frameSize * 8)
            compact();
        return S_OK;
    }

    HResult drainPackets() {
        for (;;) {
            const int got = avcodec_receive_packet(codec_.get(), packet_.get());
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
                return S_OK;
            if (got < 0)
                return NS_E_FILE_WRITE;
            AVStream* st = output_->streams[stream_index_];
            av_packet_rescale_ts(packet_.get(), codec_->time_base, st->time_base);
            packet_->stream_index = stream_index_;
            const int written = av_write_frame(output_.get(), packet_.get());
            av_packet_unref(packet_.get());
            if (written < 0)
                return NS_E_FILE_WRITE;
            // What the muxer has completed goes into the file now.
            if (live_)
                avio_flush(output_->pb);
            if (output_->pb->error < 0)
                return NS_E_FILE_WRITE;
        }
    }

    std::string path_;
    ProfileStream stream_;
    WaveFormatEx streamWave_;
    bool haveProfile_ = false;
    bool live_ = false;
    MediaType input_;
    std::size_t inputBytesPerSample_ = 2;

    bool writing_ = false;
    bool writeFailed_ = false;
    ffmpeg::CodecContextPtr codec_;
    std::unique_ptr<OutputFile> file_;
    ffmpeg::IoPtr io_;
    ffmpeg::OutputPtr output_;  // released before io_ and file_
    ffmpeg::FramePtr frame_;
    ffmpeg::PacketPtr packet_;
    int stream_index_ = 0;
    int frameSize_ = 0;
    unsigned channels_ = 0;
    std::vector<std::vector<float>> fifo_;  // per channel; samples from fifoRead_ are pending
    std::size_t fifoRead_ = 0;
    std::int64_t fifoStart_ = 0;  // time of the first pending sample, in samples
    bool started_ = false;
    std::shared_ptr<SamplePool> pool_ = std::make_shared<SamplePool>();
};

class FfmpegProfileManager final : public ProfileManager {
  public:
    HResult queryCodecInfo(std::shared_ptr<CodecInfo>* codecInfo) override {
        if (codecInfo == nullptr)
            return E_POINTER;
        *codecInfo = std::make_shared<CatalogueCodecInfo>(ffmpegCodecCatalogue());
        return S_OK;
    }
    HResult createEmptyProfile(std::uint32_t version, std::unique_ptr<Profile>* profile) override {
        if (profile == nullptr)
            return E_POINTER;
        if (version != kProfileVersion9 && version != 0x00080000 && version != 0x00070001)
            return E_INVALIDARG;
        *profile = std::make_unique<Profile>(version);
        return S_OK;
    }
};

class FfmpegMediaFormatService final : public MediaFormatService {
  public:
    HResult createProfileManager(std::unique_ptr<ProfileManager>* manager) override {
        if (manager == nullptr)
            return E_POINTER;
        *manager = std::make_unique<FfmpegProfileManager>();
        return S_OK;
    }
    HResult createWriter(std::unique_ptr<MediaWriter>* writer) override {
        if (writer == nullptr)
            return E_POINTER;
        *writer = std::make_unique<FfmpegWriter>();
        return S_OK;
    }
};

}  // namespace

std::unique_ptr<MediaFormatService> createFfmpegMediaFormatService() {
    return std::make_unique<FfmpegMediaFormatService>();
}

}  // namespace marrowdale
