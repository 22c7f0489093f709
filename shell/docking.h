// Docking of the main frame's bars: every side and floating, and the two docking modes. In the
// smart mode a dragged toolbar shows where it will land (the other bars move aside while it is
// dragged); in the standard mode it is placed when it is dropped.
#pragma once

#include <QMainWindow>

class QToolBar;

namespace marrowdale {

enum class DockingMode { Standard, Smart };

// The dock options that carry `mode`.
QMainWindow::DockOptions dockOptionsFor(DockingMode mode);
// The mode `frame` docks in now.
DockingMode dockingModeOf(const QMainWindow& frame);
void setDockingMode(QMainWindow& frame, DockingMode mode);

// Lets `bar` dock on every side of its frame and float.
void allowDockingEverywhere(QToolBar& bar);

}  // namespace marrowdale
