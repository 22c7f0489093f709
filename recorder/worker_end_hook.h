// A step that the program adds to the end of every recording worker's run. The workers know
// nothing of what it does: the program that starts them decides (both programs arm the
// close-other-windows timer, tools/close_others_arming.h).
#pragma once

namespace marrowdale {

class WorkerEndHook {
  public:
    virtual ~WorkerEndHook() = default;

    // The worker's thread, as the last of its end steps: after the screen worker has told the
    // windows it stopped, after the audio worker has released its endpoint. Runs once per run
    // that reaches those steps, and may run on both workers' threads at once.
    virtual void workerEnded() = 0;
};

}  // namespace marrowdale
