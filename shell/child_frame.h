// CChildFrame: the MDI child window that holds one view.
#pragma once

#include <QMdiSubWindow>

#include "framework/command_map.h"

namespace marrowdale {

class CMarrowdaleView;

class CChildFrame : public QMdiSubWindow, public CommandTarget {
    Q_OBJECT
  public:
    explicit CChildFrame(QWidget* parent = nullptr);
    ~CChildFrame() override;

    CMarrowdaleView* view() const;
};

}  // namespace marrowdale
