#include "shell/recording_feedback.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>

#include "recorder/recording_session.h"
#include "resources/resources.h"
#include "shell/main_frame.h"
#include "shell/toolbar_pictures.h"

namespace marrowdale {

namespace {

constexpr int kMeterWidth = 90;
constexpr int kMeterHeight = 14;

// The tray menu's start commands and Stop, with the words a tray menu uses.
struct TrayCommand {
    int id;
    const char* text;
};
constexpr TrayCommand kTrayCommands[] = {
    {res::ID_RECORD, "Record &screen"},           {res::ID_START_BOTH, "Record screen &and sound"},
    {res::ID_RECORD_AUDIO, "Record s&ound only"}, {0, nullptr},
    {res::ID_STOP_RECORDING, "S&top recording"},
};

// The application icon with a mark in its lower right corner: red for the screen, red with a
// green ring for the screen and sound, green for sound alone.
QIcon trayPicture(TrayState state) {
    const QIcon base = applicationIcon();
    if (state == TrayState::kIdle)
        return base;
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap picture = base.pixmap(size, size);
        if (picture.isNull()) {
            picture = QPixmap(size, size);
            picture.fill(Qt::transparent);
        }
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal d = size * 0.55;
        const QRectF mark(size - d, size - d, d - 1, d - 1);
        const QColor red(220, 30, 30);
        const QColor green(30, 170, 60);
        painter.setPen(QPen(state == TrayState::kBoth ? green : Qt::white, size / 10.0));
        painter.setBrush(state == TrayState::kSound ? green : red);
        painter.drawEllipse(mark);
        painter.end();
        icon.addPixmap(picture);
    }
    return icon;
}

QString trayToolTip(const LiveStatus& status) {
    const QString app = res::loadString(res::IDR_MAINFRAME);
    if (!status.recording())
        return app;
    return app + QStringLiteral("\n") + QString::fromStdString(liveStatusText(status)).trimmed();
}

}  // namespace

LevelMeterWidget::LevelMeterWidget(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("levelMeter"));
    setFixedSize(kMeterWidth, kMeterHeight);
}

void LevelMeterWidget::setLevels(const LiveStatus& status) {
    status_ = status;
    static constexpr const char* kNames[kSoundSources] = {"Sound mixer", "Microphone"};
    QStringList tips;
    for (std::size_t i = 0; i < kSoundSources; ++i) {
        const LiveStatus::Level& level = status.levels[i];
        if (level.fresh)
            tips << QStringLiteral("%1: peak %2 dB, RMS %3 dB")
                        .arg(QLatin1String(kNames[i]))
                        .arg(levelDecibels(level.peak), 0, 'f', 1)
                        .arg(levelDecibels(level.rms), 0, 'f', 1);
    }
    setToolTip(tips.join(QLatin1Char('\n')));
    update();
}

void LevelMeterWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    // One bar per source, on a scale from -60 dB to 0 dB.
    const int barHeight = (height() - 3) / 2;
    const auto x = [this](float level) {
        return static_cast<int>((levelDecibels(level) + 60.0) / 60.0 * (width() - 2));
    };
    for (std::size_t i = 0; i < kSoundSources; ++i) {
        const LiveStatus::Level& level = status_.levels[i];
        if (!level.fresh)
            continue;
        const int top = 1 + static_cast<int>(i) * (barHeight + 1);
        const int rms = x(level.rms);
        const QColor fill =
            levelDecibels(level.peak) > -1.0 ? QColor(220, 40, 30) : QColor(40, 170, 60);
        painter.fillRect(1, top, rms, barHeight, fill);
        painter.fillRect(1 + x(level.peak), top, 2, barHeight, palette().color(QPalette::Text));
    }
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

RecordingFeedback::RecordingFeedback(CMainFrame& frame, RecordingSession& session,
                                     RecorderState& state, std::unique_ptr<Clock> clock,
                                     std::unique_ptr<DiskFigures> disk)
    : QObject(&frame),
      frame_(frame),
      session_(session),
      state_(state),
      clock_(clock ? std::move(clock) : std::make_unique<MonotonicClock>()),
      disk_(disk ? std::move(disk) : std::make_unique<SystemDiskFigures>()) {
    // In the status bar before the lock indicators.
    QStatusBar* bar = frame.statusBar();
    label_ = new QLabel(bar);
    label_->setObjectName(QStringLiteral("liveStatus"));
    label_->hide();
    meter_ = new LevelMeterWidget(bar);
    meter_->hide();
    bar->insertPermanentWidget(0, label_);
    bar->insertPermanentWidget(1, meter_);

    menu_ = std::make_unique<QMenu>();
    menu_->setObjectName(QStringLiteral("trayMenu"));
    for (const TrayCommand& command : kTrayCommands) {
        if (command.id == 0) {
            menu_->addSeparator();
            continue;
        }
        QAction* a = menu_->addAction(QString::fromLatin1(command.text));
        a->setData(command.id);
        connect(a, &QAction::triggered, this, [this, id = command.id] {
            frame_.executeCommand(id);
            refresh();
        });
    }
    menu_->addSeparator();
    show_ = menu_->addAction(QStringLiteral("Show &window"));
    connect(show_, &QAction::triggered, this, &RecordingFeedback::showWindow);
    QAction* quit = menu_->addAction(QStringLiteral("&Quit"));
    quit->setData(res::ID_APP_EXIT);
    connect(quit, &QAction::triggered, this, [this] { frame_.executeCommand(res::ID_APP_EXIT); });
    connect(menu_.get(), &QMenu::aboutToShow, this, &RecordingFeedback::updateMenuStates);

    tray_ = new QSystemTrayIcon(trayPicture(TrayState::kIdle), this);
    tray_->setToolTip(trayToolTip(status_));
    tray_->setContextMenu(menu_.get());
    // A click on the icon brings the window back as well.
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::Trigger || r == QSystemTrayIcon::DoubleClick)
            showWindow();
    });
    if (QSystemTrayIcon::isSystemTrayAvailable())
        tray_->show();

    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, &RecordingFeedback::refresh);
    timer_->start(kRefreshMs);
}

RecordingFeedback::~RecordingFeedback() {
    // The tray's menu goes after the icon that shows it.
    delete tray_;
    tray_ = nullptr;
}

QAction* RecordingFeedback::trayAction(int id) const {
    for (QAction* a : menu_->actions())
        if (!a->isSeparator() && a->data().toInt() == id)
            return a;
    return nullptr;
}

void RecordingFeedback::updateMenuStates() {
    for (QAction* a : menu_->actions()) {
        const int id = a->data().toInt();
        if (id != 0 && id != res::ID_APP_EXIT)
            a->setEnabled(frame_.commandState(id).enabled);
    }
}

void RecordingFeedback::showWindow() {
    if (frame_.isMinimized())
        frame_.showNormal();
    else
        frame_.show();
    frame_.raise();
    frame_.activateWindow();
}

void RecordingFeedback::refresh() {
    LiveSources sources;
    sources.screenRunning = session_.screenWorkerRunning();
    sources.soundRunning = session_.audioWorkerRunning();
    if (sources.screenRunning || sources.soundRunning) {
        sources.zero100ns = session_.zero100ns();
        sources.screen = sources.screenRunning ? session_.screenStats() : nullptr;
        sources.levels = &state_.soundLevels;
        sources.folder = session_.folder();
        sources.soundFile = sources.folder.empty() ? std::string() : sources.folder + "/test.wma";
    }
    status_ = gatherLiveStatus(sources, clock_->now100ns(), *disk_);

    const QString text = QString::fromStdString(liveStatusText(status_));
    if (label_->text() != text)
        label_->setText(text);
    label_->setVisible(status_.recording());
    meter_->setVisible(status_.sound);
    if (status_.sound)
        meter_->setLevels(status_);

    setTrayState(status_.screen && status_.sound ? TrayState::kBoth
                 : status_.screen                ? TrayState::kScreen
                 : status_.sound                 ? TrayState::kSound
                                                 : TrayState::kIdle);
    const QString tip = trayToolTip(status_);
    if (tray_->toolTip() != tip)
        tray_->setToolTip(tip);
}

void RecordingFeedback::setTrayState(TrayState state) {
    if (state == trayState_)
        return;
    trayState_ = state;
    tray_->setIcon(trayPicture(state));
}

}  // namespace marrowdale
