// The encoder pool between the capture loop and the files: every frame written once whatever
// order the encodes finish in, the loop held back by a full ring, the end waiting for the queue,
// failures reported per frame, and an unchanged picture written again with the bytes an encode
// would have given.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/fakes/fake_clock.h"
#include "platform/fakes/fake_jpeg_encoder.h"
#include "platform/fakes/fake_screen_grabber.h"
#include "platform/fakes/fake_ui_bridge.h"
#include "platform/jpeg/turbo_jpeg_encoder.h"
#include "platform/thread_priority.h"
#include "recorder/encoder_pool.h"
#include "recorder/frame_names.h"
#include "recorder/screen_capture_worker.h"
#include "test_support.h"

namespace marrowdale {
namespace {

using namespace std::chrono_literals;

// What the lanes below share: every write, and a gate that holds encodes back.
struct Journal {
    struct Written {
        std::string name;
        std::uint32_t picture = 0;  // the first pixel of what was written; 0 for no bytes
        bool bmp = false;
    };
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Written> writes;
    int encodes = 0;
    std::set<int> encoderNices;  // the nice values the encodes ran at
    int warmUps = 0;
    bool gateOpen = true;
    // The encode of this picture waits until a frame of `releasedBy` has been written.
    std::uint32_t heldPicture = 0;
    std::string releasedBy;
    // Called with every write, under the lock.
    std::function<void(const Written&)> onWrite;

    void open() {
        {
            std::lock_guard lock(mutex);
            gateOpen = true;
        }
        changed.notify_all();
    }
    std::size_t writeCount() {
        std::lock_guard lock(mutex);
        return writes.size();
    }
    bool written(const std::string& name) const {
        return std::any_of(writes.begin(), writes.end(),
                           [&](const Written& w) { return w.name == name; });
    }
};

std::uint32_t firstPixel(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// One lane: "encodes" a picture into its first pixel.
class JournalLane final : public FrameWriters {
  public:
    explicit JournalLane(Journal& journal) : journal_(journal) {}
    void warmUp(const ScreenImage*, ImageFormat) override {
        std::lock_guard lock(journal_.mutex);
        ++journal_.warmUps;
    }
    void writeBMP(const ScreenImage* image, const char* fileName) override {
        record(fileName, image != nullptr ? firstPixel(image->pixels) : 0, true);
    }
    bool encodeJPG(const ScreenImage* image, EncodedJpeg& out) override {
        if (image == nullptr)
            return false;
        const std::uint32_t picture = firstPixel(image->pixels);
        {
            std::unique_lock lock(journal_.mutex);
            ++journal_.encodes;
            journal_.encoderNices.insert(thisThreadNice());
            journal_.changed.wait(lock, [&] {
                return journal_.gateOpen &&
                       (picture != journal_.heldPicture || journal_.written(journal_.releasedBy));
            });
        }
        std::memcpy(bytes_.data(), image->pixels, 4);
        out.data = bytes_.data();
        out.size = bytes_.size();
        return true;
    }
    void writeEncodedJPG(const std::uint8_t* data, std::size_t size,
                         const char* fileName) override {
        record(fileName, size == 4 ? firstPixel(data) : 0, false);
    }

  private:
    void record(const char* name, std::uint32_t picture, bool bmp) {
        {
            std::lock_guard lock(journal_.mutex);
            journal_.writes.push_back({name, picture, bmp});
            if (journal_.onWrite)
                journal_.onWrite(journal_.writes.back());
        }
        journal_.changed.notify_all();
    }
    Journal& journal_;
    std::array<std::uint8_t, 4> bytes_{};
};

// Writers with `lanes` lanes, all writing into one journal.
class JournalWriters final : public FrameWriters {
  public:
    JournalWriters(Journal& journal, std::size_t lanes) : main_(journal) {
        for (std::size_t i = 0; i < lanes; ++i)
            lanes_.push_back(std::make_unique<JournalLane>(journal));
    }
    void warmUp(const ScreenImage* image, ImageFormat format) override {
        main_.warmUp(image, format);
    }
    void writeBMP(const ScreenImage* image, const char* fileName) override {
        main_.writeBMP(image, fileName);
    }
    bool encodeJPG(const ScreenImage* image, EncodedJpeg& out) override {
        return main_.encodeJPG(image, out);
    }
    void writeEncodedJPG(const std::uint8_t* data, std::size_t size,
                         const char* fileName) override {
        main_.writeEncodedJPG(data, size, fileName);
    }
    FrameWriters* lane(std::size_t index) override {
        return index < lanes_.size() ? lanes_[index].get() : nullptr;
    }

  private:
    JournalLane main_;
    std::vector<std::unique_ptr<JournalLane>> lanes_;
};

std::string nameOf(std::uint64_t number, ImageFormat format = ImageFormat::kJpeg,
                   const std::string& folder = "/rec") {
    FrameName name;
    EXPECT_TRUE(composeFrameName(folder + "/", number, format, name));
    return std::string(name.view());
}

// Grabs and queues frames first..last, as the loop does.
void recordFrames(EncoderPool& pool, std::uint64_t first, std::uint64_t last,
                  ImageFormat format = ImageFormat::kJpeg, const std::string& folder = "/rec") {
    FrameName name;
    for (std::uint64_t n = first; n <= last; ++n) {
        (void)pool.grab(0, 0);
        ASSERT_TRUE(composeFrameName(folder + "/", n, format, name));
        pool.queue(name, format);
    }
}

template <typename Condition>
bool eventually(Condition condition) {
    for (int i = 0; i < 1000; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(5ms);
    }
    return condition();
}

// ---- Order and bounds -------------------------------------------------------------------------

class PoolThreads : public ::testing::TestWithParam<std::size_t> {};

TEST_P(PoolThreads, EveryFrameOnceWithItsOwnPictureWhateverOrderTheEncodesFinishIn) {
    const std::size_t threads = GetParam();
    Journal journal;
    JournalWriters writers(journal, threads);
    FakeScreenGrabber grabber;
    ASSERT_TRUE(grabber.open(8, 4));
    // With two threads or more, frame 1's encode waits until frame 2 is on disk.
    if (threads >= 2) {
        journal.heldPicture = 1;
        journal.releasedBy = nameOf(2);
    }
    const int loopNice = thisThreadNice();
    EncoderPool pool(grabber, writers, threads);
    pool.start(ImageFormat::kJpeg);
    EXPECT_EQ(pool.threadCount(), threads);
    recordFrames(pool, 1, 40);
    pool.finish();
    // Encoder threads yield to the loop; without them the loop encodes at its own priority,
    // which nothing lowers.
    const int encoderNice =
        threads == 0 ? loopNice : std::min(loopNice + kEncoderNiceSteps, /*lowest*/ 19);
    EXPECT_EQ(journal.encoderNices, std::set<int>{encoderNice});
    EXPECT_EQ(thisThreadNice(), loopNice);

    ASSERT_EQ(journal.writes.size(), 40u);
    std::map<std::string, std::uint32_t> byName;
    for (const auto& w : journal.writes)
        EXPECT_TRUE(byName.emplace(w.name, w.picture).second) << "written twice: " << w.name;
    for (std::uint64_t n = 1; n <= 40; ++n)
        EXPECT_EQ(byName[nameOf(n)], n) << "frame " << n << " shows another grab";
    if (threads >= 2) {
        const auto at = [&](std::uint64_t n) {
            return std::find_if(journal.writes.begin(), journal.writes.end(),
                                [&](const Journal::Written& w) { return w.name == nameOf(n); });
        };
        EXPECT_LT(at(2), at(1)) << "frame 2 was to be written before frame 1";
    }
    EXPECT_EQ(journal.encodes, 40);
    EXPECT_EQ(journal.warmUps, static_cast<int>(std::max<std::size_t>(threads, 1)));
    EXPECT_EQ(pool.counts().reused, 0u);
}

INSTANTIATE_TEST_SUITE_P(Counts, PoolThreads, ::testing::Values(0u, 1u, 2u, 3u));

TEST(PoolBounds, LoopWaitsWhenEveryBufferIsInUse) {
    Journal journal;
    journal.gateOpen = false;
    JournalWriters writers(journal, 2);
    FakeScreenGrabber grabber;
    ASSERT_TRUE(grabber.open(8, 4));
    EncoderPool pool(grabber, writers, 2);
    pool.start(ImageFormat::kJpeg);
    ASSERT_EQ(pool.ringSize(), 3u);

    std::atomic<bool> done{false};
    std::thread loop([&] {
        recordFrames(pool, 1, 10);
        done = true;
    });
    // The third frame takes the last free buffer; the loop then waits to reserve one more.
    const bool waited = eventually([&] { return pool.counts().ringWaits == 1; });
    const std::size_t grabsWhileWaiting = grabber.grabs().size();
    const bool doneWhileWaiting = done.load();
    const std::size_t writesWhileWaiting = journal.writeCount();
    journal.open();
    loop.join();
    EXPECT_TRUE(waited);
    EXPECT_EQ(grabsWhileWaiting, 3u);
    EXPECT_FALSE(doneWhileWaiting);
    EXPECT_EQ(writesWhileWaiting, 0u);
    pool.finish();
    EXPECT_EQ(journal.writes.size(), 10u);
    EXPECT_EQ(grabber.grabs().size(), 10u);
}

TEST(PoolBounds, FinishWaitsForEveryQueuedFrame) {
    Journal journal;
    journal.gateOpen = false;
    JournalWriters writers(journal, 2);
    FakeScreenGrabber grabber;
    ASSERT_TRUE(grabber.open(8, 4));
    EncoderPool pool(grabber, writers, 2);
    pool.start(ImageFormat::kJpeg);
    // Two frames, each held by its thread, and a buffer reserved for the next grab: the loop
    // does not wait.
    recordFrames(pool, 1, 2);

    std::atomic<bool> finished{false};
    std::size_t writtenWhenFinished = 0;
    std::thread finisher([&] {
        pool.finish();
        writtenWhenFinished = journal.writeCount();
        finished = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(finished.load()) << "finish() returned with frames still queued";
    journal.open();
    finisher.join();
    EXPECT_EQ(writtenWhenFinished, 2u);
    pool.finish();  // a second time does nothing
    EXPECT_EQ(journal.writes.size(), 2u);
}

TEST(PoolBounds, WithoutBuffersFramesGoThroughTheGrabbersImageOneAtATime) {
    Journal journal;
    JournalWriters writers(journal, 2);
    FakeScreenGrabber grabber;
    grabber.failBuffers = true;
    ASSERT_TRUE(grabber.open(8, 4));
    EncoderPool pool(grabber, writers, 2);
    pool.start(ImageFormat::kJpeg);
    EXPECT_EQ(pool.threadCount(), 0u);
    EXPECT_EQ(pool.ringSize(), 1u);
    recordFrames(pool, 1, 5);
    pool.finish();
    ASSERT_EQ(journal.writes.size(), 5u);
    for (std::uint64_t n = 1; n <= 5; ++n) {
        EXPECT_EQ(journal.writes[n - 1].name, nameOf(n));
        EXPECT_EQ(journal.writes[n - 1].picture, n);
    }
}

// ---- Failures, per frame, whichever thread meets them -------------------------------------

struct FailureCase {
    const char* what;
    ImageFormat format;
    bool stillPicture;
    std::size_t messages;  // per frame
};

class PoolFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(PoolFailures, MissingFolderFailsEveryFrameOnce) {
    const FailureCase& c = GetParam();
    test::TempDir dir;
    FakeUiBridge ui;
    RecorderState state;
    FakeJpegEncoder encoder;
    FileFrameWriters writers(&encoder, ui, state);
    FakeScreenGrabber grabber;
    grabber.stampIndex = !c.stillPicture;
    ASSERT_TRUE(grabber.open(16, 8));
    EncoderPool pool(grabber, writers, 2);
    pool.start(c.format);
    ASSERT_EQ(pool.threadCount(), 2u);
    recordFrames(pool, 1, 12, c.format, dir.path() + "/missing");
    pool.finish();

    EXPECT_EQ(writers.failedWrites(), 12u);
    EXPECT_EQ(writers.filesWritten(), 0u);
    const auto messages = ui.messages();
    EXPECT_EQ(messages.size(), 12u * c.messages);
    for (const auto& m : messages)
        EXPECT_EQ(m, kBmpCannotCreate);
    EXPECT_EQ(pool.counts().reused, c.stillPicture && c.format == ImageFormat::kJpeg ? 11u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PoolFailures,
    ::testing::Values(FailureCase{"bmp", ImageFormat::kBmp, false, 1},
                      FailureCase{"bmp, still picture", ImageFormat::kBmp, true, 1},
                      FailureCase{"jpeg", ImageFormat::kJpeg, false, 0},
                      FailureCase{"jpeg, still picture", ImageFormat::kJpeg, true, 0}),
    [](const ::testing::TestParamInfo<FailureCase>& test) {
        std::string name = test.param.what;
        std::replace_if(
            name.begin(), name.end(), [](char ch) { return !std::isalnum(ch); }, '_');
        return name;
    });

// ---- The unchanged picture -----------------------------------------------------------------

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A picture with detail everywhere, different for every `id`.
void paint(std::vector<std::uint8_t>& pixels, int id) {
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<std::uint8_t>((i * 7 + (i / 64) * 13 + id * 101) ^ (i >> 5));
}

class UnchangedPicture : public ::testing::Test {
  protected:
    void SetUp() override {
        grabber.stampIndex = false;
        ASSERT_TRUE(grabber.open(64, 48));
        grabber.onGrab = [this](std::size_t grabs) {
            const int id = pictures.at(grabs - 1);
            if (id > 0)
                paint(grabber.pixels(), id);
            grabber.failGrab = id == 0;  // 0: the grab fails and leaves noise behind
            if (id == 0)
                paint(grabber.pixels(), 99);
        };
    }
    // What a fresh encode of picture `id` gives.
    std::vector<std::uint8_t> encodingOf(int id) {
        FakeScreenGrabber other;
        EXPECT_TRUE(other.open(64, 48));
        paint(other.pixels(), id);
        std::unique_ptr<JpegEncoder> encoder = createTurboJpegEncoder();
        EncodedJpeg out;
        EXPECT_TRUE(encoder->encode(*other.image(), out));
        return {out.data, out.data + out.size};
    }
    std::vector<std::uint8_t> file(std::uint64_t n) {
        return readFile(nameOf(n, ImageFormat::kJpeg, dir.path()));
    }

    test::TempDir dir;
    FakeUiBridge ui;
    RecorderState state;
    FakeScreenGrabber grabber;
    std::vector<int> pictures;
};

TEST_F(UnchangedPicture, IsWrittenWithTheBytesAnEncodeWouldGive) {
    for (std::size_t threads : {0u, 2u}) {
        SCOPED_TRACE(threads);
        test::TempDir out;
        std::unique_ptr<JpegEncoder> encoder = createTurboJpegEncoder();
        FileFrameWriters writers(encoder.get(), ui, state);
        pictures = {1, 1, 1, 2, 2, 1, 3};
        const std::size_t before = grabber.grabs().size();
        grabber.onGrab = [this, before](std::size_t grabs) {
            paint(grabber.pixels(), pictures.at(grabs - before - 1));
        };
        EncoderPool pool(grabber, writers, threads);
        pool.start(ImageFormat::kJpeg);
        recordFrames(pool, 1, 7, ImageFormat::kJpeg, out.path());
        pool.finish();

        auto fileOf = [&](std::uint64_t n) {
            return readFile(nameOf(n, ImageFormat::kJpeg, out.path()));
        };
        const std::vector<std::uint8_t> one = encodingOf(1);
        ASSERT_FALSE(one.empty());
        EXPECT_EQ(fileOf(1), one);
        EXPECT_EQ(fileOf(2), one);
        EXPECT_EQ(fileOf(3), one);
        EXPECT_EQ(fileOf(4), encodingOf(2));
        EXPECT_EQ(fileOf(5), encodingOf(2));
        EXPECT_EQ(fileOf(6), one);
        EXPECT_EQ(fileOf(7), encodingOf(3));
        EXPECT_NE(encodingOf(2), one);
        EXPECT_EQ(pool.counts().reused, 3u);  // frames 2, 3 and 5
        EXPECT_EQ(writers.filesWritten(), 7u);
    }
}

TEST_F(UnchangedPicture, FailedGrabIsWrittenAsThePictureBeforeIt) {
    std::unique_ptr<JpegEncoder> encoder = createTurboJpegEncoder();
    FileFrameWriters writers(encoder.get(), ui, state);
    pictures = {1, 2, 0, 0, 3, 3};
    EncoderPool pool(grabber, writers, 2);
    pool.start(ImageFormat::kJpeg);
    recordFrames(pool, 1, 6, ImageFormat::kJpeg, dir.path());
    pool.finish();

    EXPECT_EQ(file(1), encodingOf(1));
    EXPECT_EQ(file(2), encodingOf(2));
    EXPECT_EQ(file(3), encodingOf(2));
    EXPECT_EQ(file(4), encodingOf(2));
    // Compared with picture 2, not with what the failed grabs left in their buffers.
    EXPECT_EQ(file(5), encodingOf(3));
    EXPECT_EQ(file(6), encodingOf(3));
    EXPECT_EQ(pool.counts().reused, 3u);
}

TEST_F(UnchangedPicture, FailedGrabInBmpShowsThePictureBefore) {
    FileFrameWriters writers(nullptr, ui, state);
    pictures = {4, 0, 5};
    EncoderPool pool(grabber, writers, 2);
    pool.start(ImageFormat::kBmp);
    recordFrames(pool, 1, 3, ImageFormat::kBmp, dir.path());
    pool.finish();
    const auto bmp = [&](std::uint64_t n) {
        return readFile(nameOf(n, ImageFormat::kBmp, dir.path()));
    };
    ASSERT_EQ(bmp(1).size(), 54u + 64u * 48u * 4u);
    EXPECT_EQ(bmp(2), bmp(1));
    EXPECT_NE(bmp(3), bmp(1));
    EXPECT_TRUE(ui.calls().empty());
}

// What the screen says about a grab: nothing drawn, the frame is the picture before without a
// grab; something drawn or cannot tell, the grab is compared with the picture before (band by
// band, so that only what changed is encoded).
TEST_F(UnchangedPicture, TheScreensWordSparesTheGrabOrTheComparison) {
    std::unique_ptr<JpegEncoder> encoder = createTurboJpegEncoder();
    FileFrameWriters writers(encoder.get(), ui, state);
    pictures = {1, 1, 1, 2};  // the pictures of the grabs actually made
    // Frame 1 is not asked about (there is no picture before it).
    std::vector<ScreenChange> answers = {ScreenChange::kNone,      // 2: not grabbed
                                         ScreenChange::kSome,      // 3: grabbed, compared
                                         ScreenChange::kUnknown,   // 4: grabbed, compared
                                         ScreenChange::kNone,      // 5: not grabbed
                                         ScreenChange::kUnknown};  // 6: grabbed, compared
    std::size_t asked = 0;
    grabber.change = [&](std::int32_t left, std::int32_t top) {
        EXPECT_EQ(left, 30);
        EXPECT_EQ(top, 40);
        return answers.at(asked++);
    };
    EncoderPool pool(grabber, writers, 2);
    pool.start(ImageFormat::kJpeg);
    FrameName name;
    for (std::uint64_t n = 1; n <= 6; ++n) {
        EXPECT_TRUE(pool.grab(30, 40));
        ASSERT_TRUE(composeFrameName(dir.path() + "/", n, ImageFormat::kJpeg, name));
        pool.queue(name, ImageFormat::kJpeg);
    }
    pool.finish();

    EXPECT_EQ(asked, 5u);
    EXPECT_EQ(grabber.grabs().size(), 4u);
    const std::vector<std::uint8_t> one = encodingOf(1);
    for (std::uint64_t n = 1; n <= 5; ++n)
        EXPECT_EQ(file(n), one) << n;
    EXPECT_EQ(file(6), encodingOf(2));
    // Frames 2 and 5 without a grab, frames 3 and 4 after the comparison.
    EXPECT_EQ(pool.counts().reused, 4u);
    EXPECT_EQ(writers.filesWritten(), 6u);
}

// ---- The worker with encoder threads -----------------------------------------------------

TEST(CaptureWithEncoderThreads, NumbersAreThoseOfTheLoopAndTheEndWaitsForThem) {
    for (std::uint8_t option : {1, 2, 12, 15}) {
        SCOPED_TRACE(static_cast<int>(option));
        CaptureSettings settings;
        RecorderState state;
        FakeClock clock;
        clock.setStepPerRead(10);
        FakeScreenGrabber grabber;
        Journal journal;
        JournalWriters writers(journal, 3);
        FakeUiBridge ui;
        int title = 0;
        state.titleWindow = &title;
        settings.frameOption = option;
        settings.captureMode = CaptureMode::kEverySlot;
        settings.maxFrames = 20;
        // The last frame takes long: the end must still wait for it.
        bool endSeenByAWrite = false;
        journal.onWrite = [&](const Journal::Written&) {
            endSeenByAWrite = endSeenByAWrite || state.screenFinished.load() != 0;
        };
        journal.heldPicture = 19;
        journal.releasedBy = "never";
        std::thread release([&] {
            std::this_thread::sleep_for(30ms);
            std::lock_guard lock(journal.mutex);
            journal.heldPicture = 0;
            journal.changed.notify_all();
        });
        const ScreenCaptureServices services{clock, grabber, writers, ui, 3};
        CaptureRunStats stats;
        runScreenCaptureWorker(settings, state, services, "/nonexistent-mdl-pool-test", &stats);
        release.join();

        EXPECT_FALSE(endSeenByAWrite) << "a frame was written after the end flags";
        EXPECT_EQ(stats.encoderThreads, 3u);
        std::vector<std::uint64_t> numbers;
        for (const auto& w : journal.writes) {
            const std::string file = w.name.substr(w.name.rfind('/') + 1);
            numbers.push_back(std::stoull(file.substr(0, file.find('.'))));
        }
        std::sort(numbers.begin(), numbers.end());
        std::vector<std::uint64_t> expected;
        if (option == 12) {
            for (std::uint64_t n = 2; n <= 20; n += 3)
                expected.push_back(n);
        } else {
            const std::uint64_t last = option == 15 ? 30 : (option == 2 ? 20 : 19);
            for (std::uint64_t n = 1; n <= last; ++n)
                expected.push_back(n);
        }
        EXPECT_EQ(numbers, expected);
        EXPECT_EQ(stats.grabs, expected.size());
        EXPECT_EQ(ui.calls().at(0).kind, "setWindowTitle");
    }
}

}  // namespace
}  // namespace marrowdale
