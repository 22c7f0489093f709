// After every recording the main frame's status bar says where it went (the folder, the frames,
// the free numbers and the sound file) and offers "Open folder", which shows the working folder
// in the desktop's file manager. The watch looks at the recording session a few times a second
// and speaks once the workers of a recording it has not told about have all ended, however they
// ended. GUI thread only.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

class QTimer;
class QToolButton;

namespace marrowdale {

class CMainFrame;
class RecordingSession;

class RecordingSummaryWatch final : public QObject {
    Q_OBJECT
  public:
    // Lives as a child of `frame`; `session` outlives the frame.
    RecordingSummaryWatch(RecordingSession& session, CMainFrame& frame);

    // What "Open folder" does with the folder (tests replace the file manager).
    void setFolderOpener(std::function<void(const QString&)> opener) {
        opener_ = std::move(opener);
    }
    // The button ("openRecordingFolder"), hidden until a recording has ended.
    QToolButton* openFolderButton() const { return button_; }
    // Looks at the session now (the timer does it every 250 ms).
    void poll();

  private:
    RecordingSession& session_;
    CMainFrame& frame_;
    QTimer* timer_;
    QToolButton* button_;
    QString folder_;
    std::uint64_t told_ = 0;  // recordings whose end has been told
    std::function<void(const QString&)> opener_;
};

}  // namespace marrowdale
