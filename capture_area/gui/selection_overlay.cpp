#include "capture_area/gui/selection_overlay.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include "capture_area/area_selection.h"

namespace marrowdale {

SelectionOverlay::SelectionOverlay(QScreen* screen, Callbacks callbacks)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      callbacks_(std::move(callbacks)),
      origin_(screen->geometry().topLeft()) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_DeleteOnClose);
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
    setFocusPolicy(Qt::StrongFocus);
    setWindowTitle(
        QString::fromUtf8(kTitleClickTopLeft.data(), static_cast<int>(kTitleClickTopLeft.size())));
    setScreen(screen);
    setGeometry(screen->geometry());
}

void SelectionOverlay::setAnchor(const QPoint& desktopPoint) {
    anchor_ = desktopPoint;
    setWindowTitle(QString::fromUtf8(kTitleClickBottomRight.data(),
                                     static_cast<int>(kTitleClickBottomRight.size())));
    update();
}

QRect SelectionOverlay::outlineRect(const QPoint& a, const QPoint& b) const {
    return QRect(a - origin_, b - origin_).normalized();
}

QPoint SelectionOverlay::toDesktop(const QPointF& local) const {
    return origin_ + local.toPoint();
}

void SelectionOverlay::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // A light veil, so that the user sees the selection is on (and the window takes the presses).
    painter.fillRect(rect(), QColor(0, 0, 0, 48));
    const QString prompt = windowTitle();
    QFont font = painter.font();
    font.setPointSize(font.pointSize() + 4);
    painter.setFont(font);
    const QRect band(0, 24, width(), painter.fontMetrics().height() + 16);
    painter.fillRect(band.adjusted(band.width() / 3, 0, -band.width() / 3, 0),
                     QColor(0, 0, 0, 160));
    painter.setPen(Qt::white);
    painter.drawText(band, Qt::AlignCenter, prompt + QStringLiteral("  (Esc cancels)"));
    if (anchor_ && pointer_) {
        const QRect outline = outlineRect(*anchor_, *pointer_);
        painter.setPen(QPen(QColor(255, 255, 255), 1, Qt::SolidLine));
        painter.drawRect(outline);
        painter.setPen(QPen(QColor(220, 0, 0), 1, Qt::DashLine));
        painter.drawRect(outline);
    }
}

void SelectionOverlay::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const QPoint point = toDesktop(event->position());
    pointer_ = point;
    if (callbacks_.press)
        callbacks_.press(point);
}

void SelectionOverlay::mouseMoveEvent(QMouseEvent* event) {
    pointer_ = toDesktop(event->position());
    if (anchor_)
        update();
}

void SelectionOverlay::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        if (callbacks_.cancel)
            callbacks_.cancel();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace marrowdale
