// Child processes for the integration suites: started with posix_spawn, stdout and stderr
// captured in files, waited for with a limit (a child that hangs is killed and reported).
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace marrowdale::testing {

class ChildProcess {
  public:
    // `environment` entries replace or add variables of this process's environment; an empty
    // value removes the variable.
    ChildProcess(const std::vector<std::string>& argv,
                 const std::map<std::string, std::string>& environment = {},
                 const std::string& outputPrefix = "");
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // Waits up to `limitSeconds`; on expiry kills the child and returns false.
    bool wait(double limitSeconds);
    void signal(int number);
    int exitStatus() const { return status_; }  // -1 when it did not exit normally
    std::string standardOutput() const;
    std::string standardError() const;

  private:
    pid_t pid_ = -1;
    int status_ = -1;
    bool reaped_ = false;
    std::string outPath_;
    std::string errPath_;
};

// Runs a command to its end (limit 60 s); its exit status or -1.
int runCommand(const std::vector<std::string>& argv,
               const std::map<std::string, std::string>& environment = {});

// A 16-bit stereo WAV file of a sine.
bool writeSineWav(const std::string& path, double hz, double amplitude, double seconds,
                  unsigned rate);

}  // namespace marrowdale::testing
