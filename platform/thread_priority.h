// Scheduling weight of the calling thread.
#pragma once

namespace marrowdale {

// Any thread. Raises the calling thread's nice value by `steps` (at most to 19), so that the
// threads that must wake on time (the capture loop, the sound) take a core from it at once.
// Only this thread changes. Returns false when the system refused; the thread then runs on
// unchanged, which costs timing, not frames.
bool lowerThisThreadPriority(int steps);

// Any thread. The calling thread's nice value (0 when it cannot be read).
int thisThreadNice();

}  // namespace marrowdale
