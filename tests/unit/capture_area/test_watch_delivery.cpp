// Delivery of a watch's presses: every event in order while installed, nothing after removal,
// also when the removal happens inside one batch.
#include <gtest/gtest.h>

#include <vector>

#include "capture_area/watch_delivery.h"

namespace marrowdale {
namespace {

class ScriptedWatch final : public MouseWatch {
  public:
    explicit ScriptedWatch(std::vector<MouseWatchEvent> events, int* syncs = nullptr)
        : events_(std::move(events)), syncs_(syncs) {}
    int fileDescriptor() const override { return 42; }
    bool dispatchPending(const Sink& sink) override {
        std::vector<MouseWatchEvent> batch;
        batch.swap(events_);
        for (const auto& e : batch)
            sink(e);
        return !broken;
    }
    bool syncAndDispatch(const Sink& sink) override {
        if (syncs_)
            ++*syncs_;
        return dispatchPending(sink);
    }
    void add(MouseWatchEvent e) { events_.push_back(e); }
    bool broken = false;

  private:
    std::vector<MouseWatchEvent> events_;
    int* syncs_;
};

MouseWatchEvent left(std::int32_t x, std::int32_t y) {
    return {kMouseMessageLeftDown, {x, y}};
}

TEST(WatchDelivery, DeliversEveryEventInOrder) {
    std::vector<MouseWatchEvent> seen;
    WatchDelivery delivery(std::make_unique<ScriptedWatch>(std::vector<MouseWatchEvent>{
                               left(1, 2), {kMouseMessageLeftUp, {1, 2}}, left(3, 4)}),
                           [&](const MouseWatchEvent& e) { seen.push_back(e); });
    EXPECT_EQ(delivery.fileDescriptor(), 42);
    EXPECT_TRUE(delivery.dispatch());
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].point.x, 1);
    EXPECT_EQ(seen[1].message, kMouseMessageLeftUp);
    EXPECT_EQ(seen[2].point.y, 4);
}

TEST(WatchDelivery, RemovalInsideABatchStopsTheRest) {
    std::vector<MouseWatchEvent> seen;
    WatchDelivery* self = nullptr;
    auto watch = std::make_unique<ScriptedWatch>(
        std::vector<MouseWatchEvent>{left(1, 1), left(2, 2), left(3, 3)});
    ScriptedWatch* raw = watch.get();
    WatchDelivery delivery(std::move(watch), [&](const MouseWatchEvent& e) {
        seen.push_back(e);
        if (seen.size() == 2)
            self->remove();  // the selection ends here
    });
    self = &delivery;
    EXPECT_FALSE(delivery.dispatch());
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_FALSE(delivery.installed());

    raw->add(left(4, 4));
    EXPECT_FALSE(delivery.dispatch());
    EXPECT_FALSE(delivery.syncAndDispatch());
    EXPECT_EQ(seen.size(), 2u);
}

TEST(WatchDelivery, SyncGoesThroughTheServerRoundTrip) {
    int syncs = 0;
    int delivered = 0;
    WatchDelivery delivery(
        std::make_unique<ScriptedWatch>(std::vector<MouseWatchEvent>{left(0, 0)}, &syncs),
        [&](const MouseWatchEvent&) { ++delivered; });
    EXPECT_TRUE(delivery.syncAndDispatch());
    EXPECT_EQ(syncs, 1);
    EXPECT_EQ(delivered, 1);
}

TEST(WatchDelivery, BrokenWatchReportsFalse) {
    auto watch = std::make_unique<ScriptedWatch>(std::vector<MouseWatchEvent>{left(5, 5)});
    watch->broken = true;
    int delivered = 0;
    WatchDelivery delivery(std::move(watch), [&](const MouseWatchEvent&) { ++delivered; });
    EXPECT_FALSE(delivery.dispatch());
    EXPECT_EQ(delivered, 1);  // what arrived before the end is still delivered
}

}  // namespace
}  // namespace marrowdale
