#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fakes/fake_ui_bridge.h"
#include "recorder/state.h"
#include "recorder/status_display.h"

namespace marrowdale {
namespace {

class RecordingCanvas final : public StatusCanvas {
  public:
    void begin() override { events.push_back("begin"); }
    void drawLine(const StatusLine& line) override {
        events.push_back("line");
        lines.push_back(line);
    }
    void end() override { events.push_back("end"); }
    std::vector<std::string> events;
    std::vector<StatusLine> lines;
};

struct LinesCase {
    std::uint8_t code;
    ShownArea area;
    std::vector<StatusLine> expected;
};

TEST(StatusLines, TextsAndPositionsPerCode) {
    const ShownArea defaults;
    const std::vector<StatusLine> areaLines = {{15, 15, "Capture area"},
                                               {15, 35, "Top 100"},
                                               {15, 55, "Left 100"},
                                               {15, 75, "Bottom 600"},
                                               {15, 95, "Right 800"}};
    const std::vector<LinesCase> cases = {
        {0, defaults, areaLines},
        {6, defaults, areaLines},
        {1, defaults, {{15, 15, "Stopped recording audio"}}},
        {3, defaults, {{15, 15, "Started video and audio recording"}}},
        {2, defaults, {{15, 35, "Stopped recording screen"}}},
        {4, defaults, {{15, 15, "Started video recording"}}},
        {5, defaults, {{15, 15, "Started audio recording"}}},
        {7, defaults, areaLines},
        {255, defaults, areaLines},
        {0,
         {-1080, -1280, 0, -1},
         {{15, 15, "Capture area"},
          {15, 35, "Top -1080"},
          {15, 55, "Left -1280"},
          {15, 75, "Bottom -1"},
          {15, 95, "Right 0"}}},
        {6,
         {INT32_MIN, INT32_MAX, 7, 8},
         {{15, 15, "Capture area"},
          {15, 35, "Top -2147483648"},
          {15, 55, "Left 2147483647"},
          {15, 75, "Bottom 8"},
          {15, 95, "Right 7"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "code " << int(c.code));
        EXPECT_EQ(statusLines(static_cast<StatusCode>(c.code), c.area), c.expected);
    }
}

TEST(StatusLines, LinesAreTwentyPixelsApartWithOverlappingBands) {
    const auto lines = statusLines(StatusCode::kShowArea, ShownArea{});
    ASSERT_EQ(lines.size(), 5u);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].y - lines[i - 1].y, 20);
        EXPECT_LT(lines[i].y, lines[i - 1].y + kStatusFontHeightPx);  // bands overlap by 4
    }
    EXPECT_EQ(kStatusBandRgb, 0x323232u);
    EXPECT_EQ(kStatusTextRgb, 0xC8C8C8u);
}

class PaintStatusTest : public testing::Test {
  protected:
    void SetUp() override { resetToProcessStart(settings, state); }
    CaptureSettings settings;
    RecorderState state;
    FakeUiBridge ui;
    RecordingCanvas canvas;
};

TEST_F(PaintStatusTest, WithoutDocumentNothingIsDrawnAndRaiseStays) {
    int frame = 0;
    state.frameWindow.store(&frame);
    state.raiseOnDraw.store(1);
    paintStatus(false, state, ui, ShownArea{}, canvas);
    EXPECT_TRUE(canvas.events.empty());
    EXPECT_TRUE(ui.calls().empty());
    EXPECT_EQ(state.raiseOnDraw.load(), 1);
}

TEST_F(PaintStatusTest, RaiseOnDrawRaisesFrameOnceThenClears) {
    int frame = 0;
    state.frameWindow.store(&frame);
    state.raiseOnDraw.store(1);
    paintStatus(true, state, ui, ShownArea{}, canvas);
    ASSERT_EQ(ui.calls().size(), 1u);
    EXPECT_EQ(ui.calls()[0].kind, "setForegroundWindow");
    EXPECT_EQ(ui.calls()[0].window, &frame);
    EXPECT_EQ(state.raiseOnDraw.load(), 0);
    paintStatus(true, state, ui, ShownArea{}, canvas);
    EXPECT_EQ(ui.calls().size(), 1u);  // the second paint does not raise again
}

TEST_F(PaintStatusTest, LinesDrawnBetweenBeginAndEnd) {
    state.statusCode.store(StatusCode::kBothStarted);
    paintStatus(true, state, ui, ShownArea{}, canvas);
    EXPECT_EQ(canvas.events, (std::vector<std::string>{"begin", "line", "end"}));
    ASSERT_EQ(canvas.lines.size(), 1u);
    EXPECT_EQ(canvas.lines[0].text, "Started video and audio recording");
    state.statusCode.store(StatusCode::kShowArea);
    canvas.events.clear();
    canvas.lines.clear();
    paintStatus(true, state, ui, ShownArea{1, 2, 3, 4}, canvas);
    ASSERT_EQ(canvas.lines.size(), 5u);
    EXPECT_EQ(canvas.lines[1].text, "Top 1");
    EXPECT_EQ(canvas.lines[2].text, "Left 2");
    EXPECT_EQ(canvas.lines[3].text, "Bottom 4");
    EXPECT_EQ(canvas.lines[4].text, "Right 3");
}

}  // namespace
}  // namespace marrowdale
