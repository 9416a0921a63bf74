// A pool of worker processes that run numbered tasks.
//
// The library keeps process-wide state and takes one call at a time, so
// pairs are compared in parallel by processes, never by threads.  Each
// worker is forked from the calling process and talks to it over its own
// socket pair: the parent sends a task number, the worker runs the task
// and sends back its number and the result bytes.  A worker that dies
// (killed by a signal, crashed, exited) fails only the task it was running,
// reported as "worker died (signal 9)" or "worker died (exit status 3)",
// and a new worker takes its place while tasks remain.
#ifndef MORVEX_CLI_WORKERS_H
#define MORVEX_CLI_WORKERS_H

#include <cstddef>
#include <functional>
#include <string>

namespace workers {

struct Outcome {
    bool ok = false;      // the worker sent a result
    std::string result;   // what the task returned, when ok
    std::string failure;  // why there is no result, when not ok
};

// Runs in a worker process: the result bytes of task `task`.
using Work = std::function<std::string(std::size_t task)>;
// Runs in the calling process, once per task, in the order tasks finish.
using Done = std::function<void(std::size_t task, Outcome &&outcome)>;

// Runs tasks 0 .. count-1 on at most `processes` workers (at least one)
// and returns when every task is done.  Tasks are handed out in order.
// Standard output and error are flushed before each fork; workers end with
// _exit and never flush the buffers they inherited.
void run(std::size_t count, int processes, const Work &work, const Done &done);

}  // namespace workers

#endif
