#include "workers.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace workers {

namespace {

// A result larger than this is taken for a broken worker.
constexpr std::uint64_t kMaxResult = std::uint64_t{1} << 32;

struct Worker {
    pid_t pid = -1;
    int fd = -1;
    bool busy = false;
    std::size_t task = 0;
    std::string inbox;
};

bool read_exact(int fd, void *buf, std::size_t n) {
    auto *p = static_cast<char *>(buf);
    while (n > 0) {
        const ssize_t got = read(fd, p, n);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

bool write_all(int fd, const char *p, std::size_t n) {
    while (n > 0) {
        const ssize_t put = write(fd, p, n);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        p += put;
        n -= static_cast<std::size_t>(put);
    }
    return true;
}

void put_u64(std::string &out, std::uint64_t v) {
    char b[8];
    std::memcpy(b, &v, 8);
    out.append(b, 8);
}

std::uint64_t get_u64(const std::string &in, std::size_t at) {
    std::uint64_t v;
    std::memcpy(&v, in.data() + at, 8);
    return v;
}

// The worker's loop: a task number in, its number, length and result out,
// until the parent closes its end.
[[noreturn]] void serve(int fd, const Work &work) {
    for (;;) {
        std::uint64_t task;
        if (!read_exact(fd, &task, sizeof task)) _exit(0);
        const std::string result = work(static_cast<std::size_t>(task));
        std::string message;
        put_u64(message, task);
        put_u64(message, result.size());
        message += result;
        if (!write_all(fd, message.data(), message.size())) _exit(1);
    }
}

class Pool {
public:
    Pool(std::size_t count, int processes, const Work &work, const Done &done)
        : count_(count), work_(work), done_(done),
          workers_(std::min<std::size_t>(count, static_cast<std::size_t>(std::max(processes, 1)))) {}

    void run() {
        for (Worker &w : workers_) start(w);
        while (finished_ < count_) {
            dispatch();
            if (finished_ == count_) break;
            wait_and_read();
        }
        for (Worker &w : workers_) {
            if (w.fd < 0) continue;
            close(w.fd);  // the worker reads the end of its input and exits
            w.fd = -1;
            int status;
            while (waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
    }

private:
    std::size_t count_, next_ = 0, finished_ = 0;
    const Work &work_;
    const Done &done_;
    std::vector<Worker> workers_;
    std::string start_error_;

    bool start(Worker &w) {
        int sv[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) {
            start_error_ = std::string("cannot start a worker: ") + std::strerror(errno);
            return false;
        }
        std::fflush(nullptr);
        const pid_t pid = fork();
        if (pid < 0) {
            start_error_ = std::string("cannot start a worker: ") + std::strerror(errno);
            close(sv[0]);
            close(sv[1]);
            return false;
        }
        if (pid == 0) {
            close(sv[0]);
            // Other workers must see the end of their input when the parent
            // closes its side, so no worker keeps the parent's sockets open.
            for (const Worker &o : workers_)
                if (o.fd >= 0) close(o.fd);
            serve(sv[1], work_);
        }
        close(sv[1]);
        w = Worker{};
        w.pid = pid;
        w.fd = sv[0];
        return true;
    }

    void finish(std::size_t task, Outcome &&outcome) {
        ++finished_;
        done_(task, std::move(outcome));
    }

    // Collects a worker whose socket closed or misbehaved; fails its task.
    void bury(Worker &w, const char *why = nullptr) {
        close(w.fd);
        w.fd = -1;
        if (why) kill(w.pid, SIGKILL);
        int status = 0;
        pid_t got;
        while ((got = waitpid(w.pid, &status, 0)) < 0 && errno == EINTR) {
        }
        std::string failure = "worker died";
        if (why) failure = why;
        else if (got == w.pid && WIFSIGNALED(status))
            failure += " (signal " + std::to_string(WTERMSIG(status)) + ")";
        else if (got == w.pid && WIFEXITED(status))
            failure += " (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
        if (w.busy) {
            w.busy = false;
            Outcome o;
            o.failure = failure;
            finish(w.task, std::move(o));
        }
    }

    void dispatch() {
        bool any_alive = false;
        for (Worker &w : workers_) {
            if (w.fd < 0 && next_ < count_) start(w);
            if (w.fd < 0) continue;
            any_alive = true;
            if (w.busy || next_ >= count_) continue;
            const std::uint64_t task = next_;
            if (send(w.fd, &task, sizeof task, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof task)) {
                bury(w);  // died while idle: nothing of its own to report
                continue;
            }
            w.busy = true;
            w.task = next_++;
        }
        if (!any_alive) {
            // No worker can be started: the remaining tasks fail with the reason.
            while (next_ < count_) {
                Outcome o;
                o.failure = start_error_.empty() ? "cannot start a worker" : start_error_;
                finish(next_++, std::move(o));
            }
        }
    }

    void wait_and_read() {
        std::vector<pollfd> fds;
        std::vector<Worker *> owners;
        for (Worker &w : workers_) {
            if (w.fd < 0) continue;
            fds.push_back({w.fd, POLLIN, 0});
            owners.push_back(&w);
        }
        if (fds.empty()) return;
        if (poll(fds.data(), fds.size(), -1) < 0) return;  // EINTR: look again
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].revents == 0) continue;
            Worker &w = *owners[i];
            char buf[65536];
            const ssize_t got = read(w.fd, buf, sizeof buf);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                bury(w);
                continue;
            }
            w.inbox.append(buf, static_cast<std::size_t>(got));
            take_result(w);
        }
    }

    void take_result(Worker &w) {
        if (w.inbox.size() < 16) return;
        const std::uint64_t task = get_u64(w.inbox, 0), size = get_u64(w.inbox, 8);
        if (!w.busy || task != w.task || size > kMaxResult) {
            bury(w, "worker sent a malformed result");
            return;
        }
        if (w.inbox.size() - 16 < size) return;
        if (w.inbox.size() - 16 > size) {
            bury(w, "worker sent a malformed result");
            return;
        }
        Outcome o;
        o.ok = true;
        o.result = w.inbox.substr(16);
        w.inbox.clear();
        w.busy = false;
        finish(w.task, std::move(o));
    }
};

}  // namespace

void run(std::size_t count, int processes, const Work &work, const Done &done) {
    if (count == 0) return;
    Pool(count, processes, work, done).run();
}

}  // namespace workers
