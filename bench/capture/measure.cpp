// mdl-measure: runs a command and reports what it cost.
//
//   mdl-measure [--sample-ms N] OUTFILE -- COMMAND [ARG]...
//
// The command's stdout goes to OUTFILE. When it has ended, one line goes to stdout:
//   exit=E wall_s=W cpu_s=C max_rss_kb=M rss_first_kb=F rss_last_kb=L rss_samples=N
// with the resident size sampled every N ms (first and last samples after the first second).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

double nowS() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

long rssKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    int sampleMs = 500;
    int i = 1;
    if (i + 1 < argc && std::strcmp(argv[i], "--sample-ms") == 0) {
        sampleMs = std::atoi(argv[i + 1]);
        i += 2;
    }
    if (i + 2 >= argc || std::strcmp(argv[i + 1], "--") != 0) {
        std::fputs("usage: mdl-measure [--sample-ms N] OUTFILE -- COMMAND [ARG]...\n", stderr);
        return 2;
    }
    const char* outFile = argv[i];
    char** command = argv + i + 2;

    const double start = nowS();
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = ::open(outFile, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0)
            dup2(fd, 1);
        execvp(command[0], command);
        _exit(127);
    }
    long first = -1, last = -1;
    int samples = 0;
    int status = 0;
    rusage usage{};
    double nextSample = start + 1.0;
    for (;;) {
        const pid_t done = wait4(pid, &status, WNOHANG, &usage);
        if (done == pid)
            break;
        if (nowS() >= nextSample) {
            const long rss = rssKb(pid);
            if (rss > 0) {
                if (first < 0)
                    first = rss;
                last = rss;
                ++samples;
            }
            nextSample += sampleMs / 1000.0;
        }
        usleep(10000);
    }
    const double wall = nowS() - start;
    const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::printf(
        "exit=%d wall_s=%.3f cpu_s=%.3f max_rss_kb=%ld rss_first_kb=%ld rss_last_kb=%ld "
        "rss_samples=%d\n",
        WIFEXITED(status) ? WEXITSTATUS(status) : -1, wall, cpu, usage.ru_maxrss, first, last,
        samples);
    return 0;
}
