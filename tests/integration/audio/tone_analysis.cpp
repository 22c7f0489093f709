#include "tone_analysis.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace marrowdale::testing {

double toneAmplitude(const std::vector<float>& samples, double rate, double hz, std::size_t from,
                     std::size_t count) {
    if (from >= samples.size())
        return 0;
    if (count == 0 || from + count > samples.size())
        count = samples.size() - from;
    const double w = 2.0 * M_PI * hz / rate;
    const double coeff = 2.0 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        const double s0 = samples[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    return 2.0 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(count);
}

double rms(const std::vector<float>& samples, std::size_t from, std::size_t count) {
    if (from >= samples.size())
        return 0;
    if (count == 0 || from + count > samples.size())
        count = samples.size() - from;
    double sum = 0;
    for (std::size_t i = from; i < from + count; ++i)
        sum += double{samples[i]} * samples[i];
    return std::sqrt(sum / static_cast<double>(count));
}

ScratchDirectory::ScratchDirectory() {
    previous_ = std::filesystem::current_path().string();
    std::string pattern = (std::filesystem::temp_directory_path() / "mdl-audio-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
        path_ = pattern;
        std::filesystem::current_path(path_);
    }
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    if (!path_.empty())
        std::filesystem::remove_all(path_, ignored);
}

}  // namespace marrowdale::testing
