#include "platform/media_writer.h"

namespace marrowdale {

HResult Profile::addStream(StreamConfig& config) {
    MediaProps* props = nullptr;
    HResult hr = config.queryMediaProps(&props);
    if (failed(hr))
        return hr;
    if (props == nullptr)
        return E_NOINTERFACE;
    ProfileStream stream;
    hr = config.getStreamNumber(&stream.number);
    if (failed(hr))
        return hr;
    if (stream.number < 1 || stream.number > 63)
        return E_INVALIDARG;
    for (const auto& existing : streams_)
        if (existing.number == stream.number)
            return E_INVALIDARG;
    std::uint32_t size = 0;
    hr = props->getMediaType(nullptr, &size);
    if (failed(hr))
        return hr;
    hr = props->getMediaType(&stream.mediaType, &size);
    if (failed(hr))
        return hr;
    // Names of any length are taken (the buffer announced is as large as needed).
    config.getStreamName(&stream.name, static_cast<std::size_t>(-1));
    config.getConnectionName(&stream.connectionName, static_cast<std::size_t>(-1));
    config.getBitrate(&stream.bitrate);
    config.getBufferWindow(&stream.bufferWindowMs);
    streams_.push_back(std::move(stream));
    return S_OK;
}

}  // namespace marrowdale
