#include "platform/codec_catalogue.h"

#include <cstring>

namespace marrowdale {

HResult copyTextOut(const std::string& text, char* buffer, std::uint32_t* length) {
    if (length == nullptr)
        return E_POINTER;
    const auto needed = static_cast<std::uint32_t>(text.size() + 1);
    if (buffer == nullptr) {
        *length = needed;
        return S_OK;
    }
    if (*length < needed) {
        *length = needed;
        return ASF_E_BUFFERTOOSMALL;
    }
    std::memcpy(buffer, text.c_str(), needed);
    *length = needed;
    return S_OK;
}

BasicStreamConfig::BasicStreamConfig(const CodecFormatEntry& format)
    : bitrate_(format.bitrate),
      bufferWindowMs_(format.bufferWindowMs),
      streamName_(format.streamName),
      connectionName_(format.connectionName),
      mediaType_(format.mediaType) {}

HResult BasicStreamConfig::getBitrate(std::uint32_t* bitsPerSecond) {
    if (bitsPerSecond == nullptr)
        return E_POINTER;
    *bitsPerSecond = bitrate_;
    return S_OK;
}

HResult BasicStreamConfig::getBufferWindow(std::uint32_t* milliseconds) {
    if (milliseconds == nullptr)
        return E_POINTER;
    *milliseconds = bufferWindowMs_;
    return S_OK;
}

namespace {
HResult nameOut(const std::string& value, std::string* name, std::size_t maxChars) {
    if (name == nullptr)
        return E_POINTER;
    if (value.size() + 1 > maxChars)
        return ASF_E_BUFFERTOOSMALL;
    *name = value;
    return S_OK;
}
}  // namespace

HResult BasicStreamConfig::getStreamName(std::string* name, std::size_t maxChars) {
    return nameOut(streamName_, name, maxChars);
}

HResult BasicStreamConfig::getConnectionName(std::string* name, std::size_t maxChars) {
    return nameOut(connectionName_, name, maxChars);
}

HResult BasicStreamConfig::getStreamNumber(std::uint16_t* number) {
    if (number == nullptr)
        return E_POINTER;
    *number = streamNumber_;
    return S_OK;
}

HResult BasicStreamConfig::setStreamNumber(std::uint16_t number) {
    if (number < 1 || number > 63)
        return E_INVALIDARG;
    streamNumber_ = number;
    return S_OK;
}

HResult BasicStreamConfig::setStreamName(const std::string& name) {
    streamName_ = name;
    return S_OK;
}

HResult BasicStreamConfig::queryMediaProps(MediaProps** props) {
    if (props == nullptr)
        return E_POINTER;
    *props = this;
    return S_OK;
}

HResult BasicStreamConfig::getMediaType(MediaType* type, std::uint32_t* size) {
    if (size == nullptr)
        return E_POINTER;
    const std::uint32_t needed = mediaTypeFetchSize(mediaType_);
    if (type == nullptr) {
        *size = needed;
        return S_OK;
    }
    if (*size < needed) {
        *size = needed;
        return ASF_E_BUFFERTOOSMALL;
    }
    *type = mediaType_;
    return S_OK;
}

CatalogueCodecInfo::CatalogueCodecInfo(std::shared_ptr<const CodecCatalogue> catalogue)
    : catalogue_(std::move(catalogue)) {}

const std::vector<CodecEntry>* CatalogueCodecInfo::codecs(const Guid& mediaType) const {
    if (!catalogue_)
        return nullptr;
    if (mediaType == kMediaTypeAudio)
        return &catalogue_->audio;
    if (mediaType == kMediaTypeVideo)
        return &catalogue_->video;
    return nullptr;
}

const CodecEntry* CatalogueCodecInfo::codec(const Guid& mediaType, std::uint32_t codecIndex) const {
    const auto* list = codecs(mediaType);
    if (list == nullptr || codecIndex >= list->size())
        return nullptr;
    return &(*list)[codecIndex];
}

const CodecFormatEntry* CatalogueCodecInfo::format(const Guid& mediaType, std::uint32_t codecIndex,
                                                   std::uint32_t formatIndex) const {
    const auto* entry = codec(mediaType, codecIndex);
    if (entry == nullptr || formatIndex >= entry->formats.size())
        return nullptr;
    return &entry->formats[formatIndex];
}

HResult CatalogueCodecInfo::getCodecInfoCount(const Guid& mediaType, std::uint32_t* count) {
    if (count == nullptr)
        return E_POINTER;
    const auto* list = codecs(mediaType);
    if (list == nullptr)
        return E_INVALIDARG;
    *count = static_cast<std::uint32_t>(list->size());
    return S_OK;
}

HResult CatalogueCodecInfo::getCodecName(const Guid& mediaType, std::uint32_t codecIndex,
                                         char* name, std::uint32_t* length) {
    const auto* entry = codec(mediaType, codecIndex);
    if (entry == nullptr)
        return E_INVALIDARG;
    return copyTextOut(entry->name, name, length);
}

HResult CatalogueCodecInfo::getCodecFormatCount(const Guid& mediaType, std::uint32_t codecIndex,
                                                std::uint32_t* count) {
    if (count == nullptr)
        return E_POINTER;
    const auto* entry = codec(mediaType, codecIndex);
    if (entry == nullptr)
        return E_INVALIDARG;
    *count = static_cast<std::uint32_t>(entry->formats.size());
    return S_OK;
}

HResult CatalogueCodecInfo::getCodecFormat(const Guid& mediaType, std::uint32_t codecIndex,
                                           std::uint32_t formatIndex,
                                           std::unique_ptr<StreamConfig>* config) {
    if (config == nullptr)
        return E_POINTER;
    const auto* entry = format(mediaType, codecIndex, formatIndex);
    if (entry == nullptr)
        return E_INVALIDARG;
    *config = std::make_unique<BasicStreamConfig>(*entry);
    return S_OK;
}

HResult CatalogueCodecInfo::getCodecFormatDesc(const Guid& mediaType, std::uint32_t codecIndex,
                                               std::uint32_t formatIndex,
                                               std::unique_ptr<StreamConfig>* config,
                                               char* description, std::uint32_t* length) {
    if (config == nullptr || length == nullptr)
        return E_POINTER;
    const auto* entry = format(mediaType, codecIndex, formatIndex);
    if (entry == nullptr)
        return E_INVALIDARG;
    const HResult copied = copyTextOut(entry->description, description, length);
    if (failed(copied))
        return copied;
    *config = std::make_unique<BasicStreamConfig>(*entry);
    return S_OK;
}

}  // namespace marrowdale
