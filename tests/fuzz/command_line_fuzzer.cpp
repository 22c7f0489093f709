// marrowdale-record's arguments: any bytes, split into arguments at zero bytes, are parsed
// without harm, and what is accepted holds values in range.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "cli/cli_options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string_view> args;
    const char* text = reinterpret_cast<const char*>(data);
    std::size_t start = 0;
    for (std::size_t i = 0; i <= size; ++i) {
        if (i == size || data[i] == 0) {
            args.emplace_back(text + start, i - start);
            start = i + 1;
        }
    }
    const marrowdale::cli::ParseResult r = marrowdale::cli::parseCommandLine(args);
    if (!r.ok)
        return 0;
    const marrowdale::cli::Options& o = r.options;
    // What the parser accepts is what the recorder can use.
    if (o.framePeriod && (*o.framePeriod == 0 || *o.framePeriod < 50000))
        std::abort();
    if (o.frameOption && *o.frameOption == 0)
        std::abort();
    if (o.captureMode) {
        const int mode = static_cast<int>(*o.captureMode);
        if (mode != 0 && mode != 2 && mode != 3)
            std::abort();
    }
    if (o.jpegQuality < 1 || o.jpegQuality > 100)
        std::abort();
    if (o.seconds && !(*o.seconds >= 0 && *o.seconds <= 1e9))
        std::abort();
    if (o.dir.empty())
        std::abort();
    return 0;
}
