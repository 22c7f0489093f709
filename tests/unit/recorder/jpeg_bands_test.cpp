// Frames put together band by band: a picture that changed in a few bands of rows is encoded
// only there, and its file is still byte for byte what an encode of the whole picture gives;
// bytes not laid out in bands are never spliced.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/fakes/fake_screen_grabber.h"
#include "platform/fakes/fake_ui_bridge.h"
#include "platform/jpeg/turbo_jpeg_encoder.h"
#include "recorder/encoder_pool.h"
#include "recorder/frame_names.h"
#include "recorder/jpeg_bands.h"
#include "test_support.h"

namespace marrowdale {
namespace {

// 58 rows: bands of 16 rows at 4:2:0 are 0-15, 16-31, 32-47 and the short 48-57.
constexpr std::int32_t kWidth = 72;
constexpr std::int32_t kHeight = 58;

// Rows [first, end) of a picture painted with detail that depends on `seed`.
void paintRows(std::vector<std::uint8_t>& pixels, int first, int end, int seed) {
    const std::size_t row = static_cast<std::size_t>(kWidth) * 4;
    for (std::size_t i = static_cast<std::size_t>(first) * row;
         i < static_cast<std::size_t>(end) * row && i < pixels.size(); ++i)
        pixels[i] = static_cast<std::uint8_t>(
            (i * 7 + (i / 64) * 13 + static_cast<std::size_t>(seed) * 101) ^ (i >> 5));
}

std::vector<std::uint8_t> wholeEncode(const std::vector<std::uint8_t>& pixels) {
    ScreenImage image;
    image.pixels = pixels.data();
    image.width = kWidth;
    image.height = kHeight;
    image.strideBytes = static_cast<std::size_t>(kWidth) * 4;
    std::unique_ptr<JpegEncoder> encoder = createTurboJpegEncoder();
    EncodedJpeg out;
    EXPECT_TRUE(encoder && encoder->encode(image, out));
    return {out.data, out.data + out.size};
}

std::vector<std::uint8_t> readFrame(const std::string& folder, std::uint64_t number) {
    FrameName name;
    EXPECT_TRUE(composeFrameName(folder + "/", number, ImageFormat::kJpeg, name));
    std::ifstream in(std::string(name.view()), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A recording of `frames` frames through a pool with `threads` encoder threads and the real
// encoder, from a fake screen whose grabs the test paints in onGrab.
struct BandRecording {
    BandRecording() {
        grabber.stampIndex = false;
        EXPECT_TRUE(grabber.open(kWidth, kHeight));
    }
    // Records frames 1 to `frames` (primed first when asked); the pool's counts.
    EncoderPool::Counts record(std::size_t threads, std::uint64_t frames, bool prime = false) {
        std::unique_ptr<JpegEncoder> encoder = createTurboJpegEncoder();
        FileFrameWriters writers(encoder.get(), ui, state);
        EncoderPool pool(grabber, writers, threads);
        pool.start(ImageFormat::kJpeg);
        if (prime)
            pool.prime(0, 0);
        FrameName name;
        for (std::uint64_t n = 1; n <= frames; ++n) {
            EXPECT_TRUE(pool.grab(0, 0));
            EXPECT_TRUE(composeFrameName(dir.path() + "/", n, ImageFormat::kJpeg, name));
            pool.queue(name, ImageFormat::kJpeg);
        }
        pool.finish();
        ringSize = pool.ringSize();
        filesWritten = writers.filesWritten();
        return pool.counts();
    }
    std::vector<std::uint8_t> frame(std::uint64_t n) { return readFrame(dir.path(), n); }

    test::TempDir dir;
    FakeUiBridge ui;
    RecorderState state;
    FakeScreenGrabber grabber;
    std::size_t ringSize = 0;
    std::uint64_t filesWritten = 0;
};

TEST(ChangedBands, FramesAreWhatAnEncodeOfTheWholePictureGives) {
    // Each frame repaints these row ranges of the picture before it.
    const std::vector<std::vector<std::pair<int, int>>> edits = {
        {{0, kHeight}},      // 1: the first picture, encoded whole
        {{0, 3}},            // 2: the top band
        {{20, 21}},          // 3: one row in the middle
        {{50, 58}},          // 4: the short last band
        {{5, 6}, {40, 41}},  // 5: two runs of bands
        {},                  // 6: nothing: the whole frame before
        {{15, 17}},          // 7: two bands across their border
        {{0, kHeight}},      // 8: everything: encoded whole
        {{33, 34}},          // 9: after a whole encode
    };
    for (std::size_t threads : {0u, 2u}) {
        SCOPED_TRACE(threads);
        BandRecording r;
        std::vector<std::uint8_t> picture(static_cast<std::size_t>(kWidth * kHeight) * 4, 0);
        std::vector<std::vector<std::uint8_t>> pictures;
        for (std::size_t n = 0; n < edits.size(); ++n) {
            for (const auto& [first, end] : edits[n])
                paintRows(picture, first, end, static_cast<int>(n) + 1);
            pictures.push_back(picture);
        }
        r.grabber.onGrab = [&](std::size_t grabs) { r.grabber.pixels() = pictures.at(grabs - 1); };
        const EncoderPool::Counts counts = r.record(threads, pictures.size());

        for (std::uint64_t n = 1; n <= pictures.size(); ++n) {
            SCOPED_TRACE(n);
            const std::vector<std::uint8_t> expected = wholeEncode(pictures[n - 1]);
            ASSERT_FALSE(expected.empty());
            EXPECT_EQ(r.frame(n), expected);
        }
        EXPECT_EQ(counts.partlyReused, 6u);  // frames 2, 3, 4, 5, 7 and 9
        EXPECT_EQ(counts.reused, 1u);        // frame 6
        EXPECT_EQ(r.filesWritten, pictures.size());
    }
}

// A pool primed at set-up has a picture before the first frame: that frame too is encoded only
// where it changed, and the priming grab is never written. The screen's first report, which
// covers everything since it began to watch, is taken before the priming grab.
TEST(ChangedBands, APrimedPoolEncodesEvenTheFirstFrameOnlyWhereItChanged) {
    for (std::size_t threads : {0u, 2u}) {
        SCOPED_TRACE(threads);
        BandRecording r;
        std::vector<std::uint8_t> primed(static_cast<std::size_t>(kWidth * kHeight) * 4, 0);
        paintRows(primed, 0, kHeight, 1);
        std::vector<std::uint8_t> first = primed;
        paintRows(first, 20, 21, 2);
        // Set-up grabs into every buffer of the ring (three with two threads, two without); the
        // last of them is the picture kept.
        const std::size_t setUp = threads == 0 ? 2 : 3;
        r.grabber.onGrab = [&](std::size_t grabs) {
            r.grabber.pixels() = grabs <= setUp ? primed : first;
        };
        int reports = 0;
        r.grabber.change = [&](std::int32_t, std::int32_t) {
            const bool firstReport = reports++ == 0;
            r.grabber.drawnFirst = firstReport ? 0 : 20;
            r.grabber.drawnEnd = firstReport ? kHeight : 21;
            return ScreenChange::kSome;
        };
        const EncoderPool::Counts counts = r.record(threads, 2, true);

        EXPECT_EQ(r.grabber.grabs().size(), setUp + 2);
        EXPECT_EQ(r.ringSize, setUp);
        EXPECT_EQ(r.filesWritten, 2u);
        const std::vector<std::uint8_t> expected = wholeEncode(first);
        EXPECT_EQ(r.frame(1), expected);
        EXPECT_EQ(r.frame(2), expected);
        EXPECT_EQ(counts.partlyReused, 2u);  // frame 2: drawn on, but the same
        EXPECT_EQ(counts.reused, 0u);
    }
}

// Where the screen tells which rows were drawn on, only their bands are encoded and the others
// are taken without a comparison. Drawing that slips in between the screen's word and the grab
// shows one frame late (the next word reports it); until then the frame's pixels are ahead of
// its bytes, so a frame that has to be compared with it is encoded whole instead.
TEST(ChangedBands, TheScreensWordOnDrawnRowsIsTakenAndItsLagMended) {
    struct Step {
        ScreenChange word;
        std::pair<int, int> reported;  // rows the screen says were drawn on
        std::pair<int, int> drawn;     // rows repainted before the word
        std::pair<int, int> late;      // rows repainted after the word, before the grab
    };
    const std::vector<Step> steps = {
        {ScreenChange::kUnknown, {0, 0}, {0, kHeight}, {0, 0}},  // 1: no word asked
        {ScreenChange::kSome, {20, 21}, {20, 21}, {0, 0}},       // 2
        {ScreenChange::kSome, {0, 3}, {0, 3}, {50, 52}},         // 3: rows 50-51 late
        {ScreenChange::kSome, {50, 52}, {0, 0}, {0, 0}},         // 4: ... reported now
        {ScreenChange::kSome, {0, 1}, {0, 1}, {30, 31}},         // 5: row 30 late
        {ScreenChange::kUnknown, {0, 0}, {0, 0}, {0, 0}},        // 6: compared? no: whole
    };
    for (std::size_t threads : {0u, 2u}) {
        SCOPED_TRACE(threads);
        BandRecording r;
        // What the screen holds at each grab, and what each frame must show.
        std::vector<std::uint8_t> screen(static_cast<std::size_t>(kWidth * kHeight) * 4, 0);
        std::vector<std::uint8_t> shown = screen;
        std::vector<std::vector<std::uint8_t>> grabbed, expected;
        const std::size_t rowBytes = static_cast<std::size_t>(kWidth) * 4;
        for (std::size_t n = 0; n < steps.size(); ++n) {
            const Step& step = steps[n];
            paintRows(screen, step.drawn.first, step.drawn.second, static_cast<int>(n) + 1);
            paintRows(screen, step.late.first, step.late.second, static_cast<int>(n) + 1);
            grabbed.push_back(screen);
            if (n == 0 || step.word == ScreenChange::kUnknown) {
                shown = screen;
            } else {
                for (int y = step.reported.first; y < step.reported.second; ++y) {
                    // Whole bands of 16 rows are encoded from the grab.
                    const std::size_t from = static_cast<std::size_t>(y / 16 * 16) * rowBytes;
                    const std::size_t to = std::min(from + 16 * rowBytes, screen.size());
                    std::copy(screen.begin() + static_cast<std::ptrdiff_t>(from),
                              screen.begin() + static_cast<std::ptrdiff_t>(to),
                              shown.begin() + static_cast<std::ptrdiff_t>(from));
                }
            }
            expected.push_back(wholeEncode(shown));
        }
        std::size_t asked = 0;
        r.grabber.change = [&](std::int32_t, std::int32_t) {
            const Step& step = steps.at(++asked);
            r.grabber.drawnFirst = step.reported.first;
            r.grabber.drawnEnd = step.reported.second;
            return step.word;
        };
        r.grabber.onGrab = [&](std::size_t grabs) { r.grabber.pixels() = grabbed.at(grabs - 1); };
        const EncoderPool::Counts counts = r.record(threads, steps.size());

        EXPECT_EQ(asked, steps.size() - 1);
        for (std::uint64_t n = 1; n <= steps.size(); ++n) {
            SCOPED_TRACE(n);
            EXPECT_EQ(r.frame(n), expected[n - 1]);
        }
        // The last frame is the picture of frame 5's grab, but frame 5's bytes lag behind it.
        EXPECT_TRUE(expected[5] != expected[4]);
        EXPECT_EQ(counts.partlyReused, 4u);  // frames 2 to 5
        EXPECT_EQ(counts.reused, 0u);
    }
}

// The layout is trusted only when every band ends in the marker it must have.
TEST(ChangedBands, OnlyBytesLaidOutInBandsAreSplit) {
    std::vector<std::uint8_t> picture(static_cast<std::size_t>(kWidth * kHeight) * 4, 0);
    paintRows(picture, 0, kHeight, 3);
    const std::vector<std::uint8_t> jpeg = wholeEncode(picture);
    ASSERT_GT(jpeg.size(), 100u);
    std::vector<std::size_t> ends;
    ASSERT_TRUE(findBandEnds(jpeg.data(), jpeg.size(), 4, ends));
    ASSERT_EQ(ends.size(), 5u);
    EXPECT_EQ(ends.back(), jpeg.size());
    for (std::size_t band = 0; band < 4; ++band) {
        EXPECT_LT(ends[band], ends[band + 1]);
        EXPECT_EQ(jpeg[ends[band + 1] - 2], 0xFF);
        EXPECT_EQ(jpeg[ends[band + 1] - 1], band == 3 ? 0xD9 : 0xD0 + band);
    }

    // A restart marker out of turn where band 1 ends.
    std::vector<std::uint8_t> renumbered = jpeg;
    renumbered[ends[2] - 1] = 0xD3;
    // The first SOI byte gone.
    std::vector<std::uint8_t> notJpeg(jpeg.begin() + 1, jpeg.end());
    struct Case {
        const char* what;
        const std::vector<std::uint8_t>* bytes;
        std::size_t size;
        std::size_t bands;
    };
    const Case cases[] = {
        {"cut in the middle of band 2", &jpeg, ends[2] + 3, 4},
        {"cut inside the headers", &jpeg, ends[0] - 5, 4},
        {"more bands than markers", &jpeg, jpeg.size(), 5},
        {"fewer bands than markers", &jpeg, jpeg.size(), 3},
        {"a restart out of turn", &renumbered, renumbered.size(), 4},
        {"no start of image", &notJpeg, notJpeg.size(), 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::size_t> found = {1, 2, 3};
        EXPECT_FALSE(findBandEnds(c.bytes->data(), c.size, c.bands, found));
        EXPECT_TRUE(found.empty());
    }
}

}  // namespace
}  // namespace marrowdale
