// The audio endpoint service over the PulseAudio client API (also served by PipeWire's pulse
// server). The render direction is the monitor of the default sink ("what the machine
// plays"), the capture direction the default source. The mix format is 32-bit float at the
// device's rate and channel count, limited to 48000 Hz and two channels (the server converts).
#pragma once

#include <memory>

#include "platform/audio_capture.h"

namespace marrowdale {

// No server or no default device gives E_NOTFOUND or AUDCLNT_E_SERVICE_NOT_RUNNING from
// getDefaultAudioEndpoint within a few seconds at most; a server that goes away later gives
// AUDCLNT_E_DEVICE_INVALIDATED from the capture client.
std::unique_ptr<AudioSystem> createPulseAudioSystem();

}  // namespace marrowdale
