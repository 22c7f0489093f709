#include "recorder/status_display.h"

#include <cstdio>

namespace marrowdale {

namespace {

constexpr int kLeft = 15;
constexpr int kFirstTop = 15;
constexpr int kLineStep = 20;

StatusLine numberLine(int index, const char* format, std::int32_t value) {
    char buffer[kStatusLineBufferChars];
    const int n = std::snprintf(buffer, sizeof buffer, format, static_cast<int>(value));
    StatusLine line;
    line.x = kLeft;
    line.y = kFirstTop + index * kLineStep;
    if (n > 0)
        line.text.assign(buffer, static_cast<std::size_t>(n) < sizeof buffer
                                     ? static_cast<std::size_t>(n)
                                     : sizeof buffer - 1);
    return line;
}

}  // namespace

std::vector<StatusLine> statusLines(StatusCode statusCode, const ShownArea& area) {
    switch (statusCode) {
        case StatusCode::kAudioStopped:
            return {{kLeft, kFirstTop, "Stopped recording audio"}};
        case StatusCode::kScreenStopped:
            return {{kLeft, kFirstTop + kLineStep, "Stopped recording screen"}};
        case StatusCode::kBothStarted:
            return {{kLeft, kFirstTop, "Started video and audio recording"}};
        case StatusCode::kScreenStarted:
            return {{kLeft, kFirstTop, "Started video recording"}};
        case StatusCode::kAudioStarted:
            return {{kLeft, kFirstTop, "Started audio recording"}};
        case StatusCode::kShowArea:
        case StatusCode::kAreaSelected:
        default:
            return {{kLeft, kFirstTop, "Capture area"},
                    numberLine(1, "Top %d", area.top),
                    numberLine(2, "Left %d", area.left),
                    numberLine(3, "Bottom %d", area.bottom),
                    numberLine(4, "Right %d", area.right)};
    }
}

void paintStatus(bool hasDocument, RecorderState& state, UiBridge& ui, const ShownArea& area,
                 StatusCanvas& canvas) {
    if (!hasDocument)
        return;
    if (state.raiseOnDraw.load() != 0) {
        ui.setForegroundWindow(state.frameWindow.load());
        state.raiseOnDraw.store(0);
    }
    const StatusCode code = state.statusCode.load();
    canvas.begin();
    for (const StatusLine& line : statusLines(code, area))
        canvas.drawLine(line);
    canvas.end();
}

}  // namespace marrowdale
