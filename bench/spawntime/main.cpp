// spawntime: how long a program takes from its start to its exit, for the
// start-up figures of compare.sh (both programs measured the same way); and
// how long the board program takes to show the board.
//
//   spawntime R PROGRAM [ARG...]   runs PROGRAM R times one after another, its
//                                  output to /dev/null; prints spawn_ns_median=<ns>
//   spawntime --marks R PROGRAM [ARG...]
//                                  runs PROGRAM R times with QB_STARTUP_MARKS=1 and
//                                  reads its start-up marks from stderr until the mark
//                                  "shown" (or 30 s), then ends it with SIGTERM; prints
//                                  one line per run and, per mark, the median time from
//                                  the start: mark_<name>_ms_median=<ms>; "cpu" and
//                                  "runqueue" are the main thread's time on a processor
//                                  and waiting for one until "shown"
//
// Exit status 0, 1 when a run could not start, did not exit with 0 (first
// form) or never reached "shown" (--marks), 2 for bad arguments.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

long long monotonicNs()
{
    timespec ts {};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

double medianMs(std::vector<long long> ns)
{
    std::sort(ns.begin(), ns.end());
    return ns.empty() ? 0.0 : static_cast<double>(ns[ns.size() / 2]) / 1e6;
}

// One run of the board program: the marks' times since the spawn, in order.
bool runWithMarks(char** argv, std::vector<std::pair<std::string, long long>>& marks)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    const long long start = monotonicNs();
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        std::fprintf(stderr, "spawntime: cannot start %s\n", argv[0]);
        return false;
    }
    std::string pending;
    bool shown = false;
    const long long deadline = start + 30'000'000'000LL;
    while (!shown && monotonicNs() < deadline) {
        pollfd p {fds[0], POLLIN, 0};
        if (::poll(&p, 1, 200) < 0 && errno != EINTR)
            break;
        if (!(p.revents & (POLLIN | POLLHUP)))
            continue;
        char buf[4096];
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n <= 0)
            break; // the program ended
        pending.append(buf, static_cast<std::size_t>(n));
        std::size_t nl;
        while ((nl = pending.find('\n')) != std::string::npos) {
            const std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            char name[64];
            long long at = 0;
            if (std::sscanf(line.c_str(), "qbp3-mark %63s %lld", name, &at) == 2) {
                marks.emplace_back(name, at - start);
                if (std::strcmp(name, "shown") == 0) {
                    shown = true;
                    // The main thread's time on a processor and waiting for one.
                    long long cpu = 0, wait = 0;
                    const std::string path = "/proc/" + std::to_string(pid) + "/schedstat";
                    if (FILE* f = std::fopen(path.c_str(), "r")) {
                        if (std::fscanf(f, "%lld %lld", &cpu, &wait) == 2) {
                            marks.emplace_back("cpu", cpu);
                            marks.emplace_back("runqueue", wait);
                        }
                        std::fclose(f);
                    }
                }
            }
        }
    }
    ::close(fds[0]);
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return shown;
}

int marksMode(int runs, char** argv)
{
    ::setenv("QB_STARTUP_MARKS", "1", 1);
    std::vector<std::string> order;
    std::map<std::string, std::vector<long long>> times;
    int failed = 0;
    for (int i = 0; i < runs; ++i) {
        std::vector<std::pair<std::string, long long>> marks;
        const bool ok = runWithMarks(argv, marks);
        std::printf("run %d:", i + 1);
        for (const auto& [name, ns] : marks) {
            std::printf(" %s=%.1f", name.c_str(), static_cast<double>(ns) / 1e6);
            if (std::find(order.begin(), order.end(), name) == order.end())
                order.push_back(name);
            times[name].push_back(ns);
        }
        std::printf(ok ? " (ms)\n" : " (ms; never shown)\n");
        failed += ok ? 0 : 1;
    }
    for (const auto& name : order)
        std::printf("mark_%s_ms_median=%.1f\n", name.c_str(), medianMs(times[name]));
    return failed == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const bool marks = argc > 1 && std::strcmp(argv[1], "--marks") == 0;
    const int first = marks ? 2 : 1;
    const int runs = argc > first + 1 ? std::atoi(argv[first]) : 0;
    if (runs < 1) {
        std::fprintf(stderr, "usage: spawntime [--marks] R PROGRAM [ARG...]\n");
        return 2;
    }
    if (marks)
        return marksMode(runs, argv + first + 1);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    std::vector<long long> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        pid_t pid = 0;
        if (posix_spawn(&pid, argv[2], &quiet, nullptr, argv + 2, environ) != 0) {
            std::fprintf(stderr, "spawntime: cannot start %s\n", argv[2]);
            return 1;
        }
        int status = 0;
        if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "spawntime: %s failed\n", argv[2]);
            return 1;
        }
        times.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start)
                            .count());
    }
    posix_spawn_file_actions_destroy(&quiet);
    std::sort(times.begin(), times.end());
    std::printf("spawn_ns_median=%lld\n", times[times.size() / 2]);
    return 0;
}
