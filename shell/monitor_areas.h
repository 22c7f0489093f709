// The "Capture area" menu's monitor items: one per monitor of the desktop (its name and
// geometry), each setting the capture rectangle to that monitor. The list is asked afresh each
// time the menu opens, and an item sets the rectangle of the monitor it showed.
//
// GUI thread only.
#pragma once

#include <QObject>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/monitors.h"
#include "shell/frame_parts.h"

class QMenu;

namespace marrowdale {

class CMainFrame;

class MonitorAreas : public QObject, public AreaMenuProvider {
    Q_OBJECT
  public:
    using Lister = std::function<std::optional<std::vector<MonitorArea>>(std::string* error)>;

    // Binds the monitor commands on `frame` and fills its "Capture area" menu; `list` may be
    // empty (no items).
    MonitorAreas(CMainFrame& frame, Lister list);
    ~MonitorAreas() override;

    void fillAreaMenu(QMenu* menu) override;
    // The monitors the menu showed last.
    const std::vector<MonitorArea>& shown() const { return shown_; }
    // Sets the capture rectangle to monitor `index` of shown(); false when there is none.
    bool useMonitor(std::size_t index);

  private:
    CMainFrame& frame_;
    Lister list_;
    std::vector<MonitorArea> shown_;
};

// The menu text of a monitor: "DP-1 (1920x1080 at 0,0)", its name or "Monitor N" when it has
// none.
QString monitorItemText(const MonitorArea& monitor, std::size_t index);

}  // namespace marrowdale
