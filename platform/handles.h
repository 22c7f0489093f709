// Opaque handles to objects owned by the GUI (a window, a mouse watch) and the
// identifier of a timer. The core never dereferences them; it hands them back to the UI bridge,
// which knows what they are.
#pragma once

#include <cstdint>

namespace marrowdale {

using WindowHandle = void*;
using HookHandle = void*;
using TimerId = std::uintptr_t;

}  // namespace marrowdale
