// Many files at once: worker processes forked from the one that parsed
// the command line (so the plug-ins are loaded once), -j N of them, each
// taking files one after another from the parent over a pipe.  A worker
// keeps the memory of one file for the next (large blocks stay in its heap
// instead of going back to the system), which spares the page faults that
// otherwise cost a fresh process nearly half its time.  A worker's lines
// come back tagged as output, error or done; the parent prints them whole,
// keeps a progress line on a terminal and ends with a summary.  A failing
// file does not stop the others; a worker that crashes fails its file and
// is replaced.
#include "render.h"

#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace patchhost::render {

namespace {

constexpr size_t k_idle = (size_t)-1;

struct Worker {
    pid_t pid = -1;
    int to = -1, from = -1; // job numbers in, tagged lines out
    size_t job = k_idle;
    std::string pending;    // bytes read that do not end a line yet
    std::string errors;     // the current job's error lines
};

void write_all(int fd, const std::string &s)
{
    for (size_t done = 0; done < s.size();) {
        ssize_t n = write(fd, s.data() + done, s.size() - done);
        if (n <= 0)
            return;
        done += (size_t)n;
    }
}

// In the worker: renders the jobs whose numbers arrive on `in` until it
// closes; every line goes out tagged "O ", "E " or "D STATUS".
[[noreturn]] void worker_main(const Options &o, const std::vector<Job> &jobs, int in, int out, bool serial)
{
    maxhost::set_serial_workers(serial);
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
    FILE *f = fdopen(in, "r");
    size_t job;
    while (f && fscanf(f, "%zu", &job) == 1 && job < jobs.size()) {
        int status = render_one(o, jobs[job], [&](const std::string &t) { write_all(out, "O " + t + "\n"); },
                                [&](const std::string &t) { write_all(out, "E " + t + "\n"); });
        write_all(out, "D " + std::to_string(status) + "\n");
    }
    _exit(0);
}

bool spawn(const Options &o, const std::vector<Job> &jobs, bool serial, std::vector<Worker> *workers)
{
    int to[2], from[2];
    if (pipe(to) != 0)
        return false;
    if (pipe(from) != 0) {
        close(to[0]), close(to[1]);
        return false;
    }
    pid_t pid = fork();
    if (pid == 0) {
        close(to[1]);
        close(from[0]);
        for (const Worker &w : *workers)
            close(w.to), close(w.from);
        worker_main(o, jobs, to[0], from[1], serial);
    }
    close(to[0]);
    close(from[1]);
    if (pid < 0) {
        close(to[1]), close(from[0]);
        return false;
    }
    Worker w;
    w.pid = pid;
    w.to = to[1];
    w.from = from[0];
    workers->push_back(w);
    return true;
}

// The parent's side: workers, the queue of jobs, the progress line and
// the tally.
class Batch {
public:
    Batch(const Options &o, const std::vector<Job> &jobs)
        : o_(o), jobs_(jobs),
          slots_(std::min<long>(o.jobs > 0 ? o.jobs : std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)),
                                (long)jobs.size())),
          print_wrote_(!isatty(STDOUT_FILENO)), progress_(!o.quiet && isatty(STDERR_FILENO))
    {
    }

    int run()
    {
        // Several files at once share the processors between them; one at
        // a time, the analysis spreads over the host's workers.
        const bool serial = slots_ > 1;
        signal(SIGPIPE, SIG_IGN); // a worker that died is noticed by its closed pipe
        fflush(stdout);
        fflush(stderr);
        while (done_ < jobs_.size()) {
            while ((long)workers_.size() < slots_ && workers_.size() < jobs_.size() - done_)
                if (!spawn(o_, jobs_, serial, &workers_)) {
                    perror("patchhost render: cannot start a worker");
                    if (workers_.empty())
                        return status_failed;
                    break;
                }
            hand_out();
            std::vector<pollfd> polls;
            for (const Worker &w : workers_)
                polls.push_back({w.from, POLLIN, 0});
            if (poll(polls.data(), polls.size(), -1) < 0)
                continue;
            for (size_t i = 0; i < polls.size(); i++)
                if (polls[i].revents)
                    read_from(workers_[i]);
            workers_.erase(std::remove_if(workers_.begin(), workers_.end(), [](const Worker &w) { return w.pid < 0; }),
                           workers_.end());
        }
        for (Worker &w : workers_) {
            if (w.to >= 0)
                close(w.to);
            close(w.from);
            waitpid(w.pid, nullptr, 0);
        }
        summary();
        return worst_;
    }

private:
    // Gives every idle worker the next job; with none left, lets it end.
    void hand_out()
    {
        for (Worker &w : workers_)
            if (w.job == k_idle && next_ < jobs_.size()) {
                w.job = next_++;
                write_all(w.to, std::to_string(w.job) + "\n");
                show(jobs_[w.job].in);
            } else if (w.job == k_idle && w.to >= 0) {
                close(w.to);
                w.to = -1;
            }
    }

    // Reads what a worker wrote; at its end, a job it held has failed.
    void read_from(Worker &w)
    {
        char buf[4096];
        ssize_t n = read(w.from, buf, sizeof buf);
        if (n <= 0) {
            close(w.from);
            if (w.to >= 0)
                close(w.to);
            waitpid(w.pid, nullptr, 0);
            if (w.job != k_idle) {
                w.errors += "patchhost render: " + jobs_[w.job].in + ": the render crashed\n";
                finish(w, status_failed);
            }
            w.pid = -1;
            return;
        }
        w.pending.append(buf, (size_t)n);
        size_t nl;
        while ((nl = w.pending.find('\n')) != std::string::npos) {
            std::string line = w.pending.substr(0, nl);
            w.pending.erase(0, nl + 1);
            if (line.rfind("E ", 0) == 0) {
                w.errors += "patchhost render: " + line.substr(2) + "\n";
            } else if (line.rfind("D ", 0) == 0 && w.job != k_idle) {
                finish(w, atoi(line.c_str() + 2));
            } else if (line.rfind("O ", 0) == 0 && print_wrote_) {
                clear();
                printf("%s\n", line.c_str() + 2);
                fflush(stdout);
            }
        }
    }

    void finish(Worker &w, int status)
    {
        done_++;
        if (status != status_ok) {
            failed_.push_back(jobs_[w.job].in);
            worst_ = std::max(worst_, status);
        }
        clear();
        fputs(w.errors.c_str(), stderr);
        show(jobs_[w.job].in);
        w.errors.clear();
        w.job = k_idle;
    }

    void clear()
    {
        if (progress_)
            fprintf(stderr, "\r\033[K");
    }

    void show(const std::string &name)
    {
        if (!progress_)
            return;
        std::string failed = failed_.empty() ? "" : " " + std::to_string(failed_.size()) + " failed";
        fprintf(stderr, "\r\033[K[%zu/%zu]%s %s", done_, jobs_.size(), failed.c_str(), name.c_str());
        fflush(stderr);
    }

    void summary()
    {
        clear();
        if (failed_.empty()) {
            fprintf(stderr, "patchhost render: rendered %zu files\n", jobs_.size());
            return;
        }
        fprintf(stderr, "patchhost render: rendered %zu of %zu files; failed:", jobs_.size() - failed_.size(),
                jobs_.size());
        for (const std::string &f : failed_)
            fprintf(stderr, " %s", f.c_str());
        fprintf(stderr, "\n");
    }

    const Options &o_;
    const std::vector<Job> &jobs_;
    const long slots_;
    const bool print_wrote_, progress_;
    std::vector<Worker> workers_;
    std::vector<std::string> failed_;
    size_t next_ = 0, done_ = 0;
    int worst_ = status_ok;
};

} // namespace

int run_batch(const Options &o, const std::vector<Job> &jobs) { return Batch(o, jobs).run(); }

} // namespace patchhost::render
