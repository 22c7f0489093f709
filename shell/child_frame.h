// CChildFrame: the MDI child window that holds one view.
#pragma once

#include <QMdiSubWindow>
#include <vector>

#include "framework/command_map.h"

namespace marrowdale {

class CMarrowdaleDoc;
class CMarrowdaleView;

class CChildFrame : public QMdiSubWindow, public CommandTarget {
    Q_OBJECT
  public:
    explicit CChildFrame(QWidget* parent = nullptr);
    ~CChildFrame() override;

    CMarrowdaleView* view() const;
    // The document of its view (null while there is none).
    CMarrowdaleDoc* document() const;
    // Where a command goes first while this frame is active: its view, the view's document,
    // the frame itself (absent ones null).
    std::vector<CommandTarget*> commandTargets();
};

}  // namespace marrowdale
