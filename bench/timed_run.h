// One timed run of the engine for the benchmarks: tzm started in a folder
// with the control file on standard input and the listing as standard
// output, on a given number of threads; elapsed and processor seconds, the
// largest resident memory and the exit status.
#pragma once

#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace bench {

struct timing {
    double wall = 0, cpu = 0;
    long maxrss_kb = 0;
    int status = -1;
};

inline timing run(const std::filesystem::path& tzm, const std::filesystem::path& dir,
                  const std::filesystem::path& control, const std::filesystem::path& listing, int threads) {
    timing t;
    const auto t0 = std::chrono::steady_clock::now();
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid < 0) return t;
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(127);
        if (!freopen(control.c_str(), "r", stdin)) _exit(127);
        if (!freopen(listing.c_str(), "w", stdout)) _exit(127);
        setenv("OMP_NUM_THREADS", std::to_string(threads).c_str(), 1);
        execl(tzm.c_str(), "tzm", static_cast<char*>(nullptr));
        _exit(127);
    }
    int st = 0;
    struct rusage ru {};
    wait4(pid, &st, 0, &ru);
    t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    t.cpu = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec * 1e-6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec * 1e-6;
    t.maxrss_kb = ru.ru_maxrss;
    t.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return t;
}

}  // namespace bench
