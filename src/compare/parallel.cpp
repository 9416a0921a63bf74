#include "parallel.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>

namespace morvex {

int default_thread_count() {
    // The cores this process may run on (a container or taskset may allow
    // fewer than the machine has).
    int cores = 0;
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) cores = CPU_COUNT(&set);
    if (cores < 1) cores = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(cores, 1, 8);
}

void parallel_for(size_t n, int threads, const std::function<void(size_t)> &job) {
    if (n == 0) return;
    const size_t t = std::min(static_cast<size_t>(std::clamp(threads, 1, kMaxThreads)), n);
    if (t == 1) {
        for (size_t i = 0; i < n; ++i) job(i);
        return;
    }

    // Jobs are handed out in index order, and a failure stops the handing
    // out; so when job j fails, every job before j was handed out and runs
    // to its end, and the lowest failing index is the same on every run.
    std::atomic<size_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex failure_lock;
    size_t failed_at = n;
    std::exception_ptr failure;
    auto worker = [&]() noexcept {
        while (!stop.load(std::memory_order_relaxed)) {
            const size_t i = next.fetch_add(1, std::memory_order_relaxed);
            if (i >= n) return;
            try {
                job(i);
            } catch (...) {
                const std::lock_guard<std::mutex> hold(failure_lock);
                if (i < failed_at) {
                    failed_at = i;
                    failure = std::current_exception();
                }
                stop.store(true, std::memory_order_relaxed);
            }
        }
    };

    std::vector<std::thread> pool;
    pool.reserve(t - 1);  // may throw, before any thread runs
    for (size_t k = 1; k < t; ++k) {
        try {
            pool.emplace_back(worker);
        } catch (...) {
            break;  // no more threads to be had: the running ones do the work
        }
    }
    worker();
    for (std::thread &th : pool) th.join();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace morvex
