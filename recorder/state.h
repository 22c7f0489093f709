// The two process-wide records through which the GUI thread, the screen worker and the audio
// worker talk to each other. Every field that more than one thread touches is an atomic used
// with plain loads and stores; there is no lock. Each flag has one kind of writer per direction:
// a command raises it and a worker clears it, or a worker raises it and the other polls it.
//
// This is the chief header of recorder/: every other subsystem includes it.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/handles.h"

namespace marrowdale {

// The view a capture-area selection runs for (capture_area/capture_view.h); the records keep
// only its address.
class CaptureView;

// Image format of the frame files (the values are those of the command line's --format).
enum class ImageFormat : std::uint8_t { kBmp = 0, kJpeg = 1 };

// How the screen worker treats a slot it reaches late (the values are those of --mode).
// kEverySlot serves every slot however late; kSkipLateSlots skips the slots whose time has
// passed; kSkipByThrees skips three slots at a time while the worker is behind the clock.
enum class CaptureMode : std::uint8_t { kEverySlot = 0, kSkipLateSlots = 2, kSkipByThrees = 3 };

// Stream flags of the audio source: loopback of the default output ("Sound mixer"), or 0 for
// the default recording device ("Microphone").
inline constexpr std::uint32_t kAudioStreamFlagsLoopback = 0x20000;
// A third choice beside those two: both at once. This bit is the program's own and never reaches
// an endpoint; with it the audio worker records the loopback of the default output and the
// default recording device together, mixed into one file (audio/source_mix.h).
inline constexpr std::uint32_t kAudioStreamFlagMicrophoneToo = 0x1;
inline constexpr std::uint32_t kAudioStreamFlagsBoth =
    kAudioStreamFlagsLoopback | kAudioStreamFlagMicrophoneToo;

// What the main view paints. kScreenStopped, kScreenStarted and kAudioStarted have texts but
// nothing sets them at present; kAreaSelected and codes without a name show the capture area.
enum class StatusCode : std::uint8_t {
    kShowArea = 0,
    kAudioStopped = 1,
    kScreenStopped = 2,
    kBothStarted = 3,
    kScreenStarted = 4,
    kAudioStarted = 5,
    kAreaSelected = 6
};

// Where every new view and the command line start from.
struct CaptureDefaults {
    std::int32_t top = 100;
    std::int32_t bottom = 600;
    std::int32_t left = 100;
    std::int32_t right = 800;
    std::uint32_t framePeriod = 400000;  // 100-ns units; 400000 = 40 ms
    ImageFormat imageFormat = ImageFormat::kJpeg;
    std::uint8_t frameOption = 1;
    CaptureMode captureMode = CaptureMode::kSkipByThrees;
    std::uint32_t maxFrames = 90000;  // exclusive bound of the frame number
};
inline constexpr CaptureDefaults kCaptureDefaults{};

// The sources of the sound level meter.
enum class SoundSource : std::uint8_t { kMixer = 0, kMicrophone = 1 };
inline constexpr std::size_t kSoundSources = 2;

// The level of one sound source: peak and RMS (full scale 1.0) of the packets the audio worker
// took from it last, and the clock time (100-ns units) at which it measured them; 0 before the
// first. The audio worker writes, any thread reads; the three are separate atomics, so a reader
// may pair a new peak with the RMS before it, which a meter can live with.
struct SoundLevel {
    std::atomic<float> peak{0};
    std::atomic<float> rms{0};
    std::atomic<std::uint64_t> time100ns{0};
};

// What the user chose. Written by commands and dialogs on the GUI thread; the workers read the
// values afresh at each use.
struct CaptureSettings {
    std::atomic<std::int32_t> captureTop{kCaptureDefaults.top};
    std::atomic<std::int32_t> captureBottom{kCaptureDefaults.bottom};
    std::atomic<std::int32_t> captureLeft{kCaptureDefaults.left};
    std::atomic<std::int32_t> captureRight{kCaptureDefaults.right};
    std::atomic<std::uint32_t> framePeriod{kCaptureDefaults.framePeriod};  // 100-ns units
    std::atomic<ImageFormat> imageFormat{kCaptureDefaults.imageFormat};
    std::atomic<std::uint8_t> showCloseOthersOnStop{0};
    std::atomic<std::uint8_t> closeOthersOnStop{0};
    std::atomic<std::uint8_t> frameOption{kCaptureDefaults.frameOption};
    std::atomic<CaptureMode> captureMode{kCaptureDefaults.captureMode};
    std::atomic<std::uint32_t> audioStreamFlags{kAudioStreamFlagsLoopback};
    std::atomic<std::uint32_t> maxFrames{kCaptureDefaults.maxFrames};  // exclusive bound
};

// The run-time side: stop requests and signals, the status the view paints, the handles the
// workers report back to, the area selection and the close-other-windows timer.
struct RecorderState {
    std::atomic<StatusCode> statusCode{StatusCode::kShowArea};
    std::atomic<std::uint8_t> stopScreenRequested{0};
    std::atomic<std::uint8_t> stopAudioRequested{0};
    std::atomic<std::uint8_t> screenStopped{0};
    std::atomic<std::uint8_t> screenFinished{0};
    std::atomic<std::uint8_t> raiseOnDraw{0};
    std::atomic<HookHandle> mouseHook{nullptr};
    std::atomic<std::uint8_t> areaClickState{0};
    std::atomic<std::int32_t> lastClickY{0};
    std::atomic<std::int32_t> lastClickX{0};
    std::atomic<std::uint8_t> closeOthersPending{0};
    std::atomic<TimerId> closeOthersTimerId{0};
    std::atomic<WindowHandle> closeOthersDialog{nullptr};
    std::atomic<WindowHandle> closeOthersList{nullptr};
    std::atomic<WindowHandle> titleWindow{nullptr};
    std::atomic<CaptureView*> commandView{nullptr};
    std::atomic<WindowHandle> frameWindow{nullptr};
    std::atomic<WindowHandle> viewWindow{nullptr};
    // The level meter, by SoundSource.
    std::array<SoundLevel, kSoundSources> soundLevels;
};

// The level record of a source.
inline SoundLevel& soundLevel(RecorderState& state, SoundSource source) {
    return state.soundLevels[static_cast<std::size_t>(source)];
}

// The records of the process. They exist once, from start to exit.
CaptureSettings& captureSettings();
RecorderState& recorderState();

// What every construction of a main view does to the records, before it asks for the timer
// resolution: the rectangle, image format, period, frame option and audio source go back to
// their defaults, the area selection and the stop signals are cleared, the status shows the
// area. captureMode, maxFrames and the close-others options are kept.
void resetForNewView(CaptureSettings& settings, RecorderState& state);

// The last step of a view's construction: the stop requests are cleared.
void clearStopRequests(RecorderState& state);

// Puts both records back to their process-start values (tests use it between cases).
void resetToProcessStart(CaptureSettings& settings, RecorderState& state);

}  // namespace marrowdale
