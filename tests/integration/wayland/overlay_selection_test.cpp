// The area selection on a Wayland desktop: the corners are taken on the overlay, driven with a
// virtual pointer (tests/support/wayland) and Escape typed with wtype, on the headless sway of
// scripts/test. Runs the real overlay watch and the selection steps against a recording host.
#include <QApplication>
#include <QPointer>
#include <QProcess>
#include <QtTest>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "capture_area/area_selection.h"
#include "capture_area/gui/gui_mouse_watch.h"
#include "capture_area/gui/selection_overlay.h"
#include "recorder/state.h"

namespace marrowdale {

// The windows around the selection and the view, reduced to what a test reads back.
class RecordingHost final : public AreaSelectionHost, public CaptureView {
  public:
    RecordingHost(CaptureSettings& settings, RecorderState& state)
        : settings_(settings), state_(state) {}

    WindowHandle topLevelFrameHandle() override { return &frame_; }
    WindowHandle viewWindowHandle() override { return &viewWindow_; }
    void setShownTopLeft(std::int32_t x, std::int32_t y) override {
        shownLeft = x;
        shownTop = y;
    }
    void setShownBottomRight(std::int32_t x, std::int32_t y) override {
        shownRight = x;
        shownBottom = y;
    }
    void setWindowTitle(WindowHandle, std::string_view title) override {
        titles.emplace_back(title);
    }
    void repaintErase() override {}
    void setForegroundWindow(WindowHandle) override {}
    HookHandle installMouseWatch() override {
        const CaptureRect before = currentCaptureRect(settings_);
        GuiMouseWatch* watch = GuiMouseWatch::open(
            {},
            [this](HookHandle self, const MouseWatchEvent& event) {
                deliverWatchedEvent(settings_, state_, *this, self, event);
            },
            nullptr,
            [this, before](HookHandle self) {
                cancelAreaSelection(settings_, state_, *this, self, before);
            });
        lastWatch = watch;
        return watch ? watch->handle() : nullptr;
    }
    void removeMouseWatch(HookHandle watch) override {
        if (GuiMouseWatch* w = GuiMouseWatch::fromHandle(watch))
            w->remove();
    }

    std::vector<std::string> titles;
    std::int32_t shownLeft = 0, shownTop = 0, shownRight = 0, shownBottom = 0;
    QPointer<GuiMouseWatch> lastWatch;

  private:
    CaptureSettings& settings_;
    RecorderState& state_;
    int frame_ = 0;
    int viewWindow_ = 0;
};

class OverlaySelection : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        QVERIFY2(GuiMouseWatch::usesOverlay(), "runs on the Wayland platform plugin");
        pointer_.setProgram(QStringLiteral(MARROWDALE_VIRTUAL_POINTER));
        pointer_.setArguments({QStringLiteral("1280"), QStringLiteral("720")});
        pointer_.start();
        QVERIFY(pointer_.waitForStarted());
        QVERIFY(answered());
        resetToProcessStart(settings_, state_);
    }

    void twoCornersTakeTheRectangle() {
        startAreaSelection(settings_, state_, host_, view_);
        SelectionOverlay* overlay = shownOverlay();
        QVERIFY(overlay != nullptr);
        QPointer<SelectionOverlay> guard(overlay);

        QVERIFY(moveTo(overlay, 200, 150));
        QVERIFY(pointer("click"));
        QTRY_COMPARE(state_.areaClickState.load(), std::uint8_t{2});
        QCOMPARE(settings_.captureLeft.load(), 200);
        QCOMPARE(settings_.captureTop.load(), 150);
        QCOMPARE(host_.shownLeft, 200);

        // The outline follows the pointer from the first corner.
        QVERIFY(moveTo(overlay, 600, 400));
        QCOMPARE(overlay->anchor().value_or(QPoint()), QPoint(200, 150));
        QCOMPARE(overlay->outlineRect(*overlay->anchor(), *overlay->pointer()),
                 QRect(QPoint(200, 150), QPoint(600, 400)));
        const QString picture = QDir::current().filePath(QStringLiteral("overlay-selection.png"));
        QVERIFY(overlay->grab().save(picture));

        QVERIFY(pointer("click"));
        QTRY_COMPARE(state_.areaClickState.load(), std::uint8_t{0});
        QCOMPARE(settings_.captureRight.load(), 600);
        QCOMPARE(settings_.captureBottom.load(), 400);
        QCOMPARE(host_.shownRight, 600);
        QCOMPARE(host_.shownBottom, 400);
        QCOMPARE(state_.statusCode.load(), StatusCode::kAreaSelected);
        QCOMPARE(state_.mouseHook.load(), nullptr);
        const std::vector<std::string> titles = {std::string(kTitleClickTopLeft),
                                                 std::string(kTitleClickBottomRight),
                                                 std::string(kTitleSelectionDone)};
        QCOMPARE(host_.titles, titles);
        QTRY_VERIFY(guard.isNull());  // the overlay is gone
    }

    void escapeCancelsAndKeepsTheRectangle() {
        host_.titles.clear();
        startAreaSelection(settings_, state_, host_, view_);
        SelectionOverlay* overlay = shownOverlay();
        QVERIFY(overlay != nullptr);
        QPointer<SelectionOverlay> guard(overlay);
        QVERIFY(moveTo(overlay, 50, 60));
        QVERIFY(pointer("click"));
        QTRY_COMPARE(state_.areaClickState.load(), std::uint8_t{2});
        QCOMPARE(settings_.captureLeft.load(), 50);

        // A wtype keyboard exists only while it types: one holds a harmless key down so that
        // the seat keeps a keyboard and the overlay has the focus when Escape comes.
        QProcess holder;
        holder.start(QStringLiteral("wtype"),
                     {QStringLiteral("-P"), QStringLiteral("F24"), QStringLiteral("-s"),
                      QStringLiteral("4000"), QStringLiteral("-p"), QStringLiteral("F24")});
        QVERIFY(holder.waitForStarted());
        QTest::qWait(700);
        QProcess escape;
        escape.start(QStringLiteral("wtype"), {QStringLiteral("-k"), QStringLiteral("Escape")});
        QVERIFY(escape.waitForFinished(10000));
        QCOMPARE(escape.exitCode(), 0);
        QTRY_COMPARE(state_.areaClickState.load(), std::uint8_t{0});
        QCOMPARE(settings_.captureLeft.load(), 200);
        QCOMPARE(settings_.captureTop.load(), 150);
        QCOMPARE(settings_.captureRight.load(), 600);
        QCOMPARE(settings_.captureBottom.load(), 400);
        QCOMPARE(host_.shownLeft, 200);
        QCOMPARE(host_.titles.back(), std::string(kTitleSelectionDone));
        QCOMPARE(state_.mouseHook.load(), nullptr);
        QTRY_VERIFY(guard.isNull());
        holder.waitForFinished(10000);
    }

    void cleanupTestCase() {
        pointer_.closeWriteChannel();
        if (!pointer_.waitForFinished(5000))
            pointer_.kill();
    }

  private:
    // The first overlay once the compositor shows it.
    SelectionOverlay* shownOverlay() {
        if (!host_.lastWatch)
            return nullptr;
        const std::vector<SelectionOverlay*> overlays = host_.lastWatch->overlays();
        if (overlays.empty() || !QTest::qWaitForWindowExposed(overlays.front()))
            return nullptr;
        return overlays.front();
    }

    // Moves the pointer and waits until the overlay has seen it there, so that the press that
    // follows lands on a window that knows where the pointer is.
    bool moveTo(SelectionOverlay* overlay, int x, int y) {
        const QPoint target(x, y);
        for (int attempt = 0; attempt < 20; ++attempt) {
            const QByteArray near = QByteArray("move ") + QByteArray::number(x - 1 + attempt % 2) +
                                    " " + QByteArray::number(y);
            if (!pointer(near.constData()) ||
                !pointer((QByteArray("move ") + QByteArray::number(x) + " " + QByteArray::number(y))
                             .constData()))
                return false;
            if (QTest::qWaitFor([&] { return overlay->pointer() == target; }, 500))
                return true;
        }
        return false;
    }

    bool pointer(const char* command) {
        pointer_.write(command);
        pointer_.write("\n");
        return answered();
    }

    bool answered() {
        while (!pointer_.canReadLine()) {
            if (!pointer_.waitForReadyRead(10000))
                return false;
        }
        return pointer_.readLine().trimmed() == "ok";
    }

    QProcess pointer_;
    CaptureSettings settings_;
    RecorderState state_;
    RecordingHost host_{settings_, state_};
    CaptureView* view_ = &host_;  // the host stands in for the view
};

}  // namespace marrowdale

// The desktop's variables come from scripts/test's file, before Qt picks its platform.
int main(int argc, char** argv) {
    const char* envFile = std::getenv("MDL_WAYLAND_ENV");
    if (envFile == nullptr || *envFile == '\0') {
        std::fprintf(stderr, "needs the Wayland desktop of scripts/test (MDL_WAYLAND_ENV)\n");
        return 1;
    }
    std::ifstream in(envFile);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("export ", 0) != 0)
            continue;
        const std::size_t eq = line.find('=');
        setenv(line.substr(7, eq - 7).c_str(), line.substr(eq + 1).c_str(), 1);
    }
    setenv("QT_QPA_PLATFORM", "wayland", 1);
    QApplication app(argc, argv);
    marrowdale::OverlaySelection test;
    return QTest::qExec(&test, argc, argv);
}

#include "overlay_selection_test.moc"
