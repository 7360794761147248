// Many files at once: each file is rendered in a child process forked from
// the one that parsed the command line (so the plug-ins are loaded once),
// up to -j N at a time.  A child's lines come back through a pipe, each
// tagged as output or error; the parent prints them whole, keeps a
// progress line on a terminal and ends with a summary.  A failing file
// (even one that crashes its child) does not stop the others.
#include "render.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>

namespace patchhost::render {

namespace {

struct Child {
    size_t job = 0;
    int fd = -1;
    std::string pending; // bytes read that do not end a line yet
    std::string errors;  // the child's error lines, printed when it ends
};

// In the child: renders one job, its lines tagged "O " or "E ", and exits.
[[noreturn]] void child_main(const Options &o, const Job &job, int fd, bool serial)
{
    maxhost::set_serial_workers(serial);
    auto line = [fd](char tag, const std::string &text) {
        std::string s = std::string(1, tag) + " " + text + "\n";
        for (size_t done = 0; done < s.size();) {
            ssize_t n = write(fd, s.data() + done, s.size() - done);
            if (n <= 0)
                break;
            done += (size_t)n;
        }
    };
    int status = render_one(o, job, [&](const std::string &t) { line('O', t); },
                            [&](const std::string &t) { line('E', t); });
    close(fd);
    _exit(status);
}

class Progress {
public:
    Progress(size_t total, bool shown) : total_(total), shown_(shown) {}
    void clear()
    {
        if (shown_)
            fprintf(stderr, "\r\033[K");
    }
    void show(size_t done, size_t failed, const std::string &name)
    {
        if (!shown_)
            return;
        fprintf(stderr, "\r\033[K[%zu/%zu]%s %s", done, total_,
                failed ? (" " + std::to_string(failed) + " failed").c_str() : "", name.c_str());
        fflush(stderr);
    }

private:
    size_t total_;
    bool shown_;
};

} // namespace

int run_batch(const Options &o, const std::vector<Job> &jobs)
{
    const long slots = o.jobs > 0 ? o.jobs : std::max(1L, sysconf(_SC_NPROCESSORS_ONLN));
    // Several files at once share the processors between them; one at a
    // time, the analysis spreads over the host's workers.
    const bool serial = slots > 1 && jobs.size() > 1;
    const bool print_wrote = !isatty(STDOUT_FILENO);
    Progress progress(jobs.size(), !o.quiet && isatty(STDERR_FILENO));
    std::map<pid_t, Child> running;
    std::vector<std::string> failed;
    size_t next = 0, done = 0;
    int worst = status_ok;
    fflush(stdout);
    fflush(stderr);
    while (next < jobs.size() || !running.empty()) {
        while (next < jobs.size() && (long)running.size() < slots) {
            int fds[2];
            if (pipe(fds) != 0) {
                perror("patchhost render: pipe");
                return status_failed;
            }
            pid_t pid = fork();
            if (pid == 0) {
                close(fds[0]);
                child_main(o, jobs[next], fds[1], serial);
            }
            close(fds[1]);
            if (pid < 0) {
                close(fds[0]);
                perror("patchhost render: fork");
                return status_failed;
            }
            running[pid] = {next++, fds[0], "", ""};
            progress.show(done, failed.size(), jobs[running[pid].job].in);
        }
        std::vector<pollfd> polls;
        for (auto &[pid, c] : running)
            polls.push_back({c.fd, POLLIN, 0});
        if (poll(polls.data(), polls.size(), -1) < 0)
            continue;
        for (const pollfd &p : polls) {
            if (!p.revents)
                continue;
            auto it = std::find_if(running.begin(), running.end(), [&](auto &e) { return e.second.fd == p.fd; });
            Child &c = it->second;
            char buf[4096];
            ssize_t n = read(c.fd, buf, sizeof buf);
            if (n > 0) {
                c.pending.append(buf, (size_t)n);
                size_t nl;
                while ((nl = c.pending.find('\n')) != std::string::npos) {
                    std::string line = c.pending.substr(0, nl);
                    c.pending.erase(0, nl + 1);
                    if (line.rfind("E ", 0) == 0)
                        c.errors += "patchhost render: " + line.substr(2) + "\n";
                    else if (print_wrote && line.size() > 2) {
                        progress.clear();
                        printf("%s\n", line.c_str() + 2);
                        fflush(stdout);
                    }
                }
                continue;
            }
            close(c.fd);
            int raw = 0;
            waitpid(it->first, &raw, 0);
            int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : status_failed;
            if (!WIFEXITED(raw))
                c.errors += "patchhost render: " + jobs[c.job].in + ": the render crashed\n";
            done++;
            if (status != status_ok) {
                failed.push_back(jobs[c.job].in);
                worst = std::max(worst, status);
            }
            progress.clear();
            fputs(c.errors.c_str(), stderr);
            progress.show(done, failed.size(), jobs[c.job].in);
            running.erase(it);
        }
    }
    progress.clear();
    if (failed.empty()) {
        fprintf(stderr, "patchhost render: rendered %zu files\n", jobs.size());
    } else {
        fprintf(stderr, "patchhost render: rendered %zu of %zu files; failed:", jobs.size() - failed.size(),
                jobs.size());
        for (const std::string &f : failed)
            fprintf(stderr, " %s", f.c_str());
        fprintf(stderr, "\n");
    }
    return worst;
}

} // namespace patchhost::render
