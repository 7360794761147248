// The buffer~ class of the stand-in host: named sample memory that plug-ins
// reach through buffer references and the SDK's buffer calls.
//
//   buffer~ NAME [FILE]                      reads FILE at creation
//   buffer~ NAME [DURATION_MS [CHANNELS]]    zeros; no duration: 0 frames
//
// A new buffer~ has one channel at 48000 Hz until `sr` or a `read` says
// otherwise.  Its name is bound through the symbol's s_thing; a second
// buffer~ of a name that is taken posts an error and works unbound, taking
// the name over when the first goes away.  Without a name it gets a unique one.
//
// Messages: read FILE (also "replace": takes the file's frames, channels and
// rate), write FILE (format by extension), sizeinsamps FRAMES [CHANNELS] and
// size MS [CHANNELS] (keep the samples that fit, zero the rest), sr RATE and
// clear.  Relative file names are taken against the default folder.  A
// message that fails posts one error and leaves the buffer~ as it was.
// Mutations wait for sample locks held on other threads, and are refused
// with an error when the calling thread holds one (waiting would never end).
//
// buffer~ objects are created, sent messages and freed on the main thread.
#include "buffer_internal.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <mutex>

namespace {

t_class *buffer_class = nullptr;

// Buffers freed while a sample lock was still held: their memory is kept
// for the lock holder, for the rest of the process.
std::mutex orphan_lock;
std::vector<mh_buffer_ptr> *orphans = new std::vector<mh_buffer_ptr>;

mh_buffer_ptr state_of(t_object *x)
{
    mh_buffer_ptr st = mh_buffer_find(x);
    if (!st)
        object_error(x, "not a live buffer~");
    return st;
}

void post_wait_error(t_object *x, mh_wait_result r, const char *what)
{
    if (r == mh_wait_result::own_lock)
        object_error(x, "%s refused: the samples are locked by the same thread", what);
    else if (r == mh_wait_result::timeout)
        object_error(x, "%s refused: the samples stayed locked for %ld ms", what, MH_BUFFER_LOCK_WAIT_MS);
}

// A file name argument, or null after posting an error.
const char *file_argument(t_object *x, const char *what, long argc, t_atom *argv)
{
    if (argc < 1 || argv[0].a_type != A_SYM || !argv[0].a_w.w_sym->s_name[0]) {
        object_error(x, "%s needs a file name", what);
        return nullptr;
    }
    return argv[0].a_w.w_sym->s_name;
}

// A frame count from a message: negative and NaN become 0, huge stays huge.
long frames_argument(double f)
{
    if (!(f > 0))
        return 0;
    return f >= 9.0e18 ? LONG_MAX : (long)std::llround(f);
}

long channels_argument(const t_atom *a)
{
    t_atom_long c = atom_getlong(a);
    return c < 1 ? 1 : c > MH_BUFFER_MAX_CHANNELS ? MH_BUFFER_MAX_CHANNELS : (long)c;
}

// Copies the frames and channels the old and new layouts share.
void copy_overlap(const float *from, long from_frames, long from_channels, float *to, long to_frames,
                  long to_channels)
{
    long frames = std::min(from_frames, to_frames), channels = std::min(from_channels, to_channels);
    if (from_channels == to_channels) {
        if (frames > 0)
            memcpy(to, from, (size_t)frames * (size_t)channels * sizeof(float));
        return;
    }
    for (long f = 0; f < frames; f++)
        for (long c = 0; c < channels; c++)
            to[(size_t)f * to_channels + c] = from[(size_t)f * from_channels + c];
}

// Gives the buffer~ a new size, keeping what fits.  Posts an error and keeps
// everything as it was when the memory is refused or the samples stay locked.
void buffer_resize(t_object *x, const mh_buffer_ptr &st, long frames, long channels, const char *what)
{
    {
        std::lock_guard<std::mutex> guard(st->m);
        if (frames == st->frames && channels == st->channels)
            return;
    }
    mh_sample_block fresh;
    if (!mh_buffer_size_ok(frames, channels) || !fresh.allocate((size_t)frames * (size_t)channels)) {
        object_error(x, "%s: cannot allocate %ld frames of %ld channels", what, frames, channels);
        return;
    }
    mh_wait_result r;
    {
        std::unique_lock<std::mutex> held(st->m);
        r = mh_buffer_wait_unlocked(*st, held);
        if (r == mh_wait_result::ok) {
            copy_overlap(st->samples.data(), st->frames, st->channels, fresh.data(), frames, channels);
            std::swap(st->samples, fresh);
            st->frames = frames;
            st->channels = channels;
        }
    }
    // `fresh` now holds the old samples and is freed here, outside the lock.
    if (r != mh_wait_result::ok) {
        post_wait_error(x, r, what);
        return;
    }
    mh_buffer_mark_modified(st);
}

// Reads a file into the buffer~, all or nothing.
void buffer_load(t_object *x, const mh_buffer_ptr &st, const char *file, const char *what)
{
    mh_sound sound;
    std::string err;
    if (!mh_sound_read(mh_sound_locate(file), &sound, &err)) {
        object_error(x, "%s %s: %s", what, file, err.c_str());
        return;
    }
    mh_wait_result r;
    {
        std::unique_lock<std::mutex> held(st->m);
        r = mh_buffer_wait_unlocked(*st, held);
        if (r == mh_wait_result::ok) {
            std::swap(st->samples, sound.samples);
            st->frames = sound.frames;
            st->channels = sound.channels;
            st->sr = sound.sr;
        }
    }
    if (r != mh_wait_result::ok) {
        post_wait_error(x, r, what);
        return;
    }
    mh_buffer_mark_modified(st);
}

// ---------------------------------------------------------------- messages

void buffer_read(t_object *x, t_symbol *s, long argc, t_atom *argv)
{
    mh_buffer_ptr st = state_of(x);
    const char *file = st ? file_argument(x, s->s_name, argc, argv) : nullptr;
    if (file)
        buffer_load(x, st, file, s->s_name);
}

void buffer_write(t_object *x, t_symbol *s, long argc, t_atom *argv)
{
    mh_buffer_ptr st = state_of(x);
    const char *file = st ? file_argument(x, s->s_name, argc, argv) : nullptr;
    if (!file)
        return;
    long frames = 0, channels = 1;
    double sr = MH_BUFFER_DEFAULT_SR;
    std::string err;
    const float *samples = mh_buffer_lock(*st, &frames, &channels, &sr);
    bool ok = mh_sound_write(mh_sound_resolve(file), samples, frames, channels, sr, &err);
    mh_buffer_unlock(st);
    if (!ok)
        object_error(x, "write %s: %s", file, err.c_str());
}

void buffer_sizeinsamps(t_object *x, t_symbol *s, long argc, t_atom *argv)
{
    mh_buffer_ptr st = state_of(x);
    if (!st)
        return;
    if (argc < 1) {
        object_error(x, "%s needs a frame count", s->s_name);
        return;
    }
    long channels;
    {
        std::lock_guard<std::mutex> guard(st->m);
        channels = st->channels;
    }
    if (argc >= 2)
        channels = channels_argument(argv + 1);
    buffer_resize(x, st, frames_argument(atom_getfloat(argv)), channels, s->s_name);
}

void buffer_size(t_object *x, t_symbol *s, long argc, t_atom *argv)
{
    mh_buffer_ptr st = state_of(x);
    if (!st)
        return;
    if (argc < 1) {
        object_error(x, "%s needs a duration in milliseconds", s->s_name);
        return;
    }
    long channels;
    double sr;
    {
        std::lock_guard<std::mutex> guard(st->m);
        channels = st->channels;
        sr = st->sr;
    }
    if (argc >= 2)
        channels = channels_argument(argv + 1);
    buffer_resize(x, st, frames_argument(atom_getfloat(argv) * sr / 1000.0), channels, s->s_name);
}

void buffer_sr(t_object *x, t_symbol *s, long argc, t_atom *argv)
{
    mh_buffer_ptr st = state_of(x);
    if (!st)
        return;
    double rate = argc >= 1 ? atom_getfloat(argv) : 0;
    if (!(rate > 0) || !std::isfinite(rate)) {
        object_error(x, "%s: the sample rate must be a number above 0", s->s_name);
        return;
    }
    {
        std::lock_guard<std::mutex> guard(st->m);
        if (st->sr == rate)
            return;
        st->sr = rate;
    }
    mh_buffer_mark_modified(st);
}

void buffer_clear(t_object *x)
{
    mh_buffer_ptr st = state_of(x);
    if (!st)
        return;
    mh_wait_result r;
    {
        std::unique_lock<std::mutex> held(st->m);
        if (!st->samples.size())
            return;
        r = mh_buffer_wait_unlocked(*st, held);
        if (r == mh_wait_result::ok)
            memset(st->samples.data(), 0, st->samples.size() * sizeof(float));
    }
    if (r != mh_wait_result::ok) {
        post_wait_error(x, r, "clear");
        return;
    }
    mh_buffer_mark_modified(st);
}

// ---------------------------------------------------------------- creation and freeing

t_symbol *unique_name()
{
    static long counter = 0;
    for (;;) {
        t_symbol *name = gensym(("u" + std::to_string(100000 + ++counter)).c_str());
        if (!mh_buffer_bound(name))
            return name;
    }
}

t_symbol *creation_name(t_object *x, long argc, t_atom *argv)
{
    if (argc >= 1 && argv[0].a_type == A_SYM && argv[0].a_w.w_sym->s_name[0])
        return argv[0].a_w.w_sym;
    if (argc >= 1)
        object_error(x, "the first argument must be a name; using a unique name instead");
    return unique_name();
}

void *buffer_new(t_symbol *s, long argc, t_atom *argv)
{
    (void)s;
    t_object *x = (t_object *)object_alloc(buffer_class);
    if (!x)
        return nullptr;
    mh_buffer_ptr st = std::make_shared<mh_buffer_state>();
    st->object = x;
    st->name = creation_name(x, argc, argv);
    const char *file = argc >= 2 && argv[1].a_type == A_SYM ? argv[1].a_w.w_sym->s_name : nullptr;
    if (argc >= 2 && !file) {
        long frames = frames_argument(atom_getfloat(argv + 1) * MH_BUFFER_DEFAULT_SR / 1000.0);
        long channels = argc >= 3 ? channels_argument(argv + 2) : 1;
        if (mh_buffer_size_ok(frames, channels) && st->samples.allocate((size_t)frames * (size_t)channels)) {
            st->frames = frames;
            st->channels = channels;
        } else {
            object_error(x, "cannot allocate %ld frames of %ld channels", frames, channels);
        }
    }
    mh_register(x, gensym("buffer~"), st->name);
    if (!mh_buffer_add(st))
        object_error(x, "%s: another buffer~ has this name; this one takes it when that one goes away",
                     st->name->s_name);
    if (file && *file)
        buffer_load(x, st, file, "read");
    return x;
}

void buffer_free(t_object *x)
{
    mh_buffer_ptr st = mh_buffer_find(x);
    if (!st)
        return;
    mh_wait_result r;
    {
        std::unique_lock<std::mutex> held(st->m);
        r = mh_buffer_wait_unlocked(*st, held);
        st->alive = false; // from here on, locks and dirty marks are refused
    }
    mh_buffer_remove(st);
    if (r != mh_wait_result::ok) {
        object_error(x, "freed while its samples were still locked; their memory is kept for the lock holder");
        std::lock_guard<std::mutex> guard(orphan_lock);
        orphans->push_back(st);
    }
}

// Registers the class when the host library is loaded.
struct mh_buffer_registrar {
    mh_buffer_registrar() { mh_register_buffer_class(); }
} registrar;

} // namespace

void mh_register_buffer_class()
{
    static std::once_flag once;
    std::call_once(once, [] {
        t_class *c = class_new("buffer~", (method)buffer_new, (method)buffer_free, sizeof(t_object), nullptr,
                               A_GIMME, 0);
        class_addmethod(c, (method)buffer_read, "read", A_GIMME, 0);
        class_addmethod(c, (method)buffer_read, "replace", A_GIMME, 0);
        class_addmethod(c, (method)buffer_write, "write", A_GIMME, 0);
        class_addmethod(c, (method)buffer_sizeinsamps, "sizeinsamps", A_GIMME, 0);
        class_addmethod(c, (method)buffer_size, "size", A_GIMME, 0);
        class_addmethod(c, (method)buffer_sr, "sr", A_GIMME, 0);
        class_addmethod(c, (method)buffer_clear, "clear", 0);
        class_register(CLASS_BOX, c);
        buffer_class = c;
    });
}
