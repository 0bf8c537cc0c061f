// spawntime: how long a program takes from its start to its exit, for the
// start-up figures of compare.sh (both programs measured the same way).
//
//   spawntime R PROGRAM [ARG...]   runs PROGRAM R times one after another, its
//                                  output to /dev/null; prints spawn_ns_median=<ns>
//
// Exit status 0, 1 when a run could not start or did not exit with 0, 2 for
// bad arguments.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

int main(int argc, char** argv)
{
    const int runs = argc > 2 ? std::atoi(argv[1]) : 0;
    if (runs < 1) {
        std::fprintf(stderr, "usage: spawntime R PROGRAM [ARG...]\n");
        return 2;
    }
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
