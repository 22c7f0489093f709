// The frame file names and the two writers: the BMP layout byte by byte, the messages of every
// failure, and the silent JPEG writer.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/fakes/fake_jpeg_encoder.h"
#include "platform/fakes/fake_screen_grabber.h"
#include "platform/fakes/fake_ui_bridge.h"
#include "recorder/frame_names.h"
#include "recorder/frame_writers.h"
#include "recorder/path_text.h"
#include "test_support.h"

namespace marrowdale {
namespace {

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 |
           static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint16_t le16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

// ---- Names ----------------------------------------------------------------------------------

struct NameCase {
    std::string prefix;
    std::uint64_t number;
    std::uint8_t format;
    bool fits;
    std::string expected;
};

class FrameNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(FrameNames, ComposeOrRefuse) {
    const NameCase& c = GetParam();
    FrameName name;
    name.text.fill('x');
    EXPECT_EQ(composeFrameName(c.prefix, c.number, static_cast<ImageFormat>(c.format), name),
              c.fits);
    EXPECT_EQ(std::string(name.c_str()), c.expected);
    EXPECT_EQ(name.view(), c.expected);
}

const std::string k239(239, 'a');

INSTANTIATE_TEST_SUITE_P(
    Table, FrameNames,
    ::testing::Values(NameCase{"/rec/vid1/", 1, 1, true, "/rec/vid1/000001.jpg"},
                      NameCase{"/rec/vid1/", 89999, 1, true, "/rec/vid1/089999.jpg"},
                      NameCase{"/rec/vid1/", 1234567, 1, true, "/rec/vid1/1234567.jpg"},
                      NameCase{"/rec/vid1/", 1, 0, true, "/rec/vid1/000001.bmp"},
                      NameCase{"/rec/vid1/", 4294967295u, 0, true, "/rec/vid1/4294967295.bmp"},
                      NameCase{"/rec/vid1/", 0, 1, true, "/rec/vid1/000000.jpg"},
                      // Any format but 0 is JPEG.
                      NameCase{"/r/", 7, 9, true, "/r/000007.jpg"},
                      // 239 + 10 = 249 characters: the longest name that fits.
                      NameCase{k239, 999999, 1, true, k239 + "999999.jpg"},
                      NameCase{k239 + "b", 1, 1, false, ""}, NameCase{k239, 1000000, 1, false, ""},
                      // Characters, not bytes: 239 two-byte characters fit, two units each do not.
                      NameCase{[] {
                                   std::string s;
                                   for (int i = 0; i < 239; ++i)
                                       s += "\xc3\xa9";
                                   return s;
                               }(),
                               5, 1, true,
                               [] {
                                   std::string s;
                                   for (int i = 0; i < 239; ++i)
                                       s += "\xc3\xa9";
                                   return s + "000005.jpg";
                               }()},
                      NameCase{[] {
                                   std::string s;
                                   for (int i = 0; i < 120; ++i)
                                       s += "\xf0\x9f\x98\x80";
                                   return s;
                               }(),
                               5, 1, false, ""}));

TEST(FrameNamesLimit, PrefixFitsSixDigitNames) {
    EXPECT_TRUE(prefixFitsFrameNames(std::string(239, 'p')));
    EXPECT_FALSE(prefixFitsFrameNames(std::string(240, 'p')));
    EXPECT_TRUE(prefixFitsFrameNames(""));
}

TEST(PathText, Utf16Length) {
    EXPECT_EQ(utf16Length(""), 0u);
    EXPECT_EQ(utf16Length("abc"), 3u);
    EXPECT_EQ(utf16Length("\xc3\xa9t\xc3\xa9"), 3u);         // été
    EXPECT_EQ(utf16Length("\xe2\x82\xac"), 1u);              // euro sign
    EXPECT_EQ(utf16Length("\xf0\x9f\x98\x80"), 2u);          // outside the basic plane
    EXPECT_EQ(utf16Length(std::string("\x80\x80", 2)), 0u);  // stray continuation bytes
}

// ---- BMP layout ------------------------------------------------------------------------------

TEST(BmpHeader, RoundedBits) {
    const struct {
        std::uint16_t planes, bpp, bits;
    } rows[] = {{1, 1, 1},   {1, 2, 4},   {1, 4, 4},   {1, 5, 8},   {1, 8, 8},
                {1, 9, 16},  {1, 16, 16}, {1, 17, 24}, {1, 24, 24}, {1, 25, 32},
                {1, 32, 32}, {2, 16, 32}, {3, 8, 24},  {0, 32, 4},  {4, 1, 4}};
    for (const auto& r : rows) {
        EXPECT_EQ(bmpRoundedBits(r.planes, r.bpp), r.bits) << r.planes << "x" << r.bpp;
    }
}

TEST(BmpHeader, ImageSize) {
    EXPECT_EQ(bmpImageSize(700, 500, 32), 1408000u);
    EXPECT_EQ(bmpImageSize(704, 500, 32), 1408000u);
    EXPECT_EQ(bmpImageSize(1, 1, 24), 24u);
    EXPECT_EQ(bmpImageSize(1920, 1080, 32), 8294400u);
    EXPECT_EQ(bmpImageSize(-9, 10, 32), 0u);
}

class WriterTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    FakeUiBridge ui;
    RecorderState state;
    FakeJpegEncoder encoder;
    FileFrameWriters writers{&encoder, ui, state};
    int view = 0;

    void SetUp() override { state.viewWindow = &view; }
    std::string path(const std::string& name) const { return dir.path() + "/" + name; }
};

TEST_F(WriterTest, Bmp700x500LayoutFieldByField) {
    FakeScreenGrabber grabber;
    ASSERT_TRUE(grabber.open(700, 500));
    auto& px = grabber.pixels();
    for (int y = 0; y < 500; ++y) {
        for (int x = 0; x < 700; ++x) {
            const std::size_t at = (static_cast<std::size_t>(y) * 700 + x) * 4;
            px[at + 0] = static_cast<std::uint8_t>(y);       // blue
            px[at + 1] = static_cast<std::uint8_t>(y >> 8);  // green
            px[at + 2] = static_cast<std::uint8_t>(x);       // red
            px[at + 3] = 0x5A;
        }
    }
    writers.writeBMP(grabber.image(), path("000001.bmp").c_str());
    EXPECT_TRUE(ui.calls().empty());
    EXPECT_EQ(writers.filesWritten(), 1u);

    const std::vector<std::uint8_t> b = readFile(path("000001.bmp"));
    ASSERT_EQ(b.size(), 54u + 1408000u);
    EXPECT_EQ(le16(b, 0), 0x4D42);
    EXPECT_EQ(le32(b, 2), 54u + 1408000u);
    EXPECT_EQ(le16(b, 6), 0);
    EXPECT_EQ(le16(b, 8), 0);
    EXPECT_EQ(le32(b, 10), 54u);
    EXPECT_EQ(le32(b, 14), 40u);
    EXPECT_EQ(le32(b, 18), 700u);
    EXPECT_EQ(le32(b, 22), 500u);
    EXPECT_EQ(le16(b, 26), 1);
    EXPECT_EQ(le16(b, 28), 32);
    EXPECT_EQ(le32(b, 30), 0u);
    EXPECT_EQ(le32(b, 34), 1408000u);
    EXPECT_EQ(le32(b, 38), 0u);
    EXPECT_EQ(le32(b, 42), 0u);
    EXPECT_EQ(le32(b, 46), 0u);
    EXPECT_EQ(le32(b, 50), 0u);
    // Bottom row first, blue green red and the fourth byte as grabbed.
    for (int fileRow : {0, 1, 250, 499}) {
        const int imageRow = 499 - fileRow;
        for (int x : {0, 1, 699}) {
            const std::size_t at = 54 + (static_cast<std::size_t>(fileRow) * 700 + x) * 4;
            EXPECT_EQ(b[at + 0], static_cast<std::uint8_t>(imageRow)) << fileRow << "," << x;
            EXPECT_EQ(b[at + 1], static_cast<std::uint8_t>(imageRow >> 8));
            EXPECT_EQ(b[at + 2], static_cast<std::uint8_t>(x));
            EXPECT_EQ(b[at + 3], 0x5A);
        }
    }
    // The 8000 bytes the header announces beyond the 1400000 of the rows are zero.
    for (std::size_t at = 54 + 1400000; at < b.size(); ++at) {
        ASSERT_EQ(b[at], 0) << at;
    }
}

TEST_F(WriterTest, BmpTailIsZeroEvenWhenTheBufferHeldOtherData) {
    FakeScreenGrabber big;
    ASSERT_TRUE(big.open(704, 500));
    for (auto& p : big.pixels())
        p = 0xFF;
    writers.writeBMP(big.image(), path("a.bmp").c_str());  // fills the reused area with 0xFF
    FakeScreenGrabber grabber;
    ASSERT_TRUE(grabber.open(700, 500));
    writers.writeBMP(grabber.image(), path("b.bmp").c_str());
    const std::vector<std::uint8_t> b = readFile(path("b.bmp"));
    ASSERT_EQ(b.size(), 54u + 1408000u);
    for (std::size_t at = 54 + 1400000; at < b.size(); ++at)
        ASSERT_EQ(b[at], 0) << at;
}

TEST_F(WriterTest, BmpReplacesAnExistingFile) {
    {
        std::ofstream out(path("000001.bmp"), std::ios::binary);
        out << std::string(5'000'000, 'z');
    }
    FakeScreenGrabber grabber;
    ASSERT_TRUE(grabber.open(8, 2));
    writers.writeBMP(grabber.image(), path("000001.bmp").c_str());
    const std::vector<std::uint8_t> b = readFile(path("000001.bmp"));
    EXPECT_EQ(b.size(), 54u + 64u);
    EXPECT_EQ(le32(b, 34), 64u);
}

TEST_F(WriterTest, BmpMissingFolderShowsOneMessagePerFrame) {
    FakeScreenGrabber grabber;
    ASSERT_TRUE(grabber.open(16, 16));
    const std::string missing = path("no-such-folder/");
    writers.writeBMP(grabber.image(), (missing + "000001.bmp").c_str());
    writers.writeBMP(grabber.image(), (missing + "000002.bmp").c_str());
    const auto calls = ui.calls();
    ASSERT_EQ(calls.size(), 2u);
    for (const auto& c : calls) {
        EXPECT_EQ(c.kind, "messageBox");
        EXPECT_EQ(c.text, "Could not create file for writing");
        EXPECT_EQ(c.caption, "Plumet");
        EXPECT_EQ(c.window, &view);
    }
    EXPECT_EQ(writers.failedWrites(), 2u);
    EXPECT_EQ(writers.filesWritten(), 0u);
}

TEST_F(WriterTest, JpegMissingFolderIsSilent) {
    FakeScreenGrabber grabber;
    ASSERT_TRUE(grabber.open(16, 16));
    const std::string name = path("no-such-folder/000001.jpg");
    writers.writeJPG(grabber.image(), name.c_str());
    writers.writeJPG(grabber.image(), name.c_str());
    EXPECT_TRUE(ui.calls().empty());
    EXPECT_EQ(writers.failedWrites(), 2u);
    EXPECT_FALSE(std::filesystem::exists(name));
}

TEST_F(WriterTest, JpegWritesTheEncodedBytes) {
    FakeScreenGrabber grabber;
    ASSERT_TRUE(grabber.open(320, 200));
    writers.writeJPG(grabber.image(), path("000001.jpg").c_str());
    const std::vector<std::uint8_t> b = readFile(path("000001.jpg"));
    EXPECT_EQ(std::string(b.begin(), b.end()), "FAKEJPEG 320x200");
    EXPECT_EQ(writers.filesWritten(), 1u);
    EXPECT_TRUE(ui.calls().empty());
}

TEST_F(WriterTest, JpegEncoderFailureLeavesNoFileAndNoMessage) {
    FakeScreenGrabber grabber;
    ASSERT_TRUE(grabber.open(32, 32));
    encoder.fail = true;
    writers.writeJPG(grabber.image(), path("000001.jpg").c_str());
    writers.writeJPG(nullptr, path("000002.jpg").c_str());
    EXPECT_FALSE(std::filesystem::exists(path("000001.jpg")));
    EXPECT_FALSE(std::filesystem::exists(path("000002.jpg")));
    EXPECT_TRUE(ui.calls().empty());
    EXPECT_EQ(writers.failedWrites(), 2u);
}

TEST_F(WriterTest, JpegWithoutEncoderFailsSilently) {
    FileFrameWriters noEncoder(nullptr, ui, state);
    FakeScreenGrabber grabber;
    ASSERT_TRUE(grabber.open(32, 32));
    noEncoder.writeJPG(grabber.image(), path("000001.jpg").c_str());
    EXPECT_FALSE(std::filesystem::exists(path("000001.jpg")));
    EXPECT_TRUE(ui.calls().empty());
}

struct BmpFailureCase {
    const char* what;
    bool nullImage;
    std::uint16_t bitsPerPixel;
    std::string_view message;
};

class BmpFailures : public WriterTest, public ::testing::WithParamInterface<BmpFailureCase> {};

TEST_P(BmpFailures, ShowTheirMessageAndWriteNothing) {
    const BmpFailureCase& c = GetParam();
    FakeScreenGrabber grabber;
    ASSERT_TRUE(grabber.open(8, 8));
    ScreenImage image = *grabber.image();
    image.bitsPerPixel = c.bitsPerPixel;
    writers.writeBMP(c.nullImage ? nullptr : &image, path("000001.bmp").c_str());
    const auto messages = ui.messages();
    ASSERT_EQ(messages.size(), 1u) << c.what;
    EXPECT_EQ(messages[0], c.message);
    EXPECT_EQ(ui.calls()[0].caption, "Plumet");
    EXPECT_FALSE(std::filesystem::exists(path("000001.bmp")));
}

INSTANTIATE_TEST_SUITE_P(
    Table, BmpFailures,
    ::testing::Values(BmpFailureCase{"no image", true, 32, kBmpNoBitmapInfo},
                      BmpFailureCase{"24-bit image", false, 24, kBmpGetDibError},
                      BmpFailureCase{"8-bit image", false, 8, kBmpGetDibError}));

// Files of this process may not grow past `bytes` while it lives (writes beyond fail with
// EFBIG instead of raising SIGXFSZ): a disk that fills up in the middle of a frame.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        ok_ = ::getrlimit(RLIMIT_FSIZE, &previous_) == 0;
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        ok_ = ok_ && ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        if (ok_)
            ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    bool ok() const { return ok_; }

  private:
    rlimit previous_{};
    void (*previousHandler_)(int) = SIG_DFL;
    bool ok_ = false;
};

std::vector<std::string> entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A frame that cannot be completed is removed, whichever writer: a cut-off file under a frame's
// name would be taken for a frame (and copied into gaps by the fill).
TEST_F(WriterTest, WriteFailureInTheMiddleLeavesNoFileBehind) {
    FakeScreenGrabber grabber;
    ASSERT_TRUE(grabber.open(64, 64));  // a 16438-byte BMP
    const std::vector<std::uint8_t> jpeg(20000, 0x5A);
    {
        FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.ok());
        writers.writeBMP(grabber.image(), path("000001.bmp").c_str());
        writers.writeEncodedJPG(jpeg.data(), jpeg.size(), path("000002.jpg").c_str());
    }
    EXPECT_EQ(ui.messages(), (std::vector<std::string>{"Could not write in to file"}));
    EXPECT_EQ(writers.filesWritten(), 0u);
    EXPECT_EQ(writers.failedWrites(), 2u);
    EXPECT_TRUE(entries(dir.path()).empty()) << entries(dir.path()).front();
    // The same writers go on once there is room again.
    writers.writeBMP(grabber.image(), path("000003.bmp").c_str());
    writers.writeEncodedJPG(jpeg.data(), jpeg.size(), path("000004.jpg").c_str());
    EXPECT_EQ(entries(dir.path()), (std::vector<std::string>{"000003.bmp", "000004.jpg"}));
    EXPECT_EQ(writers.bytesWritten(), 16438u + 20000u);
}

// The frame appears under its name only once it is complete: while it is written it lives under
// its temporary name, which a killed recording leaves behind and the next one removes.
TEST_F(WriterTest, TemporaryNamesAndTheirRemoval) {
    std::string temporary;
    temporaryFrameName("/rec/vid1/000012.jpg", temporary);
    EXPECT_EQ(temporary, "/rec/vid1/.000012.jpg.part");
    temporaryFrameName("1234567.bmp", temporary);
    EXPECT_EQ(temporary, ".1234567.bmp.part");

    const struct {
        const char* name;
        bool temporary;
    } names[] = {
        {".000001.jpg.part", true},  {".1234567.bmp.part", true},  {"000001.jpg", false},
        {".000001.jpg", false},      {".00001.jpg.part", false},   {".0000a1.jpg.part", false},
        {".000001.png.part", false}, {"x.000001.jpg.part", false}, {".000001.jpg.part2", false}};
    for (const auto& n : names) {
        EXPECT_EQ(isTemporaryFrameName(n.name), n.temporary) << n.name;
        std::ofstream(path(n.name)) << "x";
    }
    EXPECT_EQ(removeTemporaryFrames(dir.path() + "/"), 2u);
    for (const auto& n : names)
        EXPECT_EQ(std::filesystem::exists(path(n.name)), !n.temporary) << n.name;
}

TEST(BmpMessages, TextsAreExact) {
    EXPECT_EQ(kBmpNoBitmapInfo, "Could not retrieve bitmap info");
    EXPECT_EQ(kBmpNoMemory, "writeBMP::Could not allocate memory");
    EXPECT_EQ(kBmpGetDibError, "writeBMP::GetDIB error");
    EXPECT_EQ(kBmpCannotCreate, "Could not create file for writing");
    EXPECT_EQ(kBmpCannotWrite, "Could not write in to file");
    EXPECT_EQ(kBmpCannotClose, "Could not close file");
}

TEST_F(WriterTest, WarmUpWritesNoFileAndEncodesOnce) {
    FakeScreenGrabber grabber;
    ASSERT_TRUE(grabber.open(32, 32));
    writers.warmUp(grabber.image(), ImageFormat::kJpeg);
    writers.warmUp(grabber.image(), ImageFormat::kBmp);
    writers.warmUp(nullptr, ImageFormat::kJpeg);
    EXPECT_EQ(encoder.calls, 1);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    EXPECT_EQ(writers.filesWritten(), 0u);
}

}  // namespace
}  // namespace marrowdale
