#include "platform/pipewire/pipewire_picture_source.h"

#include <linux/dma-buf.h>
#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <spa/utils/result.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace marrowdale {

namespace {

constexpr std::int32_t kMaxSide = 16384;

// A GPU buffer that PipeWire does not map for us: mapped once, when the stream adds it.
struct MappedBuffer {
    void* address = MAP_FAILED;
    std::size_t length = 0;
};

class Source final : public PipeWirePictureSource {
  public:
    Source() = default;
    ~Source() override { shutDown(); }
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    bool connect(const PipeWireStreamTarget& target, std::string& error) {
        int fd = target.remoteFd;
        node_ = target.node;
        originX_ = target.originX;
        originY_ = target.originY;
        static std::once_flag initialised;
        std::call_once(initialised, [] { pw_init(nullptr, nullptr); });

        loop_ = pw_thread_loop_new("marrowdale-cast", nullptr);
        if (loop_ == nullptr) {
            ::close(fd);
            error = "PipeWire: cannot make the stream's thread";
            return false;
        }
        // Locking the mapped buffers into memory costs a pause at the start and, for a user
        // with a small lock limit, warnings; the buffers are read at once anyway.
        context_ = pw_context_new(pw_thread_loop_get_loop(loop_),
                                  pw_properties_new("mem.allow-mlock", "false", nullptr), 0);
        if (context_ == nullptr) {
            ::close(fd);
            error = "PipeWire: cannot make a context";
            return false;
        }
        if (pw_thread_loop_start(loop_) < 0) {
            ::close(fd);
            error = "PipeWire: cannot start the stream's thread";
            return false;
        }
        pw_thread_loop_lock(loop_);
        const bool ok = connectLocked(fd, error);
        pw_thread_loop_unlock(loop_);
        return ok;
    }

    bool copyNewest(std::int32_t left, std::int32_t top, const PictureTarget& target,
                    std::uint64_t& sequence) override {
        if (lost_.load(std::memory_order_relaxed))
            return false;
        pw_thread_loop_lock(loop_);
        bool ok = false;
        if (held_ != nullptr && !lost_.load()) {
            SourcePicture picture;
            int dmabufFd = -1;
            if (describeHeld(picture, dmabufFd)) {
                syncGpuBuffer(dmabufFd, DMA_BUF_SYNC_START);
                copyPictureRect(picture, left, top, target);
                syncGpuBuffer(dmabufFd, DMA_BUF_SYNC_END);
                sequence = received_.load();  // the held buffer is the newest one received
                ok = true;
            }
        }
        pw_thread_loop_unlock(loop_);
        return ok;
    }

    bool lost() const override { return lost_.load(); }

    bool waitForPicture(int timeoutMs) override {
        pw_thread_loop_lock(loop_);
        timespec deadline{};
        pw_thread_loop_get_time(loop_, &deadline, static_cast<std::int64_t>(timeoutMs) * 1000000);
        while (received_.load() == 0 && !lost_.load()) {
            if (pw_thread_loop_timed_wait_full(loop_, &deadline) == -ETIMEDOUT)
                break;
        }
        const bool ok = received_.load() > 0 && !lost_.load();
        pw_thread_loop_unlock(loop_);
        return ok;
    }

    std::string lostReason() const override {
        std::lock_guard lock(reasonMutex_);
        return lostReason_;
    }

    std::uint64_t picturesReceived() const override { return received_.load(); }

    std::uint64_t newestSequence() const override { return received_.load(); }

  private:
    bool connectLocked(int fd, std::string& error) {
        core_ = pw_context_connect_fd(context_, fd, nullptr, 0);  // takes the descriptor
        if (core_ == nullptr) {
            error =
                std::string("PipeWire: cannot connect to the screen cast: ") + std::strerror(errno);
            return false;
        }
        static const pw_core_events coreEvents = [] {
            pw_core_events e{};
            e.version = PW_VERSION_CORE_EVENTS;
            e.error = onCoreError;
            return e;
        }();
        pw_core_add_listener(core_, &coreListener_, &coreEvents, this);

        registry_ = pw_core_get_registry(core_, PW_VERSION_REGISTRY, 0);
        if (registry_ != nullptr) {
            static const pw_registry_events registryEvents = [] {
                pw_registry_events e{};
                e.version = PW_VERSION_REGISTRY_EVENTS;
                e.global_remove = onGlobalRemove;
                return e;
            }();
            pw_registry_add_listener(registry_, &registryListener_, &registryEvents, this);
        }

        pw_properties* props = pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                                 "Capture", PW_KEY_MEDIA_ROLE, "Screen",
                                                 PW_KEY_NODE_DONT_RECONNECT, "true", nullptr);
        stream_ = pw_stream_new(core_, "marrowdale screen", props);
        if (stream_ == nullptr) {
            error = "PipeWire: cannot make a stream";
            return false;
        }
        static const pw_stream_events streamEvents = [] {
            pw_stream_events e{};
            e.version = PW_VERSION_STREAM_EVENTS;
            e.state_changed = onStateChanged;
            e.param_changed = onParamChanged;
            e.add_buffer = onAddBuffer;
            e.remove_buffer = onRemoveBuffer;
            e.process = onProcess;
            return e;
        }();
        pw_stream_add_listener(stream_, &streamListener_, &streamEvents, this);

        std::uint8_t buffer[1024];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
        spa_rectangle defaultSize{1920, 1080}, minSize{1, 1}, maxSize{kMaxSide, kMaxSide};
        spa_fraction defaultRate{0, 1}, minRate{0, 1}, maxRate{1000, 1};
        const spa_pod* params[1];
        params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
            SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
            SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
            SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx,
                                   SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBx,
                                   SPA_VIDEO_FORMAT_RGBA),
            SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&defaultSize, &minSize, &maxSize),
            SPA_FORMAT_VIDEO_framerate,
            SPA_POD_CHOICE_RANGE_Fraction(&defaultRate, &minRate, &maxRate)));
        const int result = pw_stream_connect(
            stream_, PW_DIRECTION_INPUT, node_,
            static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS),
            params, 1);
        if (result < 0) {
            error = std::string("PipeWire: cannot connect the stream: ") + spa_strerror(result);
            return false;
        }
        return true;
    }

    void shutDown() {
        if (loop_ == nullptr)
            return;
        pw_thread_loop_lock(loop_);
        if (stream_ != nullptr) {
            if (held_ != nullptr)
                pw_stream_queue_buffer(stream_, held_);
            held_ = nullptr;
            spa_hook_remove(&streamListener_);
            pw_stream_destroy(stream_);  // removes the buffers, unmapping what we mapped
            stream_ = nullptr;
        }
        if (registry_ != nullptr) {
            spa_hook_remove(&registryListener_);
            pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry_));
            registry_ = nullptr;
        }
        if (core_ != nullptr) {
            spa_hook_remove(&coreListener_);
            pw_core_disconnect(core_);
            core_ = nullptr;
        }
        pw_thread_loop_unlock(loop_);
        pw_thread_loop_stop(loop_);
        if (context_ != nullptr) {
            pw_context_destroy(context_);
            context_ = nullptr;
        }
        pw_thread_loop_destroy(loop_);
        loop_ = nullptr;
    }

    // The held buffer as a picture. The loop lock is held.
    bool describeHeld(SourcePicture& picture, int& dmabufFd) const {
        if (!formatKnown_ || held_->buffer->n_datas < 1)
            return false;
        const spa_data& data = held_->buffer->datas[0];
        const std::uint8_t* base = static_cast<const std::uint8_t*>(data.data);
        if (data.type == SPA_DATA_DmaBuf) {
            const auto* mapped = static_cast<const MappedBuffer*>(held_->user_data);
            if (mapped == nullptr || mapped->address == MAP_FAILED)
                return false;
            base = static_cast<const std::uint8_t*>(mapped->address) + data.mapoffset;
            dmabufFd = static_cast<int>(data.fd);
        }
        if (base == nullptr || data.chunk == nullptr)
            return false;
        const std::size_t stride =
            data.chunk->stride > 0 ? static_cast<std::size_t>(data.chunk->stride) : width_ * 4u;
        const std::size_t offset = data.chunk->offset % (data.maxsize > 0 ? data.maxsize : 1);
        if (stride < width_ * 4u ||
            offset + stride * (height_ - 1) + width_ * 4u > static_cast<std::size_t>(data.maxsize))
            return false;
        picture.pixels = base + offset;
        picture.width = static_cast<std::int32_t>(width_);
        picture.height = static_cast<std::int32_t>(height_);
        picture.strideBytes = stride;
        picture.order = order_;
        picture.originX = originX_;
        picture.originY = originY_;
        return true;
    }

    static void syncGpuBuffer(int fd, std::uint64_t flags) {
        if (fd < 0)
            return;
        dma_buf_sync sync{};
        sync.flags = flags | DMA_BUF_SYNC_READ;
        // Interrupted calls are repeated; a buffer that is not a dma-buf needs no sync.
        while (ioctl(fd, DMA_BUF_IOCTL_SYNC, &sync) == -1 && (errno == EINTR || errno == EAGAIN)) {
        }
    }

    void markLost(const std::string& reason) {
        {
            std::lock_guard lock(reasonMutex_);
            if (lostReason_.empty())
                lostReason_ = reason;
        }
        lost_ = true;
        pw_thread_loop_signal(loop_, false);
    }

    static void onCoreError(void* self, std::uint32_t id, int /*seq*/, int res,
                            const char* message) {
        auto* s = static_cast<Source*>(self);
        if (id == PW_ID_CORE || res == -EPIPE)
            s->markLost(std::string("PipeWire: ") + (message != nullptr ? message : "error"));
    }

    static void onGlobalRemove(void* self, std::uint32_t id) {
        auto* s = static_cast<Source*>(self);
        if (id == s->node_)
            s->markLost("the screen cast was closed");
    }

    static void onStateChanged(void* self, pw_stream_state /*old*/, pw_stream_state state,
                               const char* error) {
        auto* s = static_cast<Source*>(self);
        if (state == PW_STREAM_STATE_STREAMING)
            s->streamed_ = true;
        if (state == PW_STREAM_STATE_ERROR)
            s->markLost(std::string("PipeWire: ") + (error != nullptr ? error : "stream error"));
        else if (state == PW_STREAM_STATE_UNCONNECTED && s->streamed_)
            s->markLost("the screen cast was disconnected");
    }

    static void onParamChanged(void* self, std::uint32_t id, const spa_pod* param) {
        auto* s = static_cast<Source*>(self);
        if (param == nullptr || id != SPA_PARAM_Format)
            return;
        std::uint32_t mediaType = 0, mediaSubtype = 0;
        if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 ||
            mediaType != SPA_MEDIA_TYPE_video || mediaSubtype != SPA_MEDIA_SUBTYPE_raw)
            return;
        spa_video_info_raw info{};
        if (spa_format_video_raw_parse(param, &info) < 0)
            return;
        s->releaseHeld();
        s->width_ = info.size.width;
        s->height_ = info.size.height;
        s->order_ = info.format == SPA_VIDEO_FORMAT_RGBx || info.format == SPA_VIDEO_FORMAT_RGBA
                        ? PixelOrder::kRgbx
                        : PixelOrder::kBgrx;
        s->formatKnown_ = s->width_ > 0 && s->height_ > 0 &&
                          s->width_ <= static_cast<std::uint32_t>(kMaxSide) &&
                          s->height_ <= static_cast<std::uint32_t>(kMaxSide);

        std::uint8_t buffer[512];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
        const spa_pod* params[2];
        params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
            SPA_POD_CHOICE_RANGE_Int(4, 2, 16), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
            SPA_PARAM_BUFFERS_dataType,
            SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr) |
                                     (1 << SPA_DATA_DmaBuf))));
        params[1] = static_cast<const spa_pod*>(
            spa_pod_builder_add_object(&builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta,
                                       SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header),
                                       SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_header))));
        pw_stream_update_params(s->stream_, params, 2);
    }

    static void onAddBuffer(void* /*self*/, pw_buffer* buffer) {
        if (buffer->buffer->n_datas < 1)
            return;
        spa_data& data = buffer->buffer->datas[0];
        if (data.type != SPA_DATA_DmaBuf || data.data != nullptr)
            return;
        auto* mapped = new MappedBuffer;
        mapped->length = static_cast<std::size_t>(data.mapoffset) + data.maxsize;
        mapped->address =
            mmap(nullptr, mapped->length, PROT_READ, MAP_SHARED, static_cast<int>(data.fd), 0);
        buffer->user_data = mapped;
    }

    static void onRemoveBuffer(void* self, pw_buffer* buffer) {
        auto* s = static_cast<Source*>(self);
        if (s->held_ == buffer)
            s->held_ = nullptr;
        auto* mapped = static_cast<MappedBuffer*>(buffer->user_data);
        if (mapped != nullptr) {
            if (mapped->address != MAP_FAILED)
                munmap(mapped->address, mapped->length);
            delete mapped;
            buffer->user_data = nullptr;
        }
    }

    // Keeps the newest usable buffer and gives every other one back to the producer at once.
    static void onProcess(void* self) {
        auto* s = static_cast<Source*>(self);
        pw_buffer* newest = nullptr;
        while (pw_buffer* b = pw_stream_dequeue_buffer(s->stream_)) {
            if (!usable(b)) {
                pw_stream_queue_buffer(s->stream_, b);
                continue;
            }
            if (newest != nullptr)
                pw_stream_queue_buffer(s->stream_, newest);
            newest = b;
        }
        if (newest == nullptr)
            return;
        s->releaseHeld();
        s->held_ = newest;
        if (s->received_.fetch_add(1) == 0)
            pw_thread_loop_signal(s->loop_, false);
    }

    static bool usable(const pw_buffer* b) {
        if (b->buffer->n_datas < 1 || b->buffer->datas[0].chunk == nullptr)
            return false;
        const spa_data& data = b->buffer->datas[0];
        if (data.chunk->size == 0 || (data.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) != 0)
            return false;
        const auto* header = static_cast<const spa_meta_header*>(
            spa_buffer_find_meta_data(b->buffer, SPA_META_Header, sizeof(spa_meta_header)));
        return header == nullptr || (header->flags & SPA_META_HEADER_FLAG_CORRUPTED) == 0;
    }

    void releaseHeld() {
        if (held_ != nullptr && stream_ != nullptr)
            pw_stream_queue_buffer(stream_, held_);
        held_ = nullptr;
    }

    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    pw_registry* registry_ = nullptr;
    pw_stream* stream_ = nullptr;
    spa_hook coreListener_{};
    spa_hook registryListener_{};
    spa_hook streamListener_{};

    // Guarded by the loop lock.
    pw_buffer* held_ = nullptr;
    bool formatKnown_ = false;
    bool streamed_ = false;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    PixelOrder order_ = PixelOrder::kBgrx;

    std::uint32_t node_ = 0;
    std::int32_t originX_ = 0;
    std::int32_t originY_ = 0;
    std::atomic<bool> lost_{false};
    std::atomic<std::uint64_t> received_{0};
    mutable std::mutex reasonMutex_;
    std::string lostReason_;
};

}  // namespace

std::shared_ptr<PipeWirePictureSource> openPipeWirePictureSource(const PipeWireStreamTarget& target,
                                                                 std::string& error) {
    auto source = std::make_shared<Source>();
    if (!source->connect(target, error))
        return nullptr;
    return source;
}

}  // namespace marrowdale
