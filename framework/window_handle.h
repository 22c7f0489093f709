// The core's opaque window handles are QWidget pointers in the desktop program. A handle is
// only ever made by toWindowHandle, which keeps a guarded pointer to its widget, so turning it
// back needs neither a search through the widgets nor trust in a pointer that may be stale.
#pragma once

#include <QWidget>

#include "platform/handles.h"

namespace marrowdale {

// Any thread. The handle of `w` (null for null); `w` stays reachable by it until destroyed.
WindowHandle toWindowHandle(QWidget* w);

// Any thread (use the widget on the GUI thread). The live widget behind `handle`, or nullptr when
// the handle is null, was not made by toWindowHandle, or its widget has been destroyed (a handle
// may outlive its window).
QWidget* widgetFromHandle(WindowHandle handle);

}  // namespace marrowdale
