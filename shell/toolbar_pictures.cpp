#include "shell/toolbar_pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygon>

#include "resources/resources.h"

namespace marrowdale {

namespace {

const QColor kOutline(0, 0, 0);
const QColor kPaper(255, 255, 255);
const QColor kDarkRed(139, 0, 0);

void page(QPainter& p, int x, int y, int w, int h) {
    const QPolygon shape({QPoint(x, y), QPoint(x + w - 4, y), QPoint(x + w, y + 4),
                          QPoint(x + w, y + h), QPoint(x, y + h)});
    p.setPen(kOutline);
    p.setBrush(kPaper);
    p.drawPolygon(shape);
    p.drawLine(x + w - 4, y, x + w - 4, y + 4);
    p.drawLine(x + w - 4, y + 4, x + w, y + 4);
}

void downArrow(QPainter& p, int cx, int top, int bottom) {
    p.setPen(Qt::NoPen);
    p.setBrush(kDarkRed);
    p.drawRect(cx - 1, top, 3, bottom - top - 4);
    p.drawPolygon(
        QPolygon({QPoint(cx - 4, bottom - 5), QPoint(cx + 4, bottom - 5), QPoint(cx, bottom)}));
}

void draw(QPainter& p, int id) {
    using namespace res;
    switch (id) {
        case ID_FILE_NEW:  // blank page
            page(p, 3, 1, 10, 13);
            break;
        case ID_FILE_OPEN:  // open folder
            p.setPen(kOutline);
            p.setBrush(QColor(230, 190, 60));
            p.drawRect(1, 4, 12, 9);
            p.drawRect(1, 2, 5, 2);
            p.setBrush(QColor(250, 220, 110));
            p.drawPolygon(QPolygon({QPoint(3, 7), QPoint(15, 7), QPoint(13, 13), QPoint(1, 13)}));
            break;
        case ID_FILE_SAVE:  // floppy disk
            p.setPen(kOutline);
            p.setBrush(QColor(40, 70, 160));
            p.drawRect(1, 1, 13, 13);
            p.setBrush(kPaper);
            p.drawRect(3, 1, 9, 5);
            p.setBrush(QColor(180, 180, 180));
            p.drawRect(4, 9, 7, 5);
            break;
        case ID_EDIT_CUT:  // scissors
            p.setPen(QPen(kOutline, 1));
            p.drawLine(4, 1, 10, 9);
            p.drawLine(11, 1, 5, 9);
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(QColor(0, 0, 160), 1));
            p.drawEllipse(1, 9, 4, 4);
            p.drawEllipse(10, 9, 4, 4);
            break;
        case ID_EDIT_COPY:  // two pages
            page(p, 1, 1, 8, 9);
            page(p, 6, 5, 8, 9);
            break;
        case ID_EDIT_PASTE:  // clipboard
            p.setPen(kOutline);
            p.setBrush(QColor(150, 100, 40));
            p.drawRect(1, 2, 10, 12);
            p.setBrush(QColor(200, 200, 200));
            p.drawRect(4, 1, 4, 2);
            page(p, 6, 5, 8, 9);
            break;
        case ID_FILE_PRINT:  // printer
            p.setPen(kOutline);
            p.setBrush(kPaper);
            p.drawRect(4, 1, 8, 5);
            p.setBrush(QColor(190, 190, 190));
            p.drawRect(1, 6, 14, 6);
            p.setBrush(kPaper);
            p.drawRect(4, 10, 8, 4);
            p.setPen(QColor(0, 160, 0));
            p.drawPoint(13, 8);
            break;
        case ID_APP_ABOUT: {  // question mark
            QFont f = p.font();
            f.setPixelSize(14);
            f.setBold(true);
            p.setFont(f);
            p.setPen(QColor(0, 0, 200));
            p.drawText(QRect(0, 0, kToolbarPictureWidth, kToolbarPictureHeight), Qt::AlignCenter,
                       QStringLiteral("?"));
            break;
        }
        case ID_SELECT_AREA_BUTTON:  // four corner brackets
            p.setPen(kOutline);
            p.drawLine(1, 1, 5, 1);
            p.drawLine(1, 1, 1, 4);
            p.drawLine(10, 1, 14, 1);
            p.drawLine(14, 1, 14, 4);
            p.drawLine(1, 13, 5, 13);
            p.drawLine(1, 10, 1, 13);
            p.drawLine(10, 13, 14, 13);
            p.drawLine(14, 10, 14, 13);
            break;
        case ID_RECORD:  // red dot on black
            p.fillRect(0, 0, kToolbarPictureWidth, kToolbarPictureHeight, Qt::black);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(255, 0, 0));
            p.drawEllipse(3, 2, 10, 10);
            break;
        case ID_STOP_BUTTON:  // black square
            p.fillRect(3, 2, 10, 10, Qt::black);
            break;
        case ID_SETTINGS_BUTTON:  // wrench on light blue
            p.fillRect(0, 0, kToolbarPictureWidth, kToolbarPictureHeight, QColor(173, 216, 230));
            p.setPen(QPen(QColor(80, 80, 80), 2));
            p.drawLine(3, 12, 10, 5);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(80, 80, 80));
            p.drawEllipse(8, 1, 6, 6);
            p.setBrush(QColor(173, 216, 230));
            p.drawRect(11, 1, 2, 3);
            break;
        case ID_RECORD_AUDIO:  // microphone with red dot
            p.setPen(kOutline);
            p.setBrush(QColor(120, 120, 120));
            p.drawRoundedRect(4, 1, 5, 8, 2, 2);
            p.drawLine(6, 9, 6, 12);
            p.drawLine(3, 13, 9, 13);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(255, 0, 0));
            p.drawEllipse(10, 8, 5, 5);
            break;
        case ID_LIST_CODECS:  // page of text
            page(p, 2, 1, 11, 13);
            p.setPen(QColor(60, 60, 60));
            for (int y = 5; y <= 12; y += 2)
                p.drawLine(4, y, 10, y);
            break;
        case ID_START_BOTH:  // two red dots on green
            p.fillRect(0, 0, kToolbarPictureWidth, kToolbarPictureHeight, QColor(0, 150, 0));
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(255, 0, 0));
            p.drawEllipse(1, 4, 6, 6);
            p.drawEllipse(9, 4, 6, 6);
            break;
        case ID_MAX_FRAMES_BUTTON:  // hourglass
            p.setPen(kOutline);
            p.setBrush(QColor(230, 200, 120));
            p.drawPolygon(QPolygon({QPoint(3, 1), QPoint(12, 1), QPoint(8, 7), QPoint(12, 13),
                                    QPoint(3, 13), QPoint(7, 7)}));
            break;
        case ID_FRAME_OPTIONS_BUTTON:  // clock
            p.setPen(kOutline);
            p.setBrush(kPaper);
            p.drawEllipse(1, 0, 13, 13);
            p.drawLine(7, 6, 7, 2);
            p.drawLine(7, 6, 11, 6);
            break;
        case ID_FILL_FRAMES_BUTTON:  // paint bucket
            p.setPen(kOutline);
            p.setBrush(QColor(200, 200, 200));
            p.drawPolygon(QPolygon({QPoint(2, 5), QPoint(8, 1), QPoint(13, 7), QPoint(7, 12)}));
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0, 0, 230));
            p.drawEllipse(11, 9, 4, 5);
            break;
        case ID_CAPTURE_MODE_BUTTON:  // monitor
            p.setPen(kOutline);
            p.setBrush(QColor(60, 110, 200));
            p.drawRect(1, 1, 13, 9);
            p.setBrush(QColor(160, 160, 160));
            p.drawRect(6, 11, 3, 1);
            p.drawRect(3, 13, 9, 1);
            break;
        case ID_MIN_START_BOTH_BUTTON:  // two dark red downward arrows
            downArrow(p, 4, 1, 13);
            downArrow(p, 11, 1, 13);
            break;
        case ID_MIN_START_SCREEN_BUTTON:  // one dark red downward arrow
            downArrow(p, 7, 1, 13);
            break;
        default:
            break;
    }
}

bool hasPicture(int id) {
    for (int t : res::loadToolbar(res::IDR_MAINFRAME_256))
        if (t == id && t != 0)
            return true;
    return false;
}

}  // namespace

QPixmap toolbarPicture(int id) {
    if (!hasPicture(id))
        return {};
    QPixmap pixmap(kToolbarPictureWidth, kToolbarPictureHeight);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    draw(p, id);
    p.end();
    return pixmap;
}

QIcon applicationIcon() {
    QIcon drawn;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        // The picture is laid out on 128 units, as the scalable icon in data/icons/.
        p.scale(size / 128.0, size / 128.0);
        QLinearGradient body(0, 6, 0, 114);
        body.setColorAt(0, QColor(0x45, 0x4b, 0x59));
        body.setColorAt(1, QColor(0x1d, 0x20, 0x27));
        p.setPen(Qt::NoPen);
        p.setBrush(body);
        p.drawRoundedRect(QRectF(6, 6, 116, 108), 20, 20);
        QPen bracket(QColor(0xe9, 0xed, 0xf3), 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        p.setPen(bracket);
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF({QPointF(24, 44), QPointF(24, 26), QPointF(42, 26)}));
        p.drawPolyline(QPolygonF({QPointF(86, 26), QPointF(104, 26), QPointF(104, 44)}));
        p.drawPolyline(QPolygonF({QPointF(104, 76), QPointF(104, 94), QPointF(86, 94)}));
        p.drawPolyline(QPolygonF({QPointF(42, 94), QPointF(24, 94), QPointF(24, 76)}));
        QRadialGradient dot(QPointF(60, 53), 30);
        dot.setColorAt(0, QColor(0xff, 0x7a, 0x6b));
        dot.setColorAt(0.55, QColor(0xe3, 0x26, 0x1b));
        dot.setColorAt(1, QColor(0xa8, 0x14, 0x0d));
        p.setPen(Qt::NoPen);
        p.setBrush(dot);
        p.drawEllipse(QPointF(64, 60), 21, 21);
        p.end();
        drawn.addPixmap(pixmap);
    }
    return QIcon::fromTheme(QStringLiteral(MARROWDALE_APP_ID), drawn);
}

}  // namespace marrowdale
