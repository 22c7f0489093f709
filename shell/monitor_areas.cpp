#include "shell/monitor_areas.h"

#include <QAction>
#include <QMenu>

#include "recorder/state.h"
#include "resources/resources.h"
#include "shell/main_frame.h"
#include "shell/marrowdale_view.h"

namespace marrowdale {

namespace {
constexpr std::size_t kMostMonitors = res::ID_MONITOR_AREA_LAST - res::ID_MONITOR_AREA_FIRST + 1;
}  // namespace

QString monitorItemText(const MonitorArea& monitor, std::size_t index) {
    QString name = QString::fromStdString(monitor.name);
    if (name.isEmpty())
        name = QStringLiteral("Monitor %1").arg(index + 1);
    name.replace(QLatin1Char('&'), QLatin1String("&&"));
    return QStringLiteral("%1 (%2x%3 at %4,%5)")
        .arg(name)
        .arg(monitor.width)
        .arg(monitor.height)
        .arg(monitor.left)
        .arg(monitor.top);
}

MonitorAreas::MonitorAreas(CMainFrame& frame, Lister list)
    : QObject(&frame), frame_(frame), list_(std::move(list)) {
    CommandMap& map = frame.commandMap();
    map.onRange(res::ID_MONITOR_AREA_FIRST, res::ID_MONITOR_AREA_LAST, [this](int id) {
        useMonitor(static_cast<std::size_t>(id - res::ID_MONITOR_AREA_FIRST));
    });
    map.onUpdateRange(
        res::ID_MONITOR_AREA_FIRST, res::ID_MONITOR_AREA_LAST, [this](int id, CommandUi& ui) {
            ui.enabled = static_cast<std::size_t>(id - res::ID_MONITOR_AREA_FIRST) < shown_.size();
        });
    frame.setAreaMenuProvider(this);
}

MonitorAreas::~MonitorAreas() {
    frame_.setAreaMenuProvider(nullptr);
}

void MonitorAreas::fillAreaMenu(QMenu* menu) {
    shown_.clear();
    if (list_) {
        std::string error;
        if (std::optional<std::vector<MonitorArea>> monitors = list_(&error)) {
            for (const MonitorArea& m : *monitors)
                if (m.width > 0 && m.height > 0 && shown_.size() < kMostMonitors)
                    shown_.push_back(m);
        }
    }
    if (shown_.empty())
        return;
    menu->addSeparator();
    for (std::size_t i = 0; i < shown_.size(); ++i) {
        QAction* a = frame_.commandAction(res::ID_MONITOR_AREA_FIRST + static_cast<int>(i));
        a->setText(monitorItemText(shown_[i], i));
        a->setStatusTip(QStringLiteral("Set the capture area to this monitor"));
        menu->addAction(a);
    }
}

bool MonitorAreas::useMonitor(std::size_t index) {
    if (index >= shown_.size())
        return false;
    const MonitorArea& m = shown_[index];
    CaptureSettings& settings = captureSettings();
    settings.captureLeft.store(m.left);
    settings.captureTop.store(m.top);
    settings.captureRight.store(m.left + m.width);
    settings.captureBottom.store(m.top + m.height);
    // The view shows the area it records.
    if (CMarrowdaleView* view = frame_.activeView()) {
        view->shownLeft = m.left;
        view->shownTop = m.top;
        view->shownRight = m.left + m.width;
        view->shownBottom = m.top + m.height;
        view->repaintErase();
    }
    return true;
}

}  // namespace marrowdale
