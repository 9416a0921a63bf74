// Runs independent jobs on a few threads.  Each job writes only its own
// result slot, so the results come out in index order whatever the
// scheduling; one thread (or one job) runs everything inline on the
// caller's thread, with no thread started.
//
// An exception thrown by a job (std::bad_alloc, typically) stops the
// handing out of further jobs; the jobs already running finish, every
// thread is joined, and the exception of the lowest-numbered failing job
// is rethrown on the caller's thread.  When a thread cannot be started,
// the threads already running (the caller's own included) do the work.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

namespace morvex {

// Most threads a call uses, whatever it asks for.
inline constexpr int kMaxThreads = 64;

// The thread count the default options give: the cores available, at
// least 1 and at most 8 (page analysis stops gaining from more before
// then, and a host runs other work).
int default_thread_count();

// Calls job(i) once for every i in [0, n), on up to `threads` threads
// (values below 1 count as 1, above kMaxThreads as kMaxThreads), the
// caller's thread among them.  Returns when every job has run, or rethrows
// as described above.
void parallel_for(size_t n, int threads, const std::function<void(size_t)> &job);

// The results of f(0) ... f(n-1), in index order, computed by parallel_for.
// R must be default-constructible and move-assignable.
template <class R, class F>
std::vector<R> parallel_map(size_t n, int threads, F &&f) {
    std::vector<R> out(n);
    parallel_for(n, threads, [&](size_t i) { out[i] = f(i); });
    return out;
}

}  // namespace morvex
