#include "audio/audio_profile.h"

#include <algorithm>
#include <vector>

#include "audio/pcm_conversion.h"

namespace marrowdale {

namespace {

// Fetches a configuration's media type. The size query's result is returned; the fetch's own
// result is stored in *fetchResult.
HResult fetchMediaType(StreamConfig& config, MediaType* type, HResult* fetchResult) {
    MediaProps* props = nullptr;
    HResult hr = config.queryMediaProps(&props);
    if (failed(hr))
        return hr;
    if (props == nullptr)
        return E_NOINTERFACE;
    std::uint32_t size = 0;
    hr = props->getMediaType(nullptr, &size);
    if (failed(hr))
        return hr;
    // A buffer of kMediaTypeFixedBuffer bytes, or one of the reported size when larger.
    std::uint32_t announced = std::max(size, kMediaTypeFixedBuffer);
    *fetchResult = props->getMediaType(type, &announced);
    return S_OK;
}

}  // namespace

HResult findAudioStreamConfig(const WaveFormatEx& wantedFormat, std::uint32_t maxBitsPerSecond,
                              const Guid& subtype, CodecInfo& codecInfo,
                              std::unique_ptr<StreamConfig>* config, bool* codecFound) {
    if (codecFound != nullptr)
        *codecFound = false;
    if (config == nullptr)
        return E_POINTER;

    std::uint32_t codecCount = 0;
    HResult hr = codecInfo.getCodecInfoCount(kMediaTypeAudio, &codecCount);
    if (failed(hr))
        return hr;

    bool chosen = false;
    std::uint32_t codecIndex = 0;
    for (; codecIndex < codecCount; ++codecIndex) {
        std::unique_ptr<StreamConfig> first;
        if (failed(codecInfo.getCodecFormat(kMediaTypeAudio, codecIndex, 0, &first)) || !first)
            continue;
        MediaType type;
        HResult fetched = S_OK;
        hr = fetchMediaType(*first, &type, &fetched);
        if (failed(hr))
            return hr;
        // The fetch itself is not examined: a failed fetch leaves an empty type, no match.
        if (type.subtype == subtype) {
            chosen = true;
            break;
        }
    }
    if (!chosen)
        return E_INVALIDARG;
    if (codecFound != nullptr)
        *codecFound = true;

    std::uint32_t formatCount = 0;
    hr = codecInfo.getCodecFormatCount(kMediaTypeAudio, codecIndex, &formatCount);
    if (failed(hr))
        return hr;
    if (formatCount == 0)
        return E_INVALIDARG;

    std::unique_ptr<StreamConfig> best;
    std::uint32_t bestBitsPerSecond = 0;
    std::vector<char> description(kFormatDescriptionChars);
    for (std::uint32_t formatIndex = 0; formatIndex < formatCount; ++formatIndex) {
        std::unique_ptr<StreamConfig> candidate;
        std::uint32_t length = kFormatDescriptionChars;
        hr = codecInfo.getCodecFormatDesc(kMediaTypeAudio, codecIndex, formatIndex, &candidate,
                                          description.data(), &length);
        if (failed(hr))
            return hr;
        if (!candidate)
            return E_POINTER;
        MediaType type;
        HResult fetched = S_OK;
        hr = fetchMediaType(*candidate, &type, &fetched);
        if (failed(hr))
            return hr;
        if (failed(fetched))
            return fetched;
        if (type.format.size() < kMinWaveFormatBlock)
            return E_UNEXPECTED;
        WaveFormatEx wave;
        decodeWaveFormat(type.format, &wave);
        const std::uint32_t bitsPerSecond = wave.avgBytesPerSec * 8u;
        if (bitsPerSecond > bestBitsPerSecond && bitsPerSecond <= maxBitsPerSecond &&
            wave.channels == wantedFormat.channels &&
            wave.bitsPerSample == wantedFormat.bitsPerSample &&
            wave.samplesPerSec == wantedFormat.samplesPerSec) {
            best = std::move(candidate);
            bestBitsPerSecond = bitsPerSecond;
        }
    }
    if (!best)
        return E_INVALIDARG;
    *config = std::move(best);
    return S_OK;
}

HResult createAudioProfile(MediaFormatService& service, const WaveFormatEx& mixFormat,
                           std::unique_ptr<Profile>* profileOut,
                           std::shared_ptr<CodecInfo>* codecInfoOut) {
    if (profileOut == nullptr || codecInfoOut == nullptr)
        return E_POINTER;
    std::unique_ptr<ProfileManager> manager;
    HResult hr = service.createProfileManager(&manager);
    if (failed(hr))
        return hr;
    if (!manager)
        return E_POINTER;
    std::shared_ptr<CodecInfo> codecInfo;
    hr = manager->queryCodecInfo(&codecInfo);
    if (failed(hr))
        return hr;
    if (!codecInfo)
        return E_NOINTERFACE;
    std::unique_ptr<Profile> profile;
    hr = manager->createEmptyProfile(kProfileVersion9, &profile);
    if (failed(hr))
        return hr;
    if (!profile)
        return E_POINTER;

    WaveFormatEx wanted = mixFormat;
    wanted.bitsPerSample = kAudioBitsPerSample;

    std::unique_ptr<StreamConfig> config;
    bool codecFound = false;
    hr = findAudioStreamConfig(wanted, kMaxAudioBitsPerSecond, kSubtypeWmaPro, *codecInfo, &config,
                               &codecFound);
    if (hr == E_INVALIDARG && !codecFound) {
        // No encoder for WMA 9 Professional: the same choice among the WMA codecs.
        hr = findAudioStreamConfig(wanted, kMaxAudioBitsPerSecond, kSubtypeWmaV2, *codecInfo,
                                   &config);
    }
    if (failed(hr))
        return hr;

    config->setStreamNumber(kAudioStreamNumber);
    config->setStreamName(kAudioStreamName);
    profile->setName(kAudioProfileName);
    hr = profile->addStream(*config);
    if (failed(hr))
        return hr;

    *profileOut = std::move(profile);
    *codecInfoOut = std::move(codecInfo);
    return S_OK;
}

std::string audioFilePath(const std::string& folder) {
    if (folder.empty())
        return kAudioFileName;
    return folder.back() == '/' ? folder + kAudioFileName : folder + '/' + kAudioFileName;
}

std::unique_ptr<MediaWriter> createAudioWriter(MediaFormatService& service, const Profile& profile,
                                               const std::string& path) {
    std::unique_ptr<MediaWriter> writer;
    if (failed(service.createWriter(&writer)) || !writer)
        return nullptr;
    writer->setOutputFilename(path);
    if (failed(writer->setProfile(profile)))
        return nullptr;
    WriterAdvanced* advanced = nullptr;
    if (failed(writer->queryAdvanced(&advanced)) || advanced == nullptr)
        return nullptr;
    advanced->setLiveSource(true);
    return writer;
}

HResult setUpAudioWriterInput(MediaWriter& writer) {
    MediaType input;
    HResult hr = writer.getInputFormat(0, 0, &input);
    if (failed(hr))
        return hr;
    return writer.setInputProps(0, input);
}

HResult allocateAudioSample(MediaWriter& writer, const WaveFormatEx& mixFormat,
                            std::uint32_t frames, std::unique_ptr<MediaSample>* sample) {
    return writer.allocateSample(static_cast<std::uint32_t>(mixFormat.blockAlign) * frames, sample);
}

SamplePathResult writeAudioPacket(MediaWriter& writer, MediaSample& sample,
                                  const WaveFormatEx& mixFormat, const float* data,
                                  std::uint32_t frames, std::uint64_t sampleTime100ns) {
    SamplePathResult result;
    std::uint8_t* area = nullptr;
    std::uint32_t capacity = 0;
    result.result = sample.getBufferAndLength(&area, &capacity);
    if (failed(result.result) || area == nullptr) {
        result.failure = SamplePathFailure::SampleBuffer;
        if (succeeded(result.result))
            result.result = E_POINTER;
        return result;
    }
    std::uint32_t bytes = static_cast<std::uint32_t>(mixFormat.blockAlign) * frames;
    const std::uint64_t needed = std::uint64_t{mixFormat.channels} * frames * 2u;
    if (needed > capacity) {
        // A sample smaller than the 16-bit data would be overrun.
        result.failure = SamplePathFailure::SampleBuffer;
        result.result = E_INVALIDARG;
        return result;
    }
    // The sample holds blockAlign × frames bytes: twice what the 16-bit data needs for floats.
    bytes =
        convertFloatToPcm16(mixFormat.channels, reinterpret_cast<std::int16_t*>(area), data, frames)
            .value_or(bytes);
    sample.setLength(bytes);
    result.bytes = bytes;
    result.result = writer.writeSample(0, sampleTime100ns, 0, sample);
    if (failed(result.result))
        result.failure = SamplePathFailure::WriteSample;
    return result;
}

}  // namespace marrowdale
