#include <cstdio>

#include "cli/commands.h"

namespace marrowdale {

int runListCodecsCommand(int /*level*/) {
    std::fputs("marrowdale-record: the codec listing is not available yet\n", stderr);
    return 2;
}

}  // namespace marrowdale
