// The fuzz targets' shared host set-up and invariants (see fuzz_host.h).
#include "fuzz_host.h"

#include "specgram.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace fuzz {

namespace {

[[noreturn]] void broken(const char *what, double a = 0, double b = 0)
{
    fprintf(stderr, "invariant broken: %s (%g, %g)\n", what, a, b);
    abort();
}

float voice(long i, long c)
{
    const double t = i / 48000.0, f0 = (c ? 210.0 : 140.0) * (1 + 0.02 * std::sin(2 * M_PI * 5 * t));
    double s = 0;
    for (int h = 1; h <= 12; h++)
        s += 0.3 / h * std::sin(2 * M_PI * f0 * h * t + h);
    return (float)s;
}

t_object *box(t_object *patcher, const char *id, const char *cls, const char *text, const char *var,
              std::vector<std::pair<std::string, maxhost::Atoms>> attrs = {})
{
    maxhost::BoxSpec spec;
    spec.maxclass = cls;
    spec.text = text;
    spec.id = id;
    spec.varname = var;
    spec.rect = {0, 0, 300, 120};
    spec.attrs = std::move(attrs);
    return maxhost::box_new(patcher, spec);
}

} // namespace

const std::string &setup()
{
    static std::string folder;
    if (!folder.empty())
        return folder;
    char tmpl[] = "/tmp/spectrogram-fuzz-XXXXXX";
    if (!mkdtemp(tmpl))
        abort();
    folder = tmpl;
    atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    });
    maxhost::set_console_sink([](const maxhost::ConsoleLine &) {});
    std::string err;
    if (!maxhost::load_external("spectrogram~", &err) || !maxhost::load_external("gradix", &err)) {
        fprintf(stderr, "fuzz: %s\n", err.c_str());
        abort();
    }
    maxhost::confine_files(folder);
    setup_outlet_check();
    return folder;
}

void setup_outlet_check()
{
    maxhost::set_outlet_hook([](t_object *, long, t_symbol *, long argc, const t_atom *argv) {
        for (long i = 0; i < argc; i++)
            if (atom_gettype(argv + i) == A_FLOAT && std::isnan(atom_getfloat(argv + i)))
                broken("NaN on an outlet");
    });
}

t_object *linked_patch()
{
    t_object *patcher = maxhost::patcher_new(setup());
    box(patcher, "obj-1", "newobj", "buffer~ snd 1000 2", "buf");
    t_atom name, one, two;
    atom_setsym(&name, gensym("snd"));
    atom_setlong(&one, 1);
    atom_setlong(&two, 2);
    t_object *left = box(patcher, "obj-2", "spectrogram~", "", "left", {{"buffer_name", {name}}, {"buffer_chan", {one}}});
    t_object *right = box(patcher, "obj-3", "spectrogram~", "", "right", {{"buffer_name", {name}}, {"buffer_chan", {two}}});
    t_object *bar = box(patcher, "obj-4", "gradix", "", "bar");
    maxhost::connect(patcher, left, 8, right, 8);
    maxhost::connect(patcher, right, 8, left, 8);
    maxhost::connect(patcher, bar, 0, left, 0);
    reset_patch(patcher);
    return patcher;
}

namespace {

// The sound every input starts from, interleaved.
struct Recording
{
    std::vector<float> samples;
    long frames = 0, channels = 0;
    long sr = 48000;
};

// Reads the sound file named by FUZZ_RECORDING (copied into the scratch
// folder, the only place the confined host reads from) through buffer~
// `buf`; false when there is none or it cannot be read.
bool read_recording(t_object *buf, Recording *r)
{
    const char *path = getenv("FUZZ_RECORDING");
    if (!path || !*path)
        return false;
    std::error_code ec;
    const std::filesystem::path copy = std::filesystem::path(setup()) / "recording";
    if (!std::filesystem::copy_file(path, copy, std::filesystem::copy_options::overwrite_existing, ec))
        return false;
    t_atom name;
    atom_setsym(&name, gensym(copy.c_str()));
    maxhost::send(buf, 0, gensym("read"), 1, &name);
    maxhost::pump();
    t_object *b = maxhost::find_buffer("snd");
    float *p = buffer_locksamples(b);
    if (!p)
        return false;
    r->frames = (long)buffer_getframecount(b);
    r->channels = (long)buffer_getchannelcount(b);
    r->sr = (long)buffer_getsamplerate(b);
    r->samples.assign(p, p + r->frames * r->channels);
    buffer_unlocksamples(b);
    return r->frames > 0;
}

const Recording &recording(t_object *buf)
{
    static Recording r;
    static bool done = false;
    if (!done) {
        done = true;
        if (read_recording(buf, &r)) {
            fprintf(stderr, "fuzz: the recording is %s (%ld frames, %ld channels, %ld Hz)\n",
                    getenv("FUZZ_RECORDING"), r.frames, r.channels, r.sr);
        } else {
            r = Recording();
            r.frames = 48000;
            r.channels = 2;
            for (long i = 0; i < r.frames; i++)
                for (long c = 0; c < r.channels; c++)
                    r.samples.push_back(voice(i, c));
        }
    }
    return r;
}

} // namespace

void reset_patch(t_object *patcher)
{
    t_object *buf = maxhost::find_box(patcher, "buf");
    const Recording &rec = recording(buf);
    t_atom size[2];
    atom_setlong(size, rec.frames);
    atom_setlong(size + 1, rec.channels);
    maxhost::send(buf, 0, gensym("sizeinsamps"), 2, size);
    t_atom sr;
    atom_setlong(&sr, rec.sr);
    maxhost::send(buf, 0, gensym("sr"), 1, &sr);
    t_object *b = maxhost::find_buffer("snd");
    if (float *p = buffer_locksamples(b)) {
        const long n = (long)buffer_getframecount(b) * (long)buffer_getchannelcount(b);
        for (long i = 0; i < n && i < (long)rec.samples.size(); i++)
            p[i] = rec.samples[(size_t)i];
        buffer_setdirty(b);
        buffer_unlocksamples(b);
    }
    maxhost::pump();
}

void check_invariants(t_object *patcher)
{
    for (t_object *b : maxhost::patcher_boxes(patcher)) {
        if (maxhost::box_classname(b) != "spectrogram~")
            continue;
        const t_specgram *x = (const t_specgram *)b;
        const double len = x->buffer_length_ms, tol = 1e-9 * (1 + len);
        if (!(x->selection_start <= x->selection_end))
            broken("selection start <= end", x->selection_start, x->selection_end);
        if (!(x->selection_low <= x->selection_high))
            broken("selection low <= high", x->selection_low, x->selection_high);
        if (!(x->display_start >= 0 && x->display_length >= 0 && x->display_start + x->display_length <= len + tol))
            broken("display inside the buffer", x->display_start, x->display_length);
        if (!(x->selection_start >= 0 && x->selection_end <= len + tol))
            broken("selection inside the buffer", x->selection_start, x->selection_end);
        if (!(x->display_low >= 0 && x->display_low <= x->display_high))
            broken("display band", x->display_low, x->display_high);
    }
    if (t_object *b = maxhost::find_buffer("snd")) {
        const long n = (long)buffer_getframecount(b) * (long)buffer_getchannelcount(b);
        if (const float *p = buffer_locksamples(b)) {
            for (long i = 0; i < n; i++)
                if (!std::isfinite(p[i])) {
                    buffer_unlocksamples(b);
                    broken("buffer samples are numbers", (double)i, p[i]);
                }
            buffer_unlocksamples(b);
        }
    }
}

} // namespace fuzz

namespace patchhost {

// The editor's session code asks whether a signal asked the server to stop;
// no server runs here.
bool serve_stop_requested() { return false; }

} // namespace patchhost
