#include "shell/child_frame.h"

#include "shell/marrowdale_doc.h"
#include "shell/marrowdale_view.h"

namespace marrowdale {

CChildFrame::CChildFrame(QWidget* parent) : QMdiSubWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
}

// The view goes before the frame that shows it: its destruction tells the main window and the
// document, which still look at this frame as a sub-window then, not at a half-destroyed widget.
CChildFrame::~CChildFrame() {
    delete widget();
}

CMarrowdaleView* CChildFrame::view() const {
    return qobject_cast<CMarrowdaleView*>(widget());
}

CMarrowdaleDoc* CChildFrame::document() const {
    CMarrowdaleView* v = view();
    return v ? v->document() : nullptr;
}

std::vector<CommandTarget*> CChildFrame::commandTargets() {
    CMarrowdaleView* v = view();
    CMarrowdaleDoc* doc = v ? v->document() : nullptr;
    return {v, doc, this};
}

}  // namespace marrowdale
