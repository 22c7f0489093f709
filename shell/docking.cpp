#include "shell/docking.h"

#include <QToolBar>

namespace marrowdale {

QMainWindow::DockOptions dockOptionsFor(DockingMode mode) {
    if (mode == DockingMode::Smart)
        return QMainWindow::AnimatedDocks | QMainWindow::AllowNestedDocks |
               QMainWindow::AllowTabbedDocks;
    return QMainWindow::AllowTabbedDocks;
}

DockingMode dockingModeOf(const QMainWindow& frame) {
    return frame.dockOptions().testFlag(QMainWindow::AnimatedDocks) ? DockingMode::Smart
                                                                    : DockingMode::Standard;
}

void setDockingMode(QMainWindow& frame, DockingMode mode) {
    frame.setDockOptions(dockOptionsFor(mode));
}

void allowDockingEverywhere(QToolBar& bar) {
    bar.setAllowedAreas(Qt::AllToolBarAreas);
    bar.setMovable(true);
    bar.setFloatable(true);
}

}  // namespace marrowdale
