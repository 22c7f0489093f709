// The rectangle being chosen on an X11 desktop, shown while the second corner is sought: an
// outline from the first corner to the pointer, just outside the pixels that would be recorded,
// with the size in pixels beside the pointer. It follows the pointer by itself.
//
// The window takes no input at all: presses and moves go through it to the windows below, as the
// selection requires (a press on another program's button still presses it). It is cut to its
// outline and label, so that it needs no compositor and hides nothing else. GUI thread only.
#pragma once

#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>

class QTimer;

namespace marrowdale {

class OutlineOverlay final : public QWidget {
    Q_OBJECT
  public:
    // `anchor`: the first corner, in the desktop's pixels (as the mouse watch reports them).
    explicit OutlineOverlay(const QPoint& anchor);

    // The size the rectangle would have with its second corner at `corner` (both in desktop
    // pixels): right minus left by bottom minus top, as it would be stored, for example
    // "640 × 480"; a corner above or left of the first gives a negative number.
    static QString sizeText(const QPoint& anchor, const QPoint& corner);

    // Where the outline now runs to, in desktop pixels.
    QPoint corner() const { return corner_; }
    // Moves the outline's free corner (the pointer's position, in desktop pixels).
    void setCorner(const QPoint& corner);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void followPointer();
    void layOut();
    // Desktop pixels to this program's coordinates and back (they differ when Qt scales).
    QPoint toLogical(const QPoint& desktop) const;
    QPoint toDesktop(const QPoint& logical) const;

    QPoint anchor_;
    QPoint corner_;
    QRect labelRect_;  // in this window's coordinates
    QRect ringRect_;   // the outline's outer edge, in this window's coordinates
    QTimer* timer_;
};

}  // namespace marrowdale
