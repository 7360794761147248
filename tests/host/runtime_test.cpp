// The host's runtime through the SDK interface, with a class defined here:
// symbols and atoms, message dispatch (typed, GIMME, anything, number
// coercion), notifications and "free", critical regions, parallel tasks,
// deferred calls, the console, and the lock and thread rules that debug
// builds check.
#include "maxhost.h"
#include "ext_critical.h"
#include "ext_sysparallel.h"
#include "jpatcher_api.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

struct t_probe {
    t_object ob;
    std::vector<std::string> *log;
    long notified;
    t_symbol *last_msg;
    void *last_sender;
};

t_class *probe_class;

std::string atoms_text(long argc, t_atom *argv)
{
    std::string s;
    for (long i = 0; i < argc; i++)
        s += (i ? " " : "") + std::string(argv[i].a_type == A_SYM ? "" : "") +
             (argv[i].a_type == A_LONG ? std::to_string((long)argv[i].a_w.w_long)
              : argv[i].a_type == A_FLOAT ? std::to_string(argv[i].a_w.w_float)
                                          : std::string(atom_getsym(argv + i)->s_name));
    return s;
}

void *probe_new(t_symbol *, long, t_atom *)
{
    t_probe *x = (t_probe *)object_alloc(probe_class);
    return x;
}

void probe_float(t_probe *x, double f) { x->log->push_back("float " + std::to_string(f)); }
void probe_typed(t_probe *x, t_symbol *a, double b, long c, double d)
{
    x->log->push_back("typed " + std::string(a->s_name) + " " + std::to_string(b) + " " + std::to_string(c) + " " +
                      std::to_string(d));
}
void probe_gimme(t_probe *x, t_symbol *s, long argc, t_atom *argv)
{
    x->log->push_back("gimme " + std::string(s->s_name) + " " + atoms_text(argc, argv));
}
void probe_anything(t_probe *x, t_symbol *s, long argc, t_atom *argv)
{
    x->log->push_back("anything " + std::string(s->s_name) + " " + atoms_text(argc, argv));
}
// Seven arguments, doubles and integers interleaved: each must arrive in its
// own position whatever the calling convention.
void probe_mixed(t_probe *x, double a, long b, double c, t_symbol *d, long e, double f, long g)
{
    char text[160];
    snprintf(text, sizeof text, "mixed %g %ld %g %s %ld %g %ld", a, b, c, d->s_name, e, f, g);
    x->log->push_back(text);
}
void probe_doubles_first(t_probe *x, double a, double b, double c, long d)
{
    x->log->push_back("doubles " + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c) + " " +
                      std::to_string(d));
}
void *probe_answer(t_probe *, void *a, void *b) { return (void *)((t_ptr_int)a + (t_ptr_int)b); }
t_max_err probe_notify(t_probe *x, t_symbol *, t_symbol *msg, void *sender, void *)
{
    x->notified++;
    x->last_msg = msg;
    x->last_sender = sender;
    return 0;
}

class Runtime : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        probe_class = class_new("probe", (method)probe_new, nullptr, sizeof(t_probe), nullptr, A_GIMME, 0);
        class_addmethod(probe_class, (method)probe_float, "float", A_FLOAT, 0);
        class_addmethod(probe_class, (method)probe_typed, "typed", A_SYM, A_FLOAT, A_LONG, A_DEFFLOAT, 0);
        class_addmethod(probe_class, (method)probe_mixed, "mixed", A_FLOAT, A_LONG, A_FLOAT, A_SYM, A_LONG,
                        A_FLOAT, A_LONG, 0);
        class_addmethod(probe_class, (method)probe_doubles_first, "doubles", A_FLOAT, A_FLOAT, A_FLOAT, A_LONG, 0);
        class_addmethod(probe_class, (method)probe_gimme, "gimme", A_GIMME, 0);
        class_addmethod(probe_class, (method)probe_anything, "anything", A_GIMME, 0);
        class_addmethod(probe_class, (method)probe_answer, "answer", A_CANT, 0);
        class_addmethod(probe_class, (method)probe_notify, "notify", A_CANT, 0);
        class_register(CLASS_NOBOX, probe_class);
    }
    t_probe *make()
    {
        t_probe *x = (t_probe *)probe_new(nullptr, 0, nullptr);
        x->log = &log;
        return x;
    }
    std::vector<std::string> log;
};

t_atom sym(const char *s)
{
    t_atom a;
    atom_setsym(&a, gensym(s));
    return a;
}
t_atom num(double f)
{
    t_atom a;
    atom_setfloat(&a, f);
    return a;
}
t_atom lng(long n)
{
    t_atom a;
    atom_setlong(&a, n);
    return a;
}

} // namespace

TEST_F(Runtime, SymbolsAreInternedAndAtomsCoerce)
{
    EXPECT_EQ(gensym("abc"), gensym(std::string("ab").append("c").c_str()));
    EXPECT_NE(gensym("abc"), gensym("abd"));
    EXPECT_EQ(gensym("nothing")->s_thing, nullptr);
    t_atom a = num(2.75), b = lng(-3), c = sym("x");
    EXPECT_EQ(atom_getlong(&a), 2);
    EXPECT_DOUBLE_EQ(atom_getfloat(&b), -3.0);
    EXPECT_EQ(atom_getsym(&a), gensym(""));
    EXPECT_EQ(atom_getsym(&c), gensym("x"));
    EXPECT_EQ(atom_gettype(&c), A_SYM);
    long ac = 0;
    t_atom *av = nullptr;
    char alloc = 0;
    ASSERT_EQ(atom_alloc(&ac, &av, &alloc), MAX_ERR_NONE);
    EXPECT_EQ(ac, 1);
    EXPECT_TRUE(alloc);
    sysmem_freeptr(av);
}

TEST_F(Runtime, MessagesReachTypedGimmeAndAnythingMethods)
{
    t_probe *x = make();
    t_atom args[] = {sym("a"), lng(2), num(3.5)};
    maxhost::send(&x->ob, 0, gensym("typed"), 3, args);
    maxhost::send(&x->ob, 0, gensym("gimme"), 3, args);
    maxhost::send(&x->ob, 0, gensym("whatever"), 1, args);
    t_atom one = lng(4);
    maxhost::send(&x->ob, 0, gensym("int"), 1, &one); // no int method: the float one takes it
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0], "typed a 2.000000 3 0.000000");
    EXPECT_EQ(log[1], "gimme gimme a 2 3.500000");
    EXPECT_EQ(log[2], "anything whatever a");
    EXPECT_EQ(log[3], "float 4.000000");
    EXPECT_EQ((t_ptr_int)object_method(x, gensym("answer"), (void *)40, (void *)2), 42);
    EXPECT_EQ(object_method(x, gensym("no_such_method")), nullptr);
    EXPECT_EQ(object_classname(x), gensym("probe"));
    object_free(x);
}

TEST_F(Runtime, NotificationsReachListenersAndFreeIsAnnounced)
{
    t_probe *source = make(), *client = make();
    EXPECT_EQ(object_attach_byptr(client, source), MAX_ERR_NONE);
    object_notify(source, gensym("hello"), nullptr);
    EXPECT_EQ(client->notified, 1);
    EXPECT_EQ(client->last_msg, gensym("hello"));
    EXPECT_EQ(client->last_sender, source);
    object_free(source);
    EXPECT_EQ(client->notified, 2);
    EXPECT_EQ(client->last_msg, gensym("free"));
    object_detach_byptr(client, source); // harmless after the free
    t_symbol *ns = nullptr, *name = nullptr;
    EXPECT_NE(object_findregisteredbyptr(&ns, &name, source), MAX_ERR_NONE);
    object_free(client);
}

TEST_F(Runtime, CriticalRegionIsReentrantForItsHolder)
{
    t_critical c = nullptr;
    critical_new(&c);
    ASSERT_NE(c, nullptr);
    critical_enter(c);
    critical_enter(c); // the holder may enter again
    std::atomic<bool> other_got_in(false);
    std::thread other([&] {
        critical_enter(c);
        other_got_in = true;
        critical_exit(c);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(other_got_in);
    critical_exit(c);
    critical_exit(c);
    other.join();
    EXPECT_TRUE(other_got_in);
    critical_free(c);
}

TEST_F(Runtime, DebugBuildsStopReportsFromInsideACriticalRegionAndUiCallsOffTheMainThread)
{
#ifdef NDEBUG
    GTEST_SKIP() << "the host checks these rules in debug builds";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    t_probe *x = make();
    void *out = outlet_new(x, nullptr);
    t_critical c = nullptr;
    critical_new(&c);
    EXPECT_DEATH(
        {
            critical_enter(c);
            outlet_float(out, 1);
        },
        "an outlet call while the calling thread holds a critical region");
    t_probe *listener = make();
    object_attach_byptr(listener, x);
    EXPECT_DEATH(
        {
            critical_enter(c);
            object_notify(x, gensym("changed"), nullptr);
        },
        "object_notify while");
    EXPECT_DEATH(
        {
            critical_enter(nullptr);
            defer_low(x, (method)probe_float, nullptr, 0, nullptr);
        },
        "defer_low while");
    EXPECT_DEATH(std::thread([] { jmouse_setcursor(nullptr, nullptr, JMOUSE_CURSOR_ARROW); }).join(),
                 "jmouse_setcursor called off the main thread");
    critical_enter(c); // entered and left: the calls are fine again
    critical_exit(c);
    outlet_float(out, 1);
    object_notify(x, gensym("changed"), nullptr);
    EXPECT_EQ(listener->notified, 1);
    critical_free(c);
    object_detach_byptr(listener, x);
    object_free(listener);
    object_free(x);
#endif
}

namespace {
struct slice {
    long id;
    std::atomic<int> *calls;
    std::atomic<int> *running;
    std::atomic<int> *most_at_once;
    std::thread::id thread;
};
void slice_worker(t_sysparallel_worker *w)
{
    slice *s = (slice *)w->data;
    s->id = w->id;
    s->thread = std::this_thread::get_id();
    (*s->calls)++;
    int now = ++(*s->running);
    int seen = s->most_at_once->load();
    while (now > seen && !s->most_at_once->compare_exchange_weak(seen, now)) {
    }
    // Give a second worker up to two seconds to run at the same time.
    for (int i = 0; i < 400 && s->most_at_once->load() < 2; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    (*s->running)--;
}
} // namespace

TEST_F(Runtime, ParallelTaskCallsEachWorkerOnceWithItsOwnRecord)
{
    EXPECT_GE(sysparallel_processorcount(), 1);
    t_sysparallel_task *task = sysparallel_task_new(nullptr, (method)slice_worker, 0);
    ASSERT_NE(task, nullptr);
    std::atomic<int> calls(0), running(0), most(0);
    const long n = 4;
    slice slices[n];
    sysparallel_task_workercount(task, n);
    for (long i = 0; i < n; i++) {
        slices[i] = {-1, &calls, &running, &most, {}};
        task->workers[i]->data = &slices[i];
    }
    sysparallel_task_execute(task);
    EXPECT_EQ(calls.load(), n); // every worker finished before execute returned
    EXPECT_EQ(running.load(), 0);
    for (long i = 0; i < n; i++)
        EXPECT_EQ(slices[i].id, i);
    EXPECT_GE(most.load(), 2); // workers ran at the same time, on the pool
    maxhost::set_serial_workers(true);
    calls = 0;
    most = 2; // serial workers need not wait for each other
    sysparallel_task_execute(task);
    EXPECT_EQ(calls.load(), n);
    for (long i = 1; i < n; i++)
        EXPECT_EQ(slices[i].thread, slices[0].thread);
    maxhost::set_serial_workers(false);
    object_free(task);
}

namespace {
std::vector<std::string> deferred_log;
void deferred(t_probe *x, t_symbol *s, short argc, t_atom *argv)
{
    (void)x;
    deferred_log.push_back(std::string(s->s_name) + " " + atoms_text(argc, argv));
}
} // namespace

TEST_F(Runtime, DeferredCallsRunOnPumpWithCopiedArgumentsUnlessTheObjectIsGone)
{
    t_probe *x = make(), *gone = make();
    maxhost::pump();
    deferred_log.clear();
    t_atom args[] = {lng(1), sym("two")};
    defer_low(x, (method)deferred, gensym("first"), 2, args);
    defer_low(gone, (method)deferred, gensym("dropped"), 0, nullptr);
    args[0] = lng(99); // the queue holds its own copy
    object_free(gone);
    EXPECT_TRUE(deferred_log.empty());
    maxhost::pump();
    ASSERT_EQ(deferred_log.size(), 1u);
    EXPECT_EQ(deferred_log[0], "first 1 two");
    EXPECT_TRUE(maxhost::queue_empty());
    object_free(x);
}

TEST_F(Runtime, ConsoleKeepsClassLevelAndText)
{
    t_probe *x = make();
    maxhost::console_clear();
    post("plain %d", 1);
    object_error((t_object *)x, "bad %s", "thing");
    error("global %s", "error"); // the host's error, not glibc's
    auto lines = maxhost::console_lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].level, "post");
    EXPECT_EQ(lines[0].classname, "");
    EXPECT_EQ(lines[0].text, "plain 1");
    EXPECT_EQ(lines[1].level, "error");
    EXPECT_EQ(lines[1].classname, "probe");
    EXPECT_EQ(lines[1].text, "bad thing");
    EXPECT_EQ(lines[2].text, "global error");
    object_free(x);
}

TEST_F(Runtime, TypedArgumentsArriveInTheirPositionsWhateverTheMix)
{
    t_probe *x = make();
    t_atom mixed[] = {num(0.25), lng(2), num(-3.5), sym("d"), lng(5), num(6.75), lng(-7)};
    maxhost::send(&x->ob, 0, gensym("mixed"), 7, mixed);
    t_atom doubles[] = {lng(1), num(2.5), num(3.25), num(4.9)}; // coerced to the registered types
    maxhost::send(&x->ob, 0, gensym("doubles"), 4, doubles);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "mixed 0.25 2 -3.5 d 5 6.75 -7");
    EXPECT_EQ(log[1], "doubles 1.000000 2.500000 3.250000 4");
    object_free(x);
}
