// Delivery of the watches' presses: removal stops delivery at once, also inside one batch,
// and a watch is released only after the delivery that removed it has returned.
#include <gtest/gtest.h>

#include <vector>

#include "capture_area/mouse_watch_set.h"

namespace marrowdale {
namespace {

struct WatchLog {
    int destroyed = 0;
    int syncs = 0;
    bool destroyedWhileDispatching = false;
    bool dispatching = false;
};

class ScriptedWatch final : public MouseWatch {
  public:
    ScriptedWatch(WatchLog& log, std::vector<MouseWatchEvent> events, int fd)
        : log_(log), events_(std::move(events)), fd_(fd) {}
    ~ScriptedWatch() override {
        ++log_.destroyed;
        if (log_.dispatching)
            log_.destroyedWhileDispatching = true;
    }
    int fileDescriptor() const override { return fd_; }
    bool dispatchPending(const Sink& sink) override {
        log_.dispatching = true;
        std::vector<MouseWatchEvent> batch;
        batch.swap(events_);
        for (const auto& e : batch)
            sink(e);
        log_.dispatching = false;
        return !broken;
    }
    bool syncAndDispatch(const Sink& sink) override {
        ++log_.syncs;
        return dispatchPending(sink);
    }
    bool broken = false;

  private:
    WatchLog& log_;
    std::vector<MouseWatchEvent> events_;
    int fd_;
};

MouseWatchEvent left(std::int32_t x, std::int32_t y) {
    return {kMouseMessageLeftDown, {x, y}};
}

TEST(MouseWatchSet, DeliversEveryEventInOrder) {
    WatchLog log;
    std::vector<MouseWatchEvent> seen;
    MouseWatchSet set(
        [&](std::string*) {
            return std::make_unique<ScriptedWatch>(
                log,
                std::vector<MouseWatchEvent>{left(1, 2), {kMouseMessageLeftUp, {1, 2}}, left(3, 4)},
                42);
        },
        [&](const MouseWatchEvent& e) { seen.push_back(e); });
    int fd = -1;
    const HookHandle h = set.install(&fd);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(fd, 42);
    EXPECT_TRUE(set.dispatch(h));
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].point.x, 1);
    EXPECT_EQ(seen[1].message, kMouseMessageLeftUp);
    EXPECT_EQ(seen[2].point.y, 4);
}

TEST(MouseWatchSet, RemovalInsideABatchStopsTheRestAndDefersTheRelease) {
    WatchLog log;
    std::vector<MouseWatchEvent> seen;
    HookHandle handle = nullptr;
    MouseWatchSet* self = nullptr;
    MouseWatchSet set(
        [&](std::string*) {
            return std::make_unique<ScriptedWatch>(
                log, std::vector<MouseWatchEvent>{left(1, 1), left(2, 2), left(3, 3)}, 7);
        },
        [&](const MouseWatchEvent& e) {
            seen.push_back(e);
            if (seen.size() == 2)
                self->remove(handle);  // the selection ends here
        });
    self = &set;
    handle = set.install(nullptr);
    EXPECT_FALSE(set.dispatch(handle));
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(log.destroyed, 1);
    EXPECT_FALSE(log.destroyedWhileDispatching);
    EXPECT_EQ(set.installedCount(), 0u);
    EXPECT_FALSE(set.dispatch(handle));  // a late notification finds nothing
}

TEST(MouseWatchSet, FailedOpenGivesNoHandle) {
    MouseWatchSet set(
        [](std::string* error) {
            *error = "no display";
            return std::unique_ptr<MouseWatch>();
        },
        [](const MouseWatchEvent&) {});
    int fd = -1;
    EXPECT_EQ(set.install(&fd), nullptr);
    EXPECT_EQ(fd, -1);
    EXPECT_EQ(set.lastError(), "no display");
    EXPECT_EQ(set.installedCount(), 0u);
}

TEST(MouseWatchSet, SyncReachesEveryInstalledWatchAndUnknownHandlesAreIgnored) {
    WatchLog log;
    int delivered = 0;
    MouseWatchSet set(
        [&](std::string*) {
            return std::make_unique<ScriptedWatch>(log, std::vector<MouseWatchEvent>{left(0, 0)},
                                                   3);
        },
        [&](const MouseWatchEvent&) { ++delivered; });
    const HookHandle a = set.install(nullptr);
    const HookHandle b = set.install(nullptr);
    EXPECT_NE(a, b);
    set.remove(reinterpret_cast<HookHandle>(std::uintptr_t{9999}));
    EXPECT_EQ(set.installedCount(), 2u);
    set.remove(a);
    EXPECT_EQ(log.destroyed, 1);
    set.syncAndDispatch();
    EXPECT_EQ(log.syncs, 1);
    EXPECT_EQ(delivered, 1);
    set.remove(b);
    set.remove(b);
    EXPECT_EQ(log.destroyed, 2);
}

TEST(MouseWatchSet, BrokenWatchReportsFalse) {
    WatchLog log;
    ScriptedWatch* made = nullptr;
    MouseWatchSet set(
        [&](std::string*) {
            auto w = std::make_unique<ScriptedWatch>(log, std::vector<MouseWatchEvent>{}, 3);
            made = w.get();
            return w;
        },
        [](const MouseWatchEvent&) {});
    const HookHandle h = set.install(nullptr);
    made->broken = true;
    EXPECT_FALSE(set.dispatch(h));
}

}  // namespace
}  // namespace marrowdale
