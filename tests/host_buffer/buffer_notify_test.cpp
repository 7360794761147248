// Buffer references and notifications, and sample locks, through the SDK
// calls a plug-in makes.  The referring object is a small class defined
// here that logs what its notify method receives.
#include "buffer_test_util.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

struct Event {
    std::string msg;
    void *sender;
    long locks; // sample locks held on the buffer when the event arrived
};

struct t_watch {
    t_object ob;
    t_buffer_ref *ref;
    std::vector<Event> *events;
    t_watch *victim; // freed by this watcher's next notification
};

t_class *watch_class;

t_max_err watch_notify(t_watch *x, t_symbol *s, t_symbol *msg, void *sender, void *data)
{
    x->events->push_back({msg->s_name, sender, maxhost::buffer_lock_count(s->s_name)});
    if (x->victim) {
        object_free(x->victim);
        x->victim = nullptr;
    }
    return buffer_ref_notify(x->ref, s, msg, sender, data);
}

void watch_free(t_watch *x) { object_free(x->ref); }

class BufferNotifyTest : public BufferTest {
protected:
    static void SetUpTestSuite()
    {
        watch_class = class_new("bufwatch", nullptr, (method)watch_free, sizeof(t_watch), nullptr, 0);
        class_addmethod(watch_class, (method)watch_notify, "notify", A_CANT, 0);
        class_register(CLASS_NOBOX, watch_class);
    }
    t_watch *watch(const char *name, std::vector<Event> *events)
    {
        t_watch *x = (t_watch *)object_alloc(watch_class);
        x->events = events;
        x->ref = buffer_ref_new(&x->ob, gensym(name));
        return x;
    }
    static std::vector<std::string> msgs(const std::vector<Event> &events)
    {
        std::vector<std::string> out;
        for (const auto &e : events)
            out.push_back(e.msg);
        return out;
    }
};

using Msgs = std::vector<std::string>;

} // namespace

TEST_F(BufferNotifyTest, ReferenceFollowsItsNameThroughTheQueue)
{
    std::vector<Event> ev;
    t_watch *w = watch("late", &ev);
    EXPECT_EQ(buffer_ref_exists(w->ref), 0);
    EXPECT_EQ(buffer_ref_getobject(w->ref), nullptr);

    t_object *box = make("late 10");
    t_object *b = maxhost::find_buffer("late");
    EXPECT_EQ(buffer_ref_exists(w->ref), 1); // at once
    EXPECT_EQ(buffer_ref_getobject(w->ref), b);
    EXPECT_TRUE(ev.empty());                 // told only from the queue
    maxhost::pump();
    EXPECT_EQ(msgs(ev), (Msgs{"globalsymbol_binding", "buffer_modified"}));
    EXPECT_EQ(ev[0].sender, b);
    EXPECT_EQ(ev[1].sender, b);

    ev.clear();
    buffer_setdirty(b);
    send(box, "clear");
    buffer_setdirty(b); // three marks, one notification
    EXPECT_TRUE(ev.empty());
    maxhost::pump();
    EXPECT_EQ(msgs(ev), (Msgs{"buffer_modified"}));

    ev.clear();
    maxhost::box_free(box);
    EXPECT_EQ(buffer_ref_exists(w->ref), 0);
    maxhost::pump();
    EXPECT_EQ(msgs(ev), (Msgs{"globalsymbol_unbinding"}));
    EXPECT_EQ(ev[0].sender, nullptr);

    // Renamed, the reference follows the other name.
    make("other 1");
    buffer_ref_set(w->ref, gensym("other"));
    EXPECT_EQ(buffer_ref_getobject(w->ref), maxhost::find_buffer("other"));
    object_free(w);
    maxhost::pump();
}

TEST_F(BufferNotifyTest, SecondBufferOfANameTakesOverWhenTheFirstGoes)
{
    std::vector<Event> ev;
    t_watch *w = watch("dup", &ev);
    t_object *first = make("dup 1");
    make("dup 2");
    EXPECT_EQ(errors(), 1);
    expect_layout("dup", 48, 1, 48000);
    maxhost::pump();
    ev.clear();
    maxhost::box_free(first);
    expect_layout("dup", 96, 1, 48000);
    maxhost::pump();
    EXPECT_EQ(msgs(ev), (Msgs{"globalsymbol_unbinding", "globalsymbol_binding", "buffer_modified"}));
    EXPECT_EQ(ev[2].sender, maxhost::find_buffer("dup"));
    object_free(w);
}

TEST_F(BufferNotifyTest, NothingIsDeliveredWhileSamplesAreLocked)
{
    std::vector<Event> ev;
    t_watch *w = watch("held", &ev);
    make("held 1 2");
    maxhost::pump();
    ev.clear();
    t_object *b = maxhost::find_buffer("held");

    float *p = buffer_locksamples(b);
    ASSERT_NE(p, nullptr);
    buffer_setdirty(b);
    maxhost::pump();
    EXPECT_TRUE(ev.empty());
    buffer_unlocksamples(b);
    maxhost::pump();
    ASSERT_EQ(msgs(ev), (Msgs{"buffer_modified"}));
    EXPECT_EQ(ev[0].locks, 0);

    // A lock held on another thread holds back a queued notification too.
    ev.clear();
    buffer_setdirty(b);
    std::mutex m;
    std::condition_variable cv;
    int stage = 0;
    std::thread t([&] {
        float *q = buffer_locksamples(b);
        std::unique_lock<std::mutex> l(m);
        stage = 1;
        cv.notify_all();
        cv.wait(l, [&] { return stage == 2; });
        buffer_unlocksamples(b);
        (void)q;
    });
    {
        std::unique_lock<std::mutex> l(m);
        cv.wait(l, [&] { return stage == 1; });
    }
    maxhost::pump();
    EXPECT_TRUE(ev.empty());
    {
        std::lock_guard<std::mutex> l(m);
        stage = 2;
    }
    cv.notify_all();
    t.join();
    maxhost::pump();
    ASSERT_EQ(msgs(ev), (Msgs{"buffer_modified"}));
    EXPECT_EQ(ev[0].locks, 0);
    object_free(w);
}

TEST_F(BufferNotifyTest, FreedReferrersAreNeverCalled)
{
    std::vector<Event> ev_a, ev_b, ev_c;
    t_watch *a = watch("gone", &ev_a), *b = watch("gone", &ev_b), *c = watch("gone", &ev_c);
    make("gone 1");
    object_free(b); // before the queued binding runs
    a->victim = c;  // a frees c while being told
    maxhost::pump();
    EXPECT_EQ(msgs(ev_a), (Msgs{"globalsymbol_binding", "buffer_modified"}));
    EXPECT_TRUE(ev_b.empty());
    EXPECT_TRUE(ev_c.empty());
    object_free(a);
}

TEST_F(BufferNotifyTest, LocksPairAndMutationsRespectThem)
{
    t_object *box = make("locks 1 2");
    t_object *b = maxhost::find_buffer("locks");
    float *p = buffer_locksamples(b), *q = buffer_locksamples(b); // nested on one thread
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p, q);
    EXPECT_EQ(maxhost::buffer_lock_count("locks"), 2);
    // This thread holds the samples: mutations are refused, not deadlocked.
    send(box, "sizeinsamps", {num_atom(1000)});
    send(box, "clear");
    EXPECT_EQ(errors(), 2);
    expect_layout("locks", 48, 2, 48000);
    buffer_unlocksamples(b);
    buffer_unlocksamples(b);
    EXPECT_EQ(maxhost::buffer_lock_count("locks"), 0);
    buffer_unlocksamples(b); // unmatched
    EXPECT_EQ(errors(), 3);
    EXPECT_EQ(maxhost::buffer_lock_count("locks"), 0);
    send(box, "sizeinsamps", {num_atom(1000)});
    expect_layout("locks", 1000, 2, 48000);
    EXPECT_EQ(errors(), 3);
}

TEST_F(BufferNotifyTest, ResizeWaitsForAnotherThreadsLock)
{
    t_object *box = make("shared 0 1");
    send(box, "sizeinsamps", {num_atom(8)});
    t_object *b = maxhost::find_buffer("shared");
    std::atomic<int> stage(0);
    std::atomic<bool> moved(false);
    std::thread t([&] {
        float *p = buffer_locksamples(b);
        p[0] = 42.f;
        stage = 1;
        while (stage != 2)
            std::this_thread::yield();
        // The main thread is resizing now; give it time to misbehave.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        moved = buffer_getframecount(b) != 8;
        p[7] = 7.f; // still this thread's memory
        buffer_unlocksamples(b);
    });
    while (stage != 1)
        std::this_thread::yield();
    stage = 2;
    send(box, "sizeinsamps", {num_atom(16)}); // waits for the unlock
    t.join();
    EXPECT_FALSE(moved);
    std::vector<float> s = samples("shared");
    ASSERT_EQ(s.size(), 16u);
    EXPECT_EQ(s[0], 42.f);
    EXPECT_EQ(s[7], 7.f);
    EXPECT_EQ(errors(), 0);
}
