// The core's opaque window handles are QWidget pointers in the desktop program.
#pragma once

#include <QWidget>

#include "platform/handles.h"

namespace marrowdale {

inline WindowHandle toWindowHandle(QWidget* w) {
    return static_cast<WindowHandle>(w);
}

// GUI thread. The live widget behind `handle`, or nullptr when the handle is null or its widget
// has been destroyed (a handle may outlive its window).
QWidget* widgetFromHandle(WindowHandle handle);

}  // namespace marrowdale
