// The fill benchmark's helper. bench/fill/run drives it:
//   bench_fill prepare DIR FRAMES   a recording of FRAMES numbers in DIR/frames, 10% of them
//                                   missing in runs of 1 to 5, and DIR/reference holding the
//                                   same sources under the names of the missing numbers, for cp
//   bench_fill fill DIR             auto fill of DIR/frames; prints "seconds copied bytes"
//   bench_fill verify DIR           every filled frame equals the frame before its gap
//   bench_fill clean DIR            removes the filled frames again
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "recorder/state.h"
#include "tools/fill.h"

namespace {

using marrowdale::ImageFormat::kJpeg;

constexpr std::size_t kFrameBytes = 60 * 1024;
constexpr int kDistinctFrames = 97;  // sources are hard links to these, within link limits

std::string frameName(const std::string& folder, std::uint32_t n) {
    char name[32];
    std::snprintf(name, sizeof name, "/%06u.jpg", n);
    return folder + name;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool writeAll(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// The missing numbers, one per line, saved by prepare for verify and clean.
std::vector<std::uint32_t> loadMissing(const std::string& dir) {
    std::vector<std::uint32_t> missing;
    std::ifstream in(dir + "/missing.txt");
    std::uint32_t n = 0;
    while (in >> n)
        missing.push_back(n);
    return missing;
}

int prepare(const std::string& dir, std::uint32_t frames) {
    const std::string folder = dir + "/frames";
    const std::string reference = dir + "/reference";
    const std::string pool = dir + "/pool";
    if (::mkdir(folder.c_str(), 0755) != 0 || ::mkdir(reference.c_str(), 0755) != 0 ||
        ::mkdir(pool.c_str(), 0755) != 0) {
        std::perror("bench_fill: mkdir");
        return 1;
    }
    std::mt19937 random(20261207);
    std::vector<std::string> pooled;
    for (int i = 0; i < kDistinctFrames; ++i) {
        std::string bytes(kFrameBytes, '\0');
        for (char& c : bytes)
            c = static_cast<char>(random() & 0xFF);
        const std::string path = pool + "/" + std::to_string(i) + ".jpg";
        if (!writeAll(path, bytes)) {
            std::fprintf(stderr, "bench_fill: cannot write %s\n", path.c_str());
            return 1;
        }
        pooled.push_back(path);
    }
    // Choose the missing numbers: runs of 1 to 5 until 10% are missing. Frame 1 and the last
    // frame stay.
    std::vector<bool> missing(frames + 1, false);
    const std::uint32_t target = frames / 10;
    std::uint32_t count = 0;
    std::uniform_int_distribution<std::uint32_t> where(2, frames > 8 ? frames - 6 : 2);
    std::uniform_int_distribution<std::uint32_t> runLength(1, 5);
    while (count < target && frames > 8) {
        const std::uint32_t start = where(random);
        const std::uint32_t length = runLength(random);
        // Keep a present frame on both sides of every run.
        bool free = !missing[start - 1] && !missing[start + length];
        for (std::uint32_t k = 0; k < length && free; ++k)
            free = !missing[start + k];
        if (!free)
            continue;
        for (std::uint32_t k = 0; k < length && count < target; ++k, ++count)
            missing[start + k] = true;
    }
    std::ofstream list(dir + "/missing.txt");
    std::uint32_t lastPresent = 1;
    for (std::uint32_t n = 1; n <= frames; ++n) {
        if (missing[n]) {
            list << n << '\n';
            const std::string source = frameName(folder, lastPresent);
            if (::link(source.c_str(), frameName(reference, n).c_str()) != 0) {
                std::perror("bench_fill: link");
                return 1;
            }
            continue;
        }
        const std::string& pooledFrame = pooled[n % kDistinctFrames];
        if (::link(pooledFrame.c_str(), frameName(folder, n).c_str()) != 0) {
            std::perror("bench_fill: link");
            return 1;
        }
        lastPresent = n;
    }
    std::printf("prepared %u numbers, %u missing, frames of %zu bytes\n", frames, count,
                kFrameBytes);
    return 0;
}

int fill(const std::string& dir) {
    marrowdale::PosixFillFiles files;
    const auto start = std::chrono::steady_clock::now();
    const marrowdale::FillReport report =
        marrowdale::autoFill(files, dir + "/frames", marrowdale::ImageFormat::kJpeg);
    const auto end = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(end - start).count();
    if (report.outcome != marrowdale::FillOutcome::Finished) {
        std::fprintf(stderr, "bench_fill: the fill did not finish\n");
        return 1;
    }
    std::printf("%.6f %u %llu\n", seconds, report.progress.copied,
                static_cast<unsigned long long>(report.progress.copied) * kFrameBytes);
    return 0;
}

int verify(const std::string& dir) {
    const std::string folder = dir + "/frames";
    const std::vector<std::uint32_t> missing = loadMissing(dir);
    std::size_t checked = 0;
    for (const std::uint32_t n : missing) {
        // The reference folder holds, under the same number, a link to the frame before the gap.
        const std::string expected = readAll(frameName(dir + "/reference", n));
        const std::string got = readAll(frameName(folder, n));
        if (expected.size() != kFrameBytes || got != expected) {
            std::fprintf(stderr, "bench_fill: frame %u differs from its source\n", n);
            return 1;
        }
        ++checked;
    }
    std::printf("verified %zu filled frames\n", checked);
    return 0;
}

int clean(const std::string& dir) {
    const std::string folder = dir + "/frames";
    for (const std::uint32_t n : loadMissing(dir))
        ::unlink(frameName(folder, n).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_fill prepare|fill|verify|clean DIR [FRAMES]\n");
        return 2;
    }
    const std::string what = argv[1];
    const std::string dir = argv[2];
    if (what == "prepare") {
        const unsigned long frames = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 90000;
        if (frames < 10 || frames > marrowdale::kFillLastNumber) {
            std::fprintf(stderr, "bench_fill: FRAMES must be 10 to 500000\n");
            return 2;
        }
        return prepare(dir, static_cast<std::uint32_t>(frames));
    }
    if (what == "fill")
        return fill(dir);
    if (what == "verify")
        return verify(dir);
    if (what == "clean")
        return clean(dir);
    std::fprintf(stderr, "bench_fill: unknown step %s\n", what.c_str());
    return 2;
}
