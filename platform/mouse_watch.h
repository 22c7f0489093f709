// A system-wide watch of mouse button presses. It observes every press anywhere on the desktop
// without taking it: the press still reaches the window under the pointer as usual.
//
// The watch does not run a thread of its own. Its owner polls fileDescriptor() (a socket
// notifier in the desktop program) and calls dispatchPending() on its own thread, so every press
// is handed over on the thread that owns the watch, in the order the server saw them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace marrowdale {

// Mouse message identifiers that the watch reports, with the values of the desktop's
// low-level mouse messages.
inline constexpr std::uint32_t kMouseMessageMove = 0x0200;
inline constexpr std::uint32_t kMouseMessageLeftDown = 0x0201;
inline constexpr std::uint32_t kMouseMessageLeftUp = 0x0202;
inline constexpr std::uint32_t kMouseMessageRightDown = 0x0204;
inline constexpr std::uint32_t kMouseMessageRightUp = 0x0205;
inline constexpr std::uint32_t kMouseMessageMiddleDown = 0x0207;
inline constexpr std::uint32_t kMouseMessageMiddleUp = 0x0208;
inline constexpr std::uint32_t kMouseMessageWheel = 0x020A;
inline constexpr std::uint32_t kMouseMessageHorizontalWheel = 0x020E;

// The code a watch callback receives for an ordinary event.
inline constexpr int kMouseWatchAction = 0;

// A point on the desktop in pixels, origin at the top left of the screen, y downwards.
struct MousePoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// One observed button event.
struct MouseWatchEvent {
    std::uint32_t message = 0;  // one of kMouseMessage*
    MousePoint point;           // pointer position when the server saw the event
};

class MouseWatch {
  public:
    using Sink = std::function<void(const MouseWatchEvent&)>;

    virtual ~MouseWatch() = default;

    // Readable whenever events may be waiting. Owner thread only.
    virtual int fileDescriptor() const = 0;

    // Reads every event that has arrived, without blocking, and hands each one to `sink` in
    // order. Owner thread only. The sink must not destroy the watch (defer that until the
    // call has returned). Returns false when the recording has ended on the server's side.
    virtual bool dispatchPending(const Sink& sink) = 0;

    // Like dispatchPending(), after a round trip to the server: every press the server had
    // processed before this call is delivered. A window's own press handler calls this first,
    // so the watch always sees a press before the window does.
    virtual bool syncAndDispatch(const Sink& sink) = 0;
};

}  // namespace marrowdale
