// The measuring half of bench/goals.sh: writes the generated documents,
// times the public API and the peer programs, and reports peak memory.
//
//   goal_driver gen PAGES VARIANT OUT        write a generated document
//                                            (VARIANT 1: one word changed
//                                            on every tenth page)
//   goal_driver compare REPS A B             morvex_compare REPS times
//   goal_driver visual REPS A B OUT          morvex_visual REPS times
//   goal_driver exec REPS CMD [ARGS...]      run a program REPS times, its
//                                            output thrown away
//
// Every timing command prints one line of key=value pairs: the median and
// the fastest wall time in seconds, the median processor time (user and
// system, of this process or of the program; steadier than wall time on a
// busy machine, but it counts every thread), and the peak resident set in
// KB (of this process for compare and visual, of the largest run of the
// program for exec).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_pair.h"
#include "morvex.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

double median_of(std::vector<double> t) {
    std::sort(t.begin(), t.end());
    return t.size() % 2 ? t[t.size() / 2] : (t[t.size() / 2 - 1] + t[t.size() / 2]) / 2;
}

void print_times(const std::vector<double> &wall, const std::vector<double> &cpu, long maxrss_kb) {
    std::printf("median_s=%.6f min_s=%.6f cpu_s=%.6f runs=%zu maxrss_kb=%ld\n", median_of(wall),
                *std::min_element(wall.begin(), wall.end()), median_of(cpu), wall.size(), maxrss_kb);
}

double cpu_seconds(const rusage &ru) {
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

double self_cpu_seconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return cpu_seconds(ru);
}

long self_maxrss_kb() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

int usage() {
    std::fprintf(stderr,
                 "usage: goal_driver gen PAGES VARIANT OUT\n"
                 "       goal_driver compare REPS A B\n"
                 "       goal_driver visual REPS A B OUT\n"
                 "       goal_driver exec REPS CMD [ARGS...]\n");
    return 2;
}

int run_api(const std::string &what, int reps, const char *a, const char *b, const char *out) {
    morvex_init();
    std::vector<double> times, cpu;
    for (int r = 0; r < reps; ++r) {
        const double c0 = self_cpu_seconds();
        const auto t0 = Clock::now();
        const bool ok = what == "compare" ? morvex_compare(a, b) != nullptr : morvex_visual(a, b, out) == 1;
        times.push_back(seconds_since(t0));
        cpu.push_back(self_cpu_seconds() - c0);
        if (!ok) {
            std::fprintf(stderr, "goal_driver: %s failed: %s\n", what.c_str(), morvex_last_error());
            return 1;
        }
    }
    morvex_cleanup();
    print_times(times, cpu, self_maxrss_kb());
    return 0;
}

int run_program(int reps, char **argv) {
    std::vector<double> times, cpu;
    long maxrss = 0;
    for (int r = 0; r < reps; ++r) {
        const auto t0 = Clock::now();
        const pid_t pid = fork();
        if (pid < 0) {
            std::perror("fork");
            return 1;
        }
        if (pid == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execvp(argv[0], argv);
            _exit(127);
        }
        int status = 0;
        rusage ru{};
        wait4(pid, &status, 0, &ru);
        times.push_back(seconds_since(t0));
        cpu.push_back(cpu_seconds(ru));
        maxrss = std::max(maxrss, ru.ru_maxrss);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "goal_driver: %s failed (status %d)\n", argv[0], status);
            return 1;
        }
    }
    print_times(times, cpu, maxrss);
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) return usage();
    const std::string cmd = argv[1];
    if (cmd == "gen" && argc == 5) {
        fixture::write_file(argv[4], bench::generated_document(std::atoi(argv[2]), std::atoi(argv[3]) != 0));
        return 0;
    }
    if (argc < 4) return usage();
    const int reps = std::max(1, std::atoi(argv[2]));
    if (cmd == "compare" && argc == 5) return run_api(cmd, reps, argv[3], argv[4], nullptr);
    if (cmd == "visual" && argc == 6) return run_api(cmd, reps, argv[3], argv[4], argv[5]);
    if (cmd == "exec") return run_program(reps, argv + 3);
    return usage();
}
