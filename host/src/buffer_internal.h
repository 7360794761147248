// Private header of the host's buffer~: the state shared by one buffer~
// object, its sample locks and notifications, the table that binds buffer~
// names and references to them, and the sound-file reader and writer.
//
//   buffer.cpp          the buffer~ class: creation, messages, freeing
//   buffer_samples.cpp  sample memory, sample locks, the SDK getters, dirty marks
//   buffer_ref.cpp      the name table, buffer references, notification delivery
//   soundfile.cpp       reading and writing sound files through libsndfile
//
// Locks: each buffer~ state has a mutex guarding its samples, layout, lock
// counts and notification flags; the name table has one mutex of its own.
// No code holds both at once.  Notifications run from the host's event queue
// on the main thread, never while any thread holds the buffer's samples.
#pragma once

#include "internal.h"

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

// Most channels a buffer~ holds (libsndfile's own limit).
constexpr long MH_BUFFER_MAX_CHANNELS = 1024;
// Sample rate of a buffer~ until `sr` or a `read` changes it.
constexpr double MH_BUFFER_DEFAULT_SR = 48000.0;
// How long a resize, read or clear waits for another thread's sample lock.
constexpr long MH_BUFFER_LOCK_WAIT_MS = 5000;

// ---- sample memory (buffer_samples.cpp) ----

// Zeroed float memory owned by one buffer~ or one decoded file.  calloc'd,
// so the untouched part of a large block costs no memory until written.
class mh_sample_block {
public:
    mh_sample_block() = default;
    ~mh_sample_block();
    mh_sample_block(mh_sample_block &&other) noexcept;
    mh_sample_block &operator=(mh_sample_block &&other) noexcept;
    mh_sample_block(const mh_sample_block &) = delete;
    mh_sample_block &operator=(const mh_sample_block &) = delete;

    // Replaces the block with `count` zeros; false (block unchanged) when refused.
    bool allocate(size_t count);
    // Grows or shrinks keeping the first samples, new ones zero; false when refused.
    bool resize(size_t count);
    float *data() { return data_; }
    const float *data() const { return data_; }
    size_t size() const { return count_; }

private:
    float *data_ = nullptr;
    size_t count_ = 0;
};

// True when frames x channels floats are a size this machine could hold
// (no overflow, at most its physical memory).
bool mh_buffer_size_ok(long frames, long channels);

// ---- the state of one buffer~ ----

struct mh_buffer_state {
    std::mutex m;                 // guards everything below except where noted
    std::condition_variable cv;   // signalled when locks are released or a waiting mutation ends
    t_object *object = nullptr;   // the buffer~ (borrowed; not valid once `alive` is false)
    t_symbol *name = nullptr;     // fixed at creation; guarded by nothing
    bool alive = true;            // false once the buffer~ is being freed
    bool bound = false;           // holds the name's s_thing; guarded by the name table's lock
    mh_sample_block samples;      // frames * channels floats, interleaved by frame
    long frames = 0;
    long channels = 1;
    double sr = MH_BUFFER_DEFAULT_SR;
    std::vector<std::pair<std::thread::id, long>> holders; // sample locks held, per thread
    long lock_count = 0;          // sum of `holders`
    long writers_waiting = 0;     // mutations waiting for the locks to go
    bool modified_queued = false; // a buffer_modified event is in the queue
    bool notify_on_unlock = false; // a dirty mark waits for the last unlock
};
using mh_buffer_ptr = std::shared_ptr<mh_buffer_state>;

// ---- sample locks and dirty marks (buffer_samples.cpp) ----

enum class mh_wait_result { ok, own_lock, timeout };

// With st.m held through `held`: waits until no thread holds a sample lock
// (new lockers wait meanwhile).  Refuses at once when the calling thread
// holds one itself, and after MH_BUFFER_LOCK_WAIT_MS.  On `ok` the caller may
// move or change the samples until it releases `held`.
mh_wait_result mh_buffer_wait_unlocked(mh_buffer_state &st, std::unique_lock<std::mutex> &held);
// Takes a sample lock for the host's own reading; returns the samples (null
// when there are none) and always pairs with mh_buffer_unlock.
const float *mh_buffer_lock(mh_buffer_state &st, long *frames, long *channels, double *sr);
void mh_buffer_unlock(const mh_buffer_ptr &st);
// Asks for one buffer_modified notification of the buffer's references:
// queued now, or at the last unlock when samples are locked.  Marks made
// before the notification runs merge into it.  Any thread.
void mh_buffer_mark_modified(const mh_buffer_ptr &st);

// ---- the name table and references (buffer_ref.cpp) ----

// Enters a new buffer~ in the live table and, when no other buffer~ holds
// its name, binds the name (s_thing) and queues "globalsymbol_binding" and a
// buffer_modified for the name's references.  True when bound.  Main thread.
bool mh_buffer_add(const mh_buffer_ptr &st);
// Takes a buffer~ out of the live table; if it held its name, the name passes
// to the next buffer~ of that name (or is cleared) and the references get
// "globalsymbol_unbinding" (then binding for the successor).  Main thread.
void mh_buffer_remove(const mh_buffer_ptr &st);
// The state of a live buffer~ object, or null.  Any thread.
mh_buffer_ptr mh_buffer_find(const void *x);
// The state of the buffer~ that holds a name, or null.  Any thread.
mh_buffer_ptr mh_buffer_bound(t_symbol *name);
// The states of every live buffer~.  Any thread.
std::vector<mh_buffer_ptr> mh_buffer_all();
// Calls the notify method of the owner of every live reference to `name`
// with `msg`; the sender is the buffer~ while it lives, else null.  With
// `only_if_bound`, stops as soon as `sender` no longer holds the name.
// Main thread, from the event queue, with no buffer or table lock held.
void mh_buffer_deliver(t_symbol *name, t_symbol *msg, const mh_buffer_ptr &sender, bool only_if_bound);

// ---- sound files (soundfile.cpp) ----

struct mh_sound {
    mh_sample_block samples; // frames * channels floats, interleaved by frame
    long frames = 0;
    long channels = 1;
    double sr = MH_BUFFER_DEFAULT_SR;
};

// The absolute path for a file name given in a message: absolute, "~/...",
// or relative to the default folder.
std::string mh_sound_resolve(const std::string &name);
// The file a read of `name` opens: as mh_sound_resolve, but a bare file name
// missing from the default folder is looked for in the search path's
// folders in turn, as Max finds a package's media.
std::string mh_sound_locate(const std::string &name);
// Reads a whole sound file; false with a reason in *err when it cannot be
// read completely (then *out is untouched).  Any thread.
bool mh_sound_read(const std::string &path, mh_sound *out, std::string *err);
// Writes interleaved samples to `path` in the format its extension names
// (.wav .aif .aiff .aifc .flac .ogg .oga, as far as the build's codec
// knows it); 32-bit float for WAV and AIFF, 24-bit for FLAC, Vorbis for Ogg.
// The file is replaced only when complete; false with a reason in *err
// otherwise.  Any thread.
bool mh_sound_write(const std::string &path, const float *samples, long frames, long channels, double sr,
                    std::string *err);

// ---- sound-file codecs (soundfile_sndfile.cpp, or soundfile_wav.cpp) ----

// The extension of a file name, in lower case ("" for none; soundfile.cpp).
std::string mh_sound_extension(const std::string &path);

// The codec's format for writing `bytes` of samples to a file of this name
// (by its extension): non-zero, or 0 with the reason in *err.
int mh_sound_format_for(const std::string &path, double bytes, std::string *err);
// Decodes a whole regular, non-empty file; false with a reason in *err.
bool mh_sound_decode(const std::string &path, mh_sound *out, std::string *err);
// Encodes into an open, empty file descriptor, which the caller syncs and
// closes; false with a reason in *err.
bool mh_sound_encode(int fd, int format, const float *samples, long frames, long channels, double sr,
                     std::string *err);

// ---- the class (buffer.cpp) ----

// Registers the buffer~ class in the box name space; later calls do nothing.
// Runs at library load.
void mh_register_buffer_class();
