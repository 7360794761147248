// Sample memory of buffer~, its sample locks, the SDK's getters and dirty
// mark, and the front ends' read-only access.
//
// A sample lock is a claim, not a mutex: any number of threads may hold the
// samples at once (and one thread several times); what a lock guarantees is
// that the memory neither moves nor goes away until the last unlock.  A
// mutation that moves or rewrites memory (read, resize, clear) waits until
// no lock is held, and meanwhile makes threads that hold none wait for it;
// a thread that holds a lock never waits, so a nested lock cannot deadlock.
//
// Dirty marks become one "buffer_modified" notification, delivered from the
// event queue: a mark made while the samples are locked is queued at the
// last unlock, and an event that finds the samples locked waits for that
// unlock too.  Marks made before the notification runs merge into it.
#include "buffer_internal.h"
#include "platform.h"

#include <chrono>
#include <cstdlib>
#include <cstring>

// ---------------------------------------------------------------- sample blocks

mh_sample_block::~mh_sample_block() { free(data_); }

mh_sample_block::mh_sample_block(mh_sample_block &&other) noexcept : data_(other.data_), count_(other.count_)
{
    other.data_ = nullptr;
    other.count_ = 0;
}

mh_sample_block &mh_sample_block::operator=(mh_sample_block &&other) noexcept
{
    if (this != &other) {
        free(data_);
        data_ = other.data_;
        count_ = other.count_;
        other.data_ = nullptr;
        other.count_ = 0;
    }
    return *this;
}

bool mh_sample_block::allocate(size_t count)
{
    float *fresh = nullptr;
    if (count) {
        fresh = (float *)calloc(count, sizeof(float));
        if (!fresh)
            return false;
    }
    free(data_);
    data_ = fresh;
    count_ = count;
    return true;
}

bool mh_sample_block::resize(size_t count)
{
    if (!count)
        return allocate(0);
    float *grown = (float *)realloc(data_, count * sizeof(float));
    if (!grown)
        return false;
    if (count > count_)
        memset(grown + count_, 0, (count - count_) * sizeof(float));
    data_ = grown;
    count_ = count;
    return true;
}

bool mh_buffer_size_ok(long frames, long channels)
{
    const unsigned long long limit = mh_physical_memory();
    if (frames < 0 || channels < 1 || channels > MH_BUFFER_MAX_CHANNELS)
        return false;
    return (unsigned long long)frames <= limit / sizeof(float) / (unsigned long long)channels;
}

// ---------------------------------------------------------------- lock bookkeeping

namespace {

long own_locks(const mh_buffer_state &st)
{
    std::thread::id me = std::this_thread::get_id();
    for (const auto &h : st.holders)
        if (h.first == me)
            return h.second;
    return 0;
}

// Takes one lock for the calling thread, first waiting for a mutation in
// progress unless this thread already holds the samples.
void take_lock(mh_buffer_state &st, std::unique_lock<std::mutex> &held)
{
    if (!own_locks(st))
        st.cv.wait(held, [&] { return st.writers_waiting == 0; });
    std::thread::id me = std::this_thread::get_id();
    st.lock_count++;
    for (auto &h : st.holders) {
        if (h.first == me) {
            h.second++;
            return;
        }
    }
    st.holders.emplace_back(me, 1);
}

// Gives back one lock of the calling thread (or, for a lock handed across
// threads, one of another holder).  False when nothing was locked.  Sets
// *queue when a dirty mark was waiting for the last unlock.
bool give_lock(mh_buffer_state &st, bool *queue)
{
    *queue = false;
    if (st.lock_count <= 0)
        return false;
    std::thread::id me = std::this_thread::get_id();
    size_t i = 0;
    while (i < st.holders.size() && st.holders[i].first != me)
        i++;
    if (i == st.holders.size())
        i = 0;
    if (--st.holders[i].second == 0)
        st.holders.erase(st.holders.begin() + (long)i);
    if (--st.lock_count == 0) {
        st.cv.notify_all();
        if (st.notify_on_unlock && !st.modified_queued && st.alive) {
            st.notify_on_unlock = false;
            st.modified_queued = true;
            *queue = true;
        }
    }
    return true;
}

void deliver_modified(const std::weak_ptr<mh_buffer_state> &weak)
{
    mh_buffer_ptr st = weak.lock();
    if (!st)
        return;
    {
        std::lock_guard<std::mutex> guard(st->m);
        st->modified_queued = false;
        if (!st->alive)
            return;
        if (st->lock_count > 0) {
            st->notify_on_unlock = true; // the last unlock queues it again
            return;
        }
        st->notify_on_unlock = false;
    }
    static t_symbol *msg = gensym("buffer_modified");
    mh_buffer_deliver(st->name, msg, st, true);
}

void queue_modified(const mh_buffer_ptr &st)
{
    std::weak_ptr<mh_buffer_state> weak = st;
    mh_queue_push([weak] { deliver_modified(weak); });
}

} // namespace

mh_wait_result mh_buffer_wait_unlocked(mh_buffer_state &st, std::unique_lock<std::mutex> &held)
{
    if (own_locks(st))
        return mh_wait_result::own_lock;
    st.writers_waiting++;
    bool ok = st.cv.wait_for(held, std::chrono::milliseconds(MH_BUFFER_LOCK_WAIT_MS),
                             [&] { return st.lock_count == 0; });
    if (--st.writers_waiting == 0)
        st.cv.notify_all();
    return ok ? mh_wait_result::ok : mh_wait_result::timeout;
}

const float *mh_buffer_lock(mh_buffer_state &st, long *frames, long *channels, double *sr)
{
    std::unique_lock<std::mutex> held(st.m);
    take_lock(st, held);
    *frames = st.frames;
    *channels = st.channels;
    *sr = st.sr;
    return st.samples.data();
}

void mh_buffer_unlock(const mh_buffer_ptr &st)
{
    bool queue = false;
    {
        std::lock_guard<std::mutex> guard(st->m);
        give_lock(*st, &queue);
    }
    if (queue)
        queue_modified(st);
}

void mh_buffer_mark_modified(const mh_buffer_ptr &st)
{
    bool queue = false;
    {
        std::lock_guard<std::mutex> guard(st->m);
        if (!st->alive)
            return;
        if (st->lock_count > 0) {
            st->notify_on_unlock = true;
        } else if (!st->modified_queued) {
            st->modified_queued = true;
            queue = true;
        }
    }
    if (queue)
        queue_modified(st);
}

// ---------------------------------------------------------------- the SDK calls

bool mh_samples_locked_here()
{
    for (const mh_buffer_ptr &st : mh_buffer_all()) {
        std::lock_guard<std::mutex> guard(st->m);
        if (own_locks(*st))
            return true;
    }
    return false;
}

float *buffer_locksamples(t_buffer_obj *buffer_object)
{
    mh_buffer_ptr st = mh_buffer_find(buffer_object);
    if (!st)
        return nullptr;
    bool queue = false;
    {
        std::unique_lock<std::mutex> held(st->m);
        // Nothing to lock in an empty buffer~ (or one being freed): no claim is taken.
        if (!st->alive || !st->samples.size())
            return nullptr;
        take_lock(*st, held);
        if (st->alive && st->samples.size())
            return st->samples.data();
        give_lock(*st, &queue); // emptied or freed while this thread waited
    }
    if (queue)
        queue_modified(st);
    return nullptr;
}

void buffer_unlocksamples(t_buffer_obj *buffer_object)
{
    mh_buffer_ptr st = mh_buffer_find(buffer_object);
    if (!st)
        return;
    bool queue = false, matched;
    {
        std::lock_guard<std::mutex> guard(st->m);
        matched = give_lock(*st, &queue);
    }
    if (queue)
        queue_modified(st);
    if (!matched)
        object_error(buffer_object, "buffer_unlocksamples without a matching buffer_locksamples");
}

t_atom_long buffer_getchannelcount(t_buffer_obj *buffer_object)
{
    mh_buffer_ptr st = mh_buffer_find(buffer_object);
    if (!st)
        return 0;
    std::lock_guard<std::mutex> guard(st->m);
    return st->channels;
}

t_atom_long buffer_getframecount(t_buffer_obj *buffer_object)
{
    mh_buffer_ptr st = mh_buffer_find(buffer_object);
    if (!st)
        return 0;
    std::lock_guard<std::mutex> guard(st->m);
    return st->frames;
}

t_atom_float buffer_getsamplerate(t_buffer_obj *buffer_object)
{
    mh_buffer_ptr st = mh_buffer_find(buffer_object);
    if (!st)
        return 0;
    std::lock_guard<std::mutex> guard(st->m);
    return st->sr;
}

t_max_err buffer_setdirty(t_buffer_obj *buffer_object)
{
    mh_buffer_ptr st = mh_buffer_find(buffer_object);
    if (!st)
        return MAX_ERR_INVALID_PTR;
    mh_buffer_mark_modified(st);
    return MAX_ERR_NONE;
}

// ---------------------------------------------------------------- front ends

namespace maxhost {

bool buffer_info(const std::string &name, long *frames, long *channels, double *sr)
{
    mh_buffer_ptr st = mh_buffer_bound(gensym(name.c_str()));
    if (!st)
        return false;
    std::lock_guard<std::mutex> guard(st->m);
    if (frames)
        *frames = st->frames;
    if (channels)
        *channels = st->channels;
    if (sr)
        *sr = st->sr;
    return true;
}

bool buffer_samples(const std::string &name, std::vector<float> *interleaved)
{
    mh_buffer_ptr st = mh_buffer_bound(gensym(name.c_str()));
    if (!st || !interleaved)
        return false;
    long frames = 0, channels = 0;
    double sr = 0;
    const float *data = mh_buffer_lock(*st, &frames, &channels, &sr);
    interleaved->assign(data, data ? data + (size_t)frames * (size_t)channels : data);
    mh_buffer_unlock(st);
    return true;
}

long buffer_lock_count(const std::string &name)
{
    mh_buffer_ptr st = mh_buffer_bound(gensym(name.c_str()));
    if (!st)
        return 0;
    std::lock_guard<std::mutex> guard(st->m);
    return st->lock_count;
}

} // namespace maxhost
