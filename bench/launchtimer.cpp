// vorn-bench-launch: times one start of a program from the outside, so the program under test
// runs exactly as shipped.
//
//   vorn-bench-launch mapped SETTLE_MS PROGRAM [ARGS...]
//       from the spawn to the map of the program's first top-level window on $DISPLAY; after
//       SETTLE_MS more (the first paint) the peak resident size (VmHWM), then SIGTERM
//   vorn-bench-launch exit PROGRAM [ARGS...]
//       from the spawn to the program's exit, and its peak resident size
//
// Prints one line "MICROSECONDS PEAK_KIB"; exits non-zero when the program failed.

#include "mapwatch.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

// The program's own output goes nowhere, so that this program's one line stays readable.
std::optional<pid_t> spawn(char **argv)
{
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&quiet, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = 0;
    const int failure = posix_spawnp(&pid, argv[0], &quiet, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (failure != 0)
        return std::nullopt;
    return pid;
}

long peakResidentKib(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

long microsecondsBetween(Clock::time_point from, Clock::time_point to)
{
    return long(std::chrono::duration_cast<std::chrono::microseconds>(to - from).count());
}

int timeUntilMapped(int settleMs, char **argv)
{
    MapWatch watch;
    if (!watch.connected()) {
        std::fprintf(stderr, "vorn-bench-launch: cannot open the display\n");
        return 2;
    }
    const Clock::time_point start = Clock::now();
    const std::optional<pid_t> pid = spawn(argv);
    if (!pid) {
        std::fprintf(stderr, "vorn-bench-launch: cannot start %s\n", argv[0]);
        return 2;
    }
    const auto mapped = watch.waitForMap(*pid, std::chrono::seconds(20));
    if (mapped)
        std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
    const long peak = peakResidentKib(*pid);
    kill(*pid, SIGTERM);
    waitpid(*pid, nullptr, 0);
    if (!mapped) {
        std::fprintf(stderr, "vorn-bench-launch: no window of %s was mapped\n", argv[0]);
        return 1;
    }
    std::printf("%ld %ld\n", microsecondsBetween(start, *mapped), peak);
    return 0;
}

int timeUntilExit(char **argv)
{
    const Clock::time_point start = Clock::now();
    const std::optional<pid_t> pid = spawn(argv);
    if (!pid) {
        std::fprintf(stderr, "vorn-bench-launch: cannot start %s\n", argv[0]);
        return 2;
    }
    int status = 0;
    rusage usage{};
    wait4(*pid, &status, 0, &usage);
    const Clock::time_point end = Clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "vorn-bench-launch: %s failed\n", argv[0]);
        return 1;
    }
    std::printf("%ld %ld\n", microsecondsBetween(start, end), usage.ru_maxrss);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 4 && std::strcmp(argv[1], "mapped") == 0)
        return timeUntilMapped(std::atoi(argv[2]), argv + 3);
    if (argc >= 3 && std::strcmp(argv[1], "exit") == 0)
        return timeUntilExit(argv + 2);
    std::fprintf(stderr, "usage: vorn-bench-launch mapped SETTLE_MS PROGRAM [ARGS...]\n"
                         "       vorn-bench-launch exit PROGRAM [ARGS...]\n");
    return 2;
}
