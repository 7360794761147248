// Threads and time: critical regions, parallel tasks on a pool of worker
// threads, deferred calls and the main-thread event queue.
//
// The event queue holds work for the main thread (deferred calls, repaints,
// buffer notifications); front ends pump it until idle.  Any thread may
// queue.  Parallel tasks run one call per worker on the pool while the
// calling thread waits; MAXHOST_SERIAL=1 (or set_serial_workers) runs them
// inline instead, so threaded and serial results can be compared.
#include "internal.h"
#include "platform.h"

#include <atomic>
#include <cstdio>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

// ---------------------------------------------------------------- critical regions

namespace {

t_critical global_region()
{
    static t_critical region = mh_region_new();
    return region;
}

// Critical regions the calling thread holds (a region entered twice counts
// twice); a region is always left by the thread that entered it.
thread_local long regions_held = 0;

} // namespace

void critical_new(t_critical *x)
{
    if (x)
        *x = mh_region_new();
}

void critical_enter(t_critical x)
{
    mh_region_lock(x ? x : global_region());
    regions_held++;
}

void critical_exit(t_critical x)
{
    if (mh_region_unlock(x ? x : global_region()))
        regions_held--;
}

short critical_tryenter(t_critical x)
{
    if (!mh_region_trylock(x ? x : global_region()))
        return 1;
    regions_held++;
    return 0;
}

void critical_free(t_critical x)
{
    if (x)
        mh_region_free(x);
}

// ---------------------------------------------------------------- worker pool

namespace {

class mh_pool {
public:
    explicit mh_pool(unsigned n)
    {
        for (unsigned i = 0; i < n; i++)
            threads_.emplace_back([this] { run(); });
    }
    // Runs every job and returns when all have finished.
    void run_all(std::vector<std::function<void()>> &jobs)
    {
        // The count, lock and condition live on this stack frame: a job
        // counts itself done under the lock, so that the wait below cannot
        // see the count reach zero (and return, ending the frame) while the
        // last job still has the lock and condition to touch.
        size_t left = jobs.size();
        std::mutex done_lock;
        std::condition_variable done;
        {
            std::lock_guard<std::mutex> guard(lock_);
            for (auto &job : jobs) {
                queue_.push_back([&job, &left, &done_lock, &done] {
                    job();
                    std::lock_guard<std::mutex> g(done_lock);
                    if (--left == 0)
                        done.notify_all();
                });
            }
        }
        wake_.notify_all();
        std::unique_lock<std::mutex> wait(done_lock);
        done.wait(wait, [&] { return left == 0; });
    }

private:
    void run()
    {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock<std::mutex> guard(lock_);
                wake_.wait(guard, [this] { return !queue_.empty(); });
                job = std::move(queue_.front());
                queue_.pop_front();
            }
            job();
        }
    }
    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
    std::vector<std::thread> threads_;
};

long processor_count()
{
    unsigned n = std::thread::hardware_concurrency();
    return n ? (long)n : 1;
}

mh_pool &pool()
{
    // Detached for the life of the process: worker threads never exit.
    static mh_pool *p = [] {
        auto *created = new mh_pool((unsigned)std::max<long>(processor_count(), 2));
        return created;
    }();
    return *p;
}

std::atomic<int> serial_mode(-1);

bool serial_workers()
{
    int s = serial_mode.load();
    if (s < 0) {
        const char *env = getenv("MAXHOST_SERIAL");
        s = (env && *env && *env != '0') ? 1 : 0;
        serial_mode.store(s);
    }
    return s == 1;
}

t_class *task_class();

void task_free(t_sysparallel_task *x)
{
    if (x->workers) {
        for (long i = 0; i < SYSPARALLEL_MAX_WORKERS; i++)
            delete x->workers[i];
        delete[] x->workers;
        x->workers = nullptr;
    }
}

t_class *task_class()
{
    static t_class *c = mh_internal_class("sysparallel_task", sizeof(t_sysparallel_task), (method)task_free);
    return c;
}

} // namespace

long sysparallel_processorcount(void) { return processor_count(); }

t_sysparallel_task *sysparallel_task_new(void *data, method workerproc, long maxworkercount)
{
    t_sysparallel_task *x = (t_sysparallel_task *)object_alloc(task_class());
    if (!x)
        return nullptr;
    long max = maxworkercount > 0 ? std::min<long>(maxworkercount, SYSPARALLEL_MAX_WORKERS) : SYSPARALLEL_MAX_WORKERS;
    x->data = data;
    x->workerproc = workerproc;
    x->maxworkercount = max;
    x->workercount = std::min(processor_count(), max);
    x->workers = new t_sysparallel_worker *[SYSPARALLEL_MAX_WORKERS];
    for (long i = 0; i < SYSPARALLEL_MAX_WORKERS; i++) {
        t_sysparallel_worker *w = new t_sysparallel_worker();
        w->data = data;
        w->workerproc = workerproc;
        w->task = x;
        w->id = i;
        x->workers[i] = w;
    }
    return x;
}

t_max_err sysparallel_task_workercount(t_sysparallel_task *x, long workercount)
{
    if (!x)
        return MAX_ERR_INVALID_PTR;
    x->workercount = std::max<long>(1, std::min(workercount, x->maxworkercount));
    return MAX_ERR_NONE;
}

t_max_err sysparallel_task_execute(t_sysparallel_task *x)
{
    if (!x || !x->workerproc)
        return MAX_ERR_INVALID_PTR;
    typedef void (*worker_fn)(t_sysparallel_worker *);
    worker_fn fn = (worker_fn)x->workerproc;
    long n = x->workercount;
    x->iteration++;
    if (n <= 1 || serial_workers()) {
        for (long i = 0; i < n; i++)
            fn(x->workers[i]);
        return MAX_ERR_NONE;
    }
    std::vector<std::function<void()>> jobs;
    for (long i = 0; i < n; i++) {
        t_sysparallel_worker *w = x->workers[i];
        jobs.push_back([fn, w] { fn(w); });
    }
    pool().run_all(jobs);
    return MAX_ERR_NONE;
}

void sysparallel_task_free(t_sysparallel_task *x)
{
    if (x)
        object_free(x);
}

// ---------------------------------------------------------------- event queue

namespace {

struct mh_queue {
    std::mutex lock;
    std::deque<std::function<void()>> events;
    std::function<void()> wakeup;
    std::thread::id main_thread = std::this_thread::get_id();
};

mh_queue &queue()
{
    static mh_queue *q = new mh_queue;
    return *q;
}

// The main thread is the one that loads the host.
const bool queue_made_at_load = (queue(), true);

} // namespace

void mh_queue_push(std::function<void()> fn)
{
    mh_queue &q = queue();
    std::function<void()> wake;
    {
        std::lock_guard<std::mutex> guard(q.lock);
        q.events.push_back(std::move(fn));
        wake = q.wakeup;
    }
    if (wake)
        wake();
}

bool mh_on_main_thread() { return std::this_thread::get_id() == queue().main_thread; }

#ifndef NDEBUG
void mh_check_unlocked(const char *call)
{
    const bool region = regions_held > 0, samples = !region && mh_samples_locked_here();
    if (!region && !samples)
        return;
    fprintf(stderr, "maxhost: %s while the calling thread holds %s: the patch it runs may paint, lock or call "
                    "back into the caller\n",
            call, region ? "a critical region" : "a buffer~ sample lock");
    abort();
}

void mh_check_main_thread(const char *call)
{
    if (mh_on_main_thread())
        return;
    fprintf(stderr, "maxhost: %s called off the main thread\n", call);
    abort();
}
#endif

void *defer_low(void *ob, method fn, t_symbol *sym, short argc, t_atom *argv)
{
    mh_check_unlocked("defer_low");
    if (!fn)
        return nullptr;
    maxhost::Atoms copy(argv && argc > 0 ? argv : nullptr, argv && argc > 0 ? argv + argc : nullptr);
    mh_queue_push([ob, fn, sym, copy]() mutable {
        // A deferred call to an object freed in the meantime is dropped.
        if (ob && !mh_is_object(ob))
            return;
        typedef void (*deferred_fn)(void *, t_symbol *, short, t_atom *);
        ((deferred_fn)fn)(ob, sym, (short)copy.size(), copy.empty() ? nullptr : copy.data());
    });
    return nullptr;
}

namespace maxhost {

bool pump_one()
{
    mh_queue &q = queue();
    std::function<void()> fn;
    {
        std::lock_guard<std::mutex> guard(q.lock);
        if (q.events.empty())
            return false;
        fn = std::move(q.events.front());
        q.events.pop_front();
    }
    fn();
    return true;
}

long pump()
{
    long n = 0;
    while (pump_one())
        n++;
    return n;
}

bool queue_empty()
{
    mh_queue &q = queue();
    std::lock_guard<std::mutex> guard(q.lock);
    return q.events.empty();
}

void set_wakeup_hook(std::function<void()> hook)
{
    mh_queue &q = queue();
    std::lock_guard<std::mutex> guard(q.lock);
    q.wakeup = std::move(hook);
}

void set_serial_workers(bool serial) { serial_mode.store(serial ? 1 : 0); }

void queue_call(std::function<void()> fn) { mh_queue_push(std::move(fn)); }

} // namespace maxhost
