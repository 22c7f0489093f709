// The area selection on a Wayland desktop, where no program may watch presses on other
// programs' windows: a transparent window of our own over each screen takes the two corners.
// It shows the prompt, and once the first corner is taken, the outline from that corner to the
// pointer as it moves. Escape cancels. GUI thread only.
#pragma once

#include <QPoint>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

class QScreen;

namespace marrowdale {

class SelectionOverlay final : public QWidget {
    Q_OBJECT
  public:
    struct Callbacks {
        // A left press at a desktop point.
        std::function<void(const QPoint& desktopPoint)> press;
        // Escape.
        std::function<void()> cancel;
    };

    // Covers `screen` once shown.
    SelectionOverlay(QScreen* screen, Callbacks callbacks);

    // The first corner is taken: the outline runs from it to the pointer from now on.
    void setAnchor(const QPoint& desktopPoint);
    std::optional<QPoint> anchor() const { return anchor_; }
    // Where the pointer was last seen, as a desktop point.
    std::optional<QPoint> pointer() const { return pointer_; }

    // The outline between two desktop points, in this window's coordinates (corners in either
    // order, both included).
    QRect outlineRect(const QPoint& a, const QPoint& b) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QPoint toDesktop(const QPointF& local) const;

    Callbacks callbacks_;
    QPoint origin_;  // the screen's top-left on the desktop
    std::optional<QPoint> anchor_;
    std::optional<QPoint> pointer_;
};

}  // namespace marrowdale
