#include "shell/recording_summary_watch.h"

#include <QDesktopServices>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include "framework/status_notice.h"
#include "recorder/recording_folder.h"
#include "recorder/recording_session.h"
#include "recorder/state.h"
#include "shell/main_frame.h"

namespace marrowdale {

RecordingSummaryWatch::RecordingSummaryWatch(RecordingSession& session, CMainFrame& frame)
    : QObject(&frame),
      session_(session),
      frame_(frame),
      timer_(new QTimer(this)),
      button_(new QToolButton(frame.statusBar())) {
    button_->setObjectName(QStringLiteral("openRecordingFolder"));
    button_->setText(QStringLiteral("Open folder"));
    button_->setToolTip(QStringLiteral("Show the recording's folder in the file manager"));
    button_->setAutoRaise(true);
    button_->hide();
    frame.statusBar()->addWidget(button_);
    opener_ = [](const QString& folder) { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); };
    connect(button_, &QToolButton::clicked, this, [this] {
        if (!folder_.isEmpty() && opener_)
            opener_(folder_);
    });
    connect(timer_, &QTimer::timeout, this, &RecordingSummaryWatch::poll);
    timer_->start(250);
}

void RecordingSummaryWatch::poll() {
    if (session_.recordingsStarted() == told_ || session_.screenWorkerRunning() ||
        session_.audioWorkerRunning())
        return;
    told_ = session_.recordingsStarted();
    if (session_.lastFolder().empty())
        return;
    const RecordingSummary summary = summarizeRecording(
        session_.lastFolder(), captureSettings().imageFormat.load(), session_.lastHadAudio());
    folder_ = QString::fromStdString(summary.folder);
    showStatusNotice(&frame_, QString::fromStdString(recordingSummaryLine(summary)));
    button_->show();
}

}  // namespace marrowdale
