#include "process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace marrowdale::testing {

namespace {
std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}
}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::map<std::string, std::string>& environment,
                           const std::string& outputPrefix) {
    static int counter = 0;
    const std::string base = (outputPrefix.empty() ? std::string("/tmp/mdl-child") : outputPrefix) +
                             "-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
    outPath_ = base + ".out";
    errPath_ = base + ".err";

    std::map<std::string, std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const char* eq = std::strchr(*e, '=');
        if (eq != nullptr)
            env[std::string(*e, static_cast<std::size_t>(eq - *e))] = eq + 1;
    }
    for (const auto& [key, value] : environment) {
        if (value.empty())
            env.erase(key);
        else
            env[key] = value;
    }
    std::vector<std::string> envStrings;
    for (const auto& [key, value] : env)
        envStrings.push_back(key + "=" + value);
    std::vector<char*> envp;
    for (auto& s : envStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (auto& s : args)
        argp.push_back(s.data());
    argp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), envp.data()) == 0)
        pid_ = pid;
    posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    unlink(outPath_.c_str());
    unlink(errPath_.c_str());
}

bool ChildProcess::wait(double limitSeconds) {
    if (pid_ <= 0)
        return false;
    if (reaped_)
        return true;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(limitSeconds);
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            reaped_ = true;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            reaped_ = true;
            status_ = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void ChildProcess::signal(int number) {
    if (pid_ > 0 && !reaped_)
        kill(pid_, number);
}

std::string ChildProcess::standardOutput() const {
    return readFile(outPath_);
}
std::string ChildProcess::standardError() const {
    return readFile(errPath_);
}

int runCommand(const std::vector<std::string>& argv,
               const std::map<std::string, std::string>& environment) {
    ChildProcess child(argv, environment);
    if (!child.wait(60))
        return -1;
    return child.exitStatus();
}

bool writeSineWav(const std::string& path, double hz, double amplitude, double seconds,
                  unsigned rate) {
    std::ofstream out(path, std::ios::binary);
    if (!out)
        return false;
    const auto frames = static_cast<std::uint32_t>(seconds * rate);
    const std::uint32_t dataBytes = frames * 4;
    auto put32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto put16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    put32(36 + dataBytes);
    out.write("WAVEfmt ", 8);
    put32(16);
    put16(1);
    put16(2);
    put32(rate);
    put32(rate * 4);
    put16(4);
    put16(16);
    out.write("data", 4);
    put32(dataBytes);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const auto v = static_cast<std::int16_t>(
            std::lround(amplitude * 32767.0 * std::sin(2 * M_PI * hz * i / rate)));
        put16(static_cast<std::uint16_t>(v));
        put16(static_cast<std::uint16_t>(v));
    }
    return static_cast<bool>(out);
}

}  // namespace marrowdale::testing
