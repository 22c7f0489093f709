// --list-codecs: the codec listing of the codec list dialog, one list line per output line.
// A list line's own "\n" and "\t" characters are printed as they are.
#include <cstdio>

#include "audio/codec_listing.h"
#include "cli/commands.h"

namespace marrowdale {

int runListCodecsCommand(int level, const PlatformServices& platform) {
    if (level != kCodecDetailAudio && level != kCodecDetailAudioVideo &&
        level != kCodecDetailFull) {
        std::fprintf(stderr, "marrowdale-record: the codec listing level must be 1, 3 or 4\n");
        return 2;
    }
    std::unique_ptr<MediaFormatService> service =
        platform.mediaFormat ? platform.mediaFormat() : nullptr;
    if (!service) {
        std::fprintf(stderr, "marrowdale-record: the codec catalogue cannot be read\n");
        return 1;
    }
    // The dialog's first listing is the full one and the only one with the title line.
    const auto lines = listCodecs(*service, level, level == kCodecDetailFull);
    int status = 0;
    for (const auto& line : lines) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        if (line.rfind("Could not", 0) == 0)
            status = 1;
    }
    if (std::fflush(stdout) != 0)
        return 1;
    return status;
}

}  // namespace marrowdale
