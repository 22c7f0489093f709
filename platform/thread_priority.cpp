#include "platform/thread_priority.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace marrowdale {

namespace {
constexpr int kLowestPriorityNice = 19;

// On Linux a thread id names one thread to setpriority(), not its whole process.
id_t thisThreadId() {
    return static_cast<id_t>(gettid());
}
}  // namespace

int thisThreadNice() {
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, thisThreadId());
    return errno == 0 ? nice : 0;
}

bool lowerThisThreadPriority(int steps) {
    if (steps <= 0)
        return true;
    const int wanted = std::min(thisThreadNice() + steps, kLowestPriorityNice);
    return setpriority(PRIO_PROCESS, thisThreadId(), wanted) == 0;
}

}  // namespace marrowdale
