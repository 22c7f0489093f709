// Helpers of the audio integration suites: a scratch working folder and tone measurements.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace marrowdale::testing {

// Level of the frequency `hz` in `samples` (Goertzel filter), as the amplitude of a sine
// that would give the same power.
double toneAmplitude(const std::vector<float>& samples, double rate, double hz,
                     std::size_t from = 0, std::size_t count = 0);
double rms(const std::vector<float>& samples, std::size_t from = 0, std::size_t count = 0);

// A fresh folder under the system's temporary folder, made the current directory while the
// object lives; removed with its contents at the end.
class ScratchDirectory {
  public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string previous_;
    std::string path_;
};

}  // namespace marrowdale::testing
