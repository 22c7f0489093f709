#include "shell/marrowdale_view.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include "framework/message_box.h"
#include "framework/qt_ui_bridge.h"
#include "platform/clock.h"
#include "recorder/output_folder.h"
#include "resources/resources.h"
#include "shell/frame_parts.h"
#include "shell/marrowdale_doc.h"
#include "shell/view_command_bindings.h"

namespace marrowdale {

namespace {

// Draws the status lines with a QPainter: the 24-pixel "Times New Roman" cell, light grey text
// on an opaque dark grey band as wide as the text.
class PainterStatusCanvas final : public StatusCanvas {
  public:
    explicit PainterStatusCanvas(QPainter& painter) : painter_(painter) {}

    void begin() override {
        painter_.save();
        QFont font(QString::fromUtf8(kStatusFontFace.data(),
                                     static_cast<qsizetype>(kStatusFontFace.size())));
        font.setStyleHint(QFont::Serif, QFont::PreferQuality);
        font.setWeight(QFont::Normal);
        font.setItalic(false);
        font.setUnderline(false);
        font.setStrikeOut(false);
        // The size is a cell height (ascent plus descent), not an em size: fit the em size so
        // that the cell is 24 pixels.
        font.setPixelSize(kStatusFontHeightPx);
        {
            const QFontMetrics fm(font, painter_.device());
            const int cell = fm.ascent() + fm.descent();
            if (cell > 0 && cell != kStatusFontHeightPx) {
                const int em = kStatusFontHeightPx * kStatusFontHeightPx / cell;
                if (em > 0)
                    font.setPixelSize(em);
            }
        }
        painter_.setFont(font);
        band_ = QColor(QRgb(0xFF000000u | kStatusBandRgb));
        text_ = QColor(QRgb(0xFF000000u | kStatusTextRgb));
    }

    void drawLine(const StatusLine& line) override {
        const QString text =
            QString::fromUtf8(line.text.data(), static_cast<qsizetype>(line.text.size()));
        const QFontMetrics fm(painter_.font(), painter_.device());
        const int width = fm.horizontalAdvance(text);
        painter_.fillRect(QRect(line.x, line.y, width, kStatusFontHeightPx), band_);
        painter_.setPen(text_);
        painter_.drawText(QPoint(line.x, line.y + fm.ascent()), text);
    }

    void end() override { painter_.restore(); }

  private:
    QPainter& painter_;
    QColor band_;
    QColor text_;
};

bool isApplicationCommandKey(int key) {
    switch (key) {
        case Qt::Key_MediaPlay:
        case Qt::Key_MediaStop:
        case Qt::Key_MediaPrevious:
        case Qt::Key_MediaNext:
        case Qt::Key_MediaPause:
        case Qt::Key_MediaTogglePlayPause:
        case Qt::Key_MediaRecord:
        case Qt::Key_VolumeDown:
        case Qt::Key_VolumeUp:
        case Qt::Key_VolumeMute:
        case Qt::Key_Back:
        case Qt::Key_Forward:
        case Qt::Key_Refresh:
        case Qt::Key_Stop:
        case Qt::Key_Search:
        case Qt::Key_Favorites:
        case Qt::Key_HomePage:
        case Qt::Key_LaunchMail:
        case Qt::Key_LaunchMedia:
        case Qt::Key_Launch0:
        case Qt::Key_Launch1:
        case Qt::Key_BassBoost:
        case Qt::Key_BassUp:
        case Qt::Key_BassDown:
        case Qt::Key_TrebleUp:
        case Qt::Key_TrebleDown:
            return true;
        default:
            return false;
    }
}

}  // namespace

CMarrowdaleView::CMarrowdaleView(CMarrowdaleDoc* document, ViewServices services, QWidget* parent)
    : QWidget(parent), document_(document), services_(std::move(services)) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    if (document_)
        document_->addView(this);

    // The shared records as every new view leaves them.
    shownTop = kCaptureDefaults.top;
    shownLeft = kCaptureDefaults.left;
    shownRight = kCaptureDefaults.right;
    shownBottom = kCaptureDefaults.bottom;
    resetForNewView(captureSettings(), recorderState());
    if (timeBeginPeriod(1) != 0)
        afxMessageBox(QStringLiteral("timeBeginPeriod() failed"));
    clearStopRequests(recorderState());

    bindOwnCommands();
    bindOptionsCommands(commandMap(), *this);
    bindAudioDialogCommands(commandMap(), *this);
    bindCaptureAreaCommands(commandMap(), *this);
    bindToolsCommands(commandMap(), *this);
}

CMarrowdaleView::~CMarrowdaleView() {
    timeEndPeriod(1);
    for (auto& step : destroySteps_)
        if (step)
            step();
    RecorderState& state = recorderState();
    state.stopScreenRequested.store(1);
    state.stopAudioRequested.store(1);
    state.titleWindow.store(nullptr);
    // Let the workers see the requests and finish their files, answering their UI requests
    // meanwhile; at most 5 seconds.
    if (services_.waitForWorkers)
        services_.waitForWorkers();
    if (state.commandView.load() == captureView())
        state.commandView.store(nullptr);
    if (document_)
        document_->removeView(this);
}

void CMarrowdaleView::bindOwnCommands() {
    CommandMap& map = commandMap();
    auto run = [this](void (*handler)(RecordingCommandContext&)) {
        return [this, handler] {
            RecordingCommandContext ctx = commandContext();
            handler(ctx);
        };
    };
    map.on(res::ID_RECORD, run(&OnCommandRecord));
    map.on(res::ID_START_BOTH, run(&OnCommandStartBoth));
    map.on(res::ID_MIN_START_BOTH_BUTTON, run(&OnCommandMinimizeStartBoth));
    map.on(res::ID_MIN_START_BOTH, run(&OnCommandMinimizeStartBoth));
    map.on(res::ID_MIN_START_SCREEN_BUTTON, run(&OnCommandMinimizeStartScreen));
    map.on(res::ID_MIN_START_SCREEN, run(&OnCommandMinimizeStartScreen));
    map.on(res::ID_STOP_RECORDING, run(&OnCommandStopRecording));
    map.on(res::ID_STOP_BUTTON, run(&OnCommandStopRecording));
    map.on(res::ID_SETTINGS_BUTTON, run(&OnCommandStopRecording));
    map.on(res::ID_CHANGE_SETTINGS, [] {});
    map.on(res::ID_FRAME_RATE_80, [] { OnCommandFrameRate80(captureSettings()); });
    map.on(res::ID_FILE_PRINT, [this] { OnFilePrint(); });
    map.on(res::ID_FILE_PRINT_DIRECT, [this] { OnFilePrint(); });
    map.on(res::ID_FILE_PRINT_PREVIEW, [this] { OnFilePrintPreview(); });
}

CMarrowdaleDoc* CMarrowdaleView::document() const {
    return document_.data();
}

RecordingCommandContext CMarrowdaleView::commandContext() {
    return RecordingCommandContext{captureSettings(), recorderState(), services_.ui,
                                   services_.workers, *this};
}

WindowHandle CMarrowdaleView::parentFrameHandle() {
    return toWindowHandle(parentWidget());
}

WindowHandle CMarrowdaleView::topLevelFrameHandle() {
    return toWindowHandle(window());
}

void CMarrowdaleView::minimizeMainFrame() {
    window()->showMinimized();
}

std::string CMarrowdaleView::currentDirectory() {
    return marrowdale::currentDirectory();
}

void CMarrowdaleView::repaintErase() {
    update();
}

void CMarrowdaleView::setShownTopLeft(std::int32_t x, std::int32_t y) {
    shownLeft = x;
    shownTop = y;
}

void CMarrowdaleView::setShownBottomRight(std::int32_t x, std::int32_t y) {
    shownRight = x;
    shownBottom = y;
}

void CMarrowdaleView::setLeftButtonDownHandler(std::function<void(const QPoint&)> handler) {
    leftButtonDown_ = std::move(handler);
}

void CMarrowdaleView::addDestroyStep(std::function<void()> step) {
    destroySteps_.push_back(std::move(step));
}

void CMarrowdaleView::postCommand(int id) {
    QMetaObject::invokeMethod(
        this, [this, id] { commandMap().execute(id); }, Qt::QueuedConnection);
}

void CMarrowdaleView::OnDraw(QPainter& painter) {
    PainterStatusCanvas canvas(painter);
    const ShownArea area{shownTop, shownLeft, shownRight, shownBottom};
    paintStatus(document_ != nullptr, recorderState(), services_.ui, area, canvas);
}

void CMarrowdaleView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    OnDraw(painter);
}

void CMarrowdaleView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && leftButtonDown_) {
        const auto handler = leftButtonDown_;
        handler(event->position().toPoint());
    }
    QWidget::mousePressEvent(event);
}

void CMarrowdaleView::mouseReleaseEvent(QMouseEvent* event) {
    // The context menu opens when the right button is released over the view.
    if (event->button() == Qt::RightButton && rect().contains(event->position().toPoint())) {
        showContextMenu(event->globalPosition().toPoint());
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void CMarrowdaleView::contextMenuEvent(QContextMenuEvent* event) {
    // The menu key opens it at once; the mouse's request comes with the press, and the menu
    // waits for the release.
    if (event->reason() != QContextMenuEvent::Mouse)
        showContextMenu(mapToGlobal(event->pos()));
    event->accept();
}

void CMarrowdaleView::showContextMenu(const QPoint& global) {
    emit contextMenuRequested(global);
    if (services_.popupMenus)
        services_.popupMenus->showPopupMenu(res::IDR_POPUP_EDIT, global);
}

void CMarrowdaleView::keyPressEvent(QKeyEvent* event) {
    if (isApplicationCommandKey(event->key())) {
        event->accept();  // taken and ignored
        return;
    }
    QWidget::keyPressEvent(event);
}

bool CMarrowdaleView::printTo(QPrinter& printer) {
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    // The lines keep their on-screen size on paper.
    const double scale = printer.logicalDpiX() / 96.0;
    if (scale > 0)
        painter.scale(scale, scale);
    OnDraw(painter);
    return painter.end();
}

QPrinter& CMarrowdaleView::printer() {
    if (services_.printer)
        return *services_.printer;
    if (!ownPrinter_)
        ownPrinter_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *ownPrinter_;
}

void CMarrowdaleView::OnFilePrint() {
    QPrinter& target = printer();
    QPrintDialog dialog(&target, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (!printTo(target))
        afxMessageBox(QStringLiteral("Failed to print."));
}

void CMarrowdaleView::OnFilePrintPreview() {
    QPrintPreviewDialog preview(&printer(), this);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* p) { printTo(*p); });
    preview.exec();
}

}  // namespace marrowdale
