#include "shell/child_frame.h"

#include "shell/marrowdale_view.h"

namespace marrowdale {

CChildFrame::CChildFrame(QWidget* parent) : QMdiSubWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
}

CChildFrame::~CChildFrame() = default;

CMarrowdaleView* CChildFrame::view() const {
    return qobject_cast<CMarrowdaleView*>(widget());
}

}  // namespace marrowdale
