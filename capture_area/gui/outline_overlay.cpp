#include "capture_area/gui/outline_overlay.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace marrowdale {

namespace {

constexpr int kRing = 2;          // the outline's width: a white and a red line
constexpr int kLabelOffset = 16;  // from the pointer to the label
constexpr int kLabelPadding = 4;  // around the label's text
constexpr int kFollowIntervalMs = 16;

const QColor kOuterLine(255, 255, 255);
const QColor kInnerLine(220, 0, 0);
const QColor kLabelBackground(32, 32, 32);

}  // namespace

OutlineOverlay::OutlineOverlay(const QPoint& anchor)
    : QWidget(nullptr, Qt::Window | Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::X11BypassWindowManagerHint | Qt::WindowTransparentForInput |
                           Qt::WindowDoesNotAcceptFocus),
      anchor_(anchor),
      corner_(anchor),
      timer_(new QTimer(this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setWindowTitle(QStringLiteral("Marrowdale capture area"));
    connect(timer_, &QTimer::timeout, this, &OutlineOverlay::followPointer);
    timer_->start(kFollowIntervalMs);
    corner_ = toDesktop(QCursor::pos());
    layOut();
}

QString OutlineOverlay::sizeText(const QPoint& anchor, const QPoint& corner) {
    return QStringLiteral("%1 \u00d7 %2").arg(corner.x() - anchor.x()).arg(corner.y() - anchor.y());
}

void OutlineOverlay::setCorner(const QPoint& corner) {
    if (corner == corner_)
        return;
    corner_ = corner;
    layOut();
}

void OutlineOverlay::followPointer() {
    setCorner(toDesktop(QCursor::pos()));
}

QPoint OutlineOverlay::toLogical(const QPoint& desktop) const {
    const qreal ratio = qApp->devicePixelRatio();
    return QPoint(static_cast<int>(std::lround(desktop.x() / ratio)),
                  static_cast<int>(std::lround(desktop.y() / ratio)));
}

QPoint OutlineOverlay::toDesktop(const QPoint& logical) const {
    const qreal ratio = qApp->devicePixelRatio();
    return QPoint(static_cast<int>(std::lround(logical.x() * ratio)),
                  static_cast<int>(std::lround(logical.y() * ratio)));
}

void OutlineOverlay::layOut() {
    const QPoint a = toLogical(anchor_);
    const QPoint c = toLogical(corner_);
    // The recorded pixels run from the first corner up to, not including, the second; the
    // outline runs just outside them.
    const QRect recorded(QPoint(std::min(a.x(), c.x()), std::min(a.y(), c.y())),
                         QSize(std::abs(c.x() - a.x()), std::abs(c.y() - a.y())));
    const QRect ring = recorded.adjusted(-kRing, -kRing, kRing, kRing);

    const QFontMetrics metrics(font());
    const QSize text = metrics.size(Qt::TextSingleLine, sizeText(anchor_, corner_));
    const QSize labelSize(text.width() + 2 * kLabelPadding, text.height() + 2 * kLabelPadding);
    QRect label(c + QPoint(kLabelOffset, kLabelOffset), labelSize);
    // Beside the pointer, on the side where the screen has room.
    const QScreen* screen = QGuiApplication::screenAt(c);
    const QRect area = screen != nullptr ? screen->geometry() : QRect(c, c);
    if (label.right() > area.right())
        label.moveRight(c.x() - kLabelOffset);
    if (label.bottom() > area.bottom())
        label.moveBottom(c.y() - kLabelOffset);

    const QRect window = ring.united(label);
    ringRect_ = ring.translated(-window.topLeft());
    labelRect_ = label.translated(-window.topLeft());
    setGeometry(window);
    QRegion shape =
        QRegion(ringRect_).subtracted(QRegion(ringRect_.adjusted(kRing, kRing, -kRing, -kRing)));
    shape += labelRect_;
    setMask(shape);
    update();
}

void OutlineOverlay::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(ringRect_, kOuterLine);
    painter.fillRect(ringRect_.adjusted(1, 1, -1, -1), kInnerLine);
    painter.fillRect(labelRect_, kLabelBackground);
    painter.setPen(Qt::white);
    painter.drawText(labelRect_, Qt::AlignCenter, sizeText(anchor_, corner_));
}

}  // namespace marrowdale
