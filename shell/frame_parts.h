// The small interfaces between the main frame and the parts around it, so that the frame, the
// views and the toolbar customiser know each other only through these.
#pragma once

class QMenu;
class QPoint;

namespace marrowdale {

// Fills the panes menu ("&Toolbars and Docking Windows": the bars to show or hide, and
// "Customize..."); the toolbar customiser is the program's.
class PanesMenuProvider {
  public:
    virtual void fillPanesMenu(QMenu* menu) = 0;

  protected:
    ~PanesMenuProvider() = default;
};

// Adds items after the own items of the "Capture area" menu each time it opens (the monitors);
// the program's monitor list.
class AreaMenuProvider {
  public:
    virtual void fillAreaMenu(QMenu* menu) = 0;

  protected:
    ~AreaMenuProvider() = default;
};

// Shows a popup menu resource; the main frame is the program's.
class PopupMenuHost {
  public:
    virtual void showPopupMenu(int menuId, const QPoint& globalPos) = 0;

  protected:
    ~PopupMenuHost() = default;
};

}  // namespace marrowdale
