// Result codes of the platform interfaces: 0 is success, negative values are failures, in the
// layout and with the values of the codes that the recorder's logic tests for by name.
#pragma once

#include <cstdint>

namespace marrowdale {

using HResult = std::int32_t;

constexpr HResult makeResult(std::uint32_t bits) {
    return static_cast<HResult>(bits);
}
constexpr bool failed(HResult result) {
    return result < 0;
}
constexpr bool succeeded(HResult result) {
    return result >= 0;
}

// General codes.
inline constexpr HResult S_OK = 0;
inline constexpr HResult S_FALSE = 1;
inline constexpr HResult E_NOTIMPL = makeResult(0x80004001u);
inline constexpr HResult E_NOINTERFACE = makeResult(0x80004002u);
inline constexpr HResult E_POINTER = makeResult(0x80004003u);
inline constexpr HResult E_FAIL = makeResult(0x80004005u);
inline constexpr HResult E_UNEXPECTED = makeResult(0x8000FFFFu);
inline constexpr HResult E_OUTOFMEMORY = makeResult(0x8007000Eu);
inline constexpr HResult E_INVALIDARG = makeResult(0x80070057u);
inline constexpr HResult E_NOTFOUND = makeResult(0x80070490u);  // no such element (device)
inline constexpr HResult E_ACCESSDENIED = makeResult(0x80070005u);

// Audio client codes.
inline constexpr HResult AUDCLNT_E_NOT_INITIALIZED = makeResult(0x88890001u);
inline constexpr HResult AUDCLNT_E_ALREADY_INITIALIZED = makeResult(0x88890002u);
inline constexpr HResult AUDCLNT_E_WRONG_ENDPOINT_TYPE = makeResult(0x88890003u);
inline constexpr HResult AUDCLNT_E_DEVICE_INVALIDATED = makeResult(0x88890004u);
inline constexpr HResult AUDCLNT_E_NOT_STOPPED = makeResult(0x88890005u);
inline constexpr HResult AUDCLNT_E_BUFFER_TOO_LARGE = makeResult(0x88890006u);
inline constexpr HResult AUDCLNT_E_OUT_OF_ORDER = makeResult(0x88890007u);
inline constexpr HResult AUDCLNT_E_UNSUPPORTED_FORMAT = makeResult(0x88890008u);
inline constexpr HResult AUDCLNT_E_INVALID_SIZE = makeResult(0x88890009u);
inline constexpr HResult AUDCLNT_E_DEVICE_IN_USE = makeResult(0x8889000Au);
inline constexpr HResult AUDCLNT_E_BUFFER_OPERATION_PENDING = makeResult(0x8889000Bu);
inline constexpr HResult AUDCLNT_E_ENDPOINT_CREATE_FAILED = makeResult(0x8889000Fu);
inline constexpr HResult AUDCLNT_E_SERVICE_NOT_RUNNING = makeResult(0x88890010u);

// Media format (profile, codec information, writer) codes.
inline constexpr HResult NS_E_INVALID_REQUEST = makeResult(0xC00D002Bu);
inline constexpr HResult NS_E_FILE_OPEN_FAILED = makeResult(0xC00D001Du);
inline constexpr HResult NS_E_FILE_WRITE = makeResult(0xC00D0016u);
inline constexpr HResult NS_E_INVALID_INPUT_FORMAT = makeResult(0xC00D0BB8u);
inline constexpr HResult NS_E_NO_MATCHING_ELEMENT = makeResult(0xC00D0BBCu);
inline constexpr HResult ASF_E_BUFFERTOOSMALL = makeResult(0xC00D07D2u);

}  // namespace marrowdale
