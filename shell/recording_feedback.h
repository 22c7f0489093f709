// What the main frame shows of the recordings while they run: the live status in the status bar
// (time, frames, free numbers, size on disk, free space) with a level meter for the sound, and a
// tray icon that shows idle, recording the screen, the screen and sound, or sound alone, with a
// menu of the start commands, Stop, Show window and Quit. The tray is the way back to a
// minimised program.
//
// The figures are read a few times a second on the GUI thread from what the workers keep as they
// go (recorder/live_status.h); nothing here waits for a worker. GUI thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>

#include "platform/clock.h"
#include "recorder/live_status.h"

class QLabel;
class QMenu;
class QSystemTrayIcon;
class QTimer;

namespace marrowdale {

class CMainFrame;
class RecordingSession;

// Peak and RMS of each sound source as bars: the RMS filled, the peak as a mark.
class LevelMeterWidget : public QWidget {
    Q_OBJECT
  public:
    explicit LevelMeterWidget(QWidget* parent = nullptr);
    void setLevels(const LiveStatus& status);
    const LiveStatus& levels() const { return status_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    LiveStatus status_;
};

enum class TrayState : std::uint8_t { kIdle, kScreen, kBoth, kSound };

class RecordingFeedback : public QObject {
    Q_OBJECT
  public:
    // How often the figures are read.
    static constexpr int kRefreshMs = 250;

    // `clock` and `disk` may be null (the system's are used). The session and the state outlive
    // this object, which is a child of `frame`.
    RecordingFeedback(CMainFrame& frame, RecordingSession& session, RecorderState& state,
                      std::unique_ptr<Clock> clock = nullptr,
                      std::unique_ptr<DiskFigures> disk = nullptr);
    ~RecordingFeedback() override;

    // Reads the figures now (the timer calls it).
    void refresh();

    const LiveStatus& status() const { return status_; }
    TrayState trayState() const { return trayState_; }
    QLabel* statusLabel() const { return label_; }
    LevelMeterWidget* levelMeter() const { return meter_; }
    QSystemTrayIcon* trayIcon() const { return tray_; }
    QMenu* trayMenu() const { return menu_.get(); }
    // The tray menu's item of command `id` (start commands, stop, quit), null when it has none.
    QAction* trayAction(int id) const;
    QAction* showWindowAction() const { return show_; }

    // Brings the main window back from wherever it is (the tray's "Show window").
    void showWindow();

  private:
    void updateMenuStates();
    void setTrayState(TrayState state);

    CMainFrame& frame_;
    RecordingSession& session_;
    RecorderState& state_;
    std::unique_ptr<Clock> clock_;
    std::unique_ptr<DiskFigures> disk_;
    QLabel* label_ = nullptr;
    LevelMeterWidget* meter_ = nullptr;
    std::unique_ptr<QMenu> menu_;
    QSystemTrayIcon* tray_ = nullptr;
    QAction* show_ = nullptr;
    QTimer* timer_ = nullptr;
    LiveStatus status_;
    TrayState trayState_ = TrayState::kIdle;
};

}  // namespace marrowdale
