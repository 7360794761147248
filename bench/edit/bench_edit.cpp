// bench-edit: spectral edits of a stereo 48 kHz buffer through spectrogram~
// in the stand-in host.
//
//   (a) a -6 dB gain on a 1-second x 1 kHz rectangle of one channel, from
//       the message to the re-analysed grid ready to paint, on buffers of
//       1, 10 and 60 minutes: its cost should follow the rectangle, not the
//       file;
//   (b) its undo, to the re-analysed grid;
//   (c) the memory that 20 such edits add (undo entries, and the process's
//       resident size);
//   (d) a -6 dB gain on the whole of one channel of the 10-minute buffer
//       against the bare transforms it needs (a forward and a backward FFT
//       per edit frame), and its refresh.
// Times are the best of three.
#include "maxhost.h"
#include "specgram.h"

#include <pffft.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double bare_ffts(int n, long transforms)
{
    PFFFT_Setup *s = pffft_new_setup(n, PFFFT_REAL);
    float *a = (float *)pffft_aligned_malloc(n * sizeof(float));
    float *b = (float *)pffft_aligned_malloc(n * sizeof(float));
    float *w = (float *)pffft_aligned_malloc(n * sizeof(float));
    for (int i = 0; i < n; i++)
        a[i] = std::sin(i * 0.01f);
    double t = now();
    for (long i = 0; i < transforms; i += 2) {
        pffft_transform_ordered(s, a, b, w, PFFFT_FORWARD);
        pffft_transform_ordered(s, b, a, w, PFFFT_BACKWARD);
        a[0] *= 1.0f / n;
    }
    double dt = now() - t;
    pffft_aligned_free(a);
    pffft_aligned_free(b);
    pffft_aligned_free(w);
    pffft_destroy_setup(s);
    return dt;
}

void send(t_object *box, const char *sel, std::vector<t_atom> args = {}, long inlet = 0)
{
    maxhost::send(box, inlet, gensym(sel), (long)args.size(), args.data());
}

t_atom num(double v)
{
    t_atom a;
    atom_setfloat(&a, v);
    return a;
}

double resident_mb()
{
    long pages = 0, resident = 0;
    if (FILE *f = fopen("/proc/self/statm", "r")) {
        if (fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        fclose(f);
    }
    return resident * 4096.0 / 1e6;
}

// A patcher with a stereo buffer of `minutes` (two tones and a little
// noise) and a spectrogram~ on its first channel.
struct Session {
    t_object *patcher = nullptr;
    t_object *sg = nullptr;
    t_specgram *x = nullptr;
    long frames = 0;

    explicit Session(double minutes)
    {
        patcher = maxhost::patcher_new("");
        maxhost::BoxSpec b;
        b.maxclass = "newobj";
        b.text = "buffer~ bench " + std::to_string(minutes * 60000) + " 2";
        maxhost::box_new(patcher, b);
        t_object *buf = maxhost::find_buffer("bench");
        frames = (long)buffer_getframecount(buf);
        float *p = buffer_locksamples(buf);
        unsigned r = 1;
        for (long i = 0; i < frames; i++) {
            r = r * 1664525u + 1013904223u;
            const float noise = ((float)(r >> 8) / 16777216.0f - 0.5f) * 0.01f;
            p[2 * i] = 0.3f * std::sin(2 * M_PI * 440 * i / 48000.0) + noise;
            p[2 * i + 1] = 0.3f * std::sin(2 * M_PI * 3000 * i / 48000.0) + noise;
        }
        buffer_setdirty(buf);
        buffer_unlocksamples(buf);
        maxhost::BoxSpec s;
        s.maxclass = "spectrogram~";
        t_atom name, chan;
        atom_setsym(&name, gensym("bench"));
        atom_setlong(&chan, 1);
        s.attrs = {{"buffer_name", {name}}, {"buffer_chan", {chan}}};
        sg = maxhost::box_new(patcher, s);
        x = (t_specgram *)sg;
        maxhost::pump();
    }
    ~Session() { maxhost::patcher_free(patcher); }

    // Shows [v0, v0 + vlen) ms (the whole buffer for vlen -1) and selects.
    void select(double t0, double t1, double f0, double f1, double v0 = 0, double vlen = -1)
    {
        send(sg, "list", {num(v0), num(vlen), num(0), num(-1), num(t0), num(t1), num(f0), num(f1)}, 8);
        maxhost::pump();
    }
    // Seconds for a message and the refresh it causes.
    double timed(const char *sel, std::vector<t_atom> args = {})
    {
        const double t = now();
        send(sg, sel, args);
        maxhost::pump();
        return now() - t;
    }
};

} // namespace

int main(int argc, char **argv)
{
    // Parts to run: "a" (with b), "c", "d"; all by default.
    const std::string parts = argc > 1 ? argv[1] : "acd";
    maxhost::set_console_sink([](const maxhost::ConsoleLine &l) {
        if (l.level == "error")
            fprintf(stderr, "%s\n", l.text.c_str());
    });
    std::string err;
    if (!maxhost::load_external("spectrogram~", &err)) {
        fprintf(stderr, "bench-edit: %s\n", err.c_str());
        return 1;
    }
    printf("bench-edit: stereo 48 kHz buffers, edits on channel 1, best of three\n");
    printf("  (a) gain -6 dB on a 1 s x 1 kHz rectangle in a 5 s view, message to re-analysed grid and\n"
           "      repainted box; (b) its undo\n");
    for (double minutes : {1.0, 10.0, 60.0}) {
        if (parts.find('a') == std::string::npos)
            break;
        Session s(minutes);
        // Zoomed in around the rectangle, as one edits, so that the repaint
        // in the refresh covers a few seconds whatever the buffer's length.
        s.select(30000, 31000, 1000, 2000, 28000, 5000);
        double edit = 1e9, undo = 1e9;
        for (int r = 0; r < 3; r++) {
            edit = std::min(edit, s.timed("edit_selection_gain", {num(-6)}));
            undo = std::min(undo, s.timed("undo"));
        }
        printf("      %4.0f minutes: (a) %7.2f ms   (b) %7.2f ms\n", minutes, edit * 1e3, undo * 1e3);
    }

    Session s(10);
    const double before = resident_mb();
    for (int e = 0; e < 20 && parts.find('c') != std::string::npos; e++) {
        s.select(20000 + 25000 * e, 21000 + 25000 * e, 1000, 2000);
        send(s.sg, "edit_selection_gain", {num(-6)});
        maxhost::pump();
    }
    double held = 0;
    for (long e = 0; e < s.x->undo_count; e++)
        held += (double)s.x->undo_stack[e].span_frames * (double)s.x->undo_stack[e].chan_count * sizeof(float);
    if (parts.find('c') != std::string::npos)
        printf("  (c) 20 such edits on the 10-minute buffer: undo entries %.2f MB, resident size %+.2f MB\n", held / 1e6,
           resident_mb() - before);

    if (parts.find('d') == std::string::npos)
        return 0;
    send(s.sg, "select_all");
    maxhost::pump();
    const int n = s.x->mags.stft_win_size;
    const long edit_frames = s.frames / (n / 4) + 4;
    double whole = 1e9, refresh = 1e9, bare = 1e9;
    for (int r = 0; r < 3; r++) {
        double t0 = now();
        send(s.sg, "edit_selection_gain", {num(-6)});
        double t1 = now();
        maxhost::pump();
        double t2 = now();
        send(s.sg, "undo");
        maxhost::pump();
        whole = std::min(whole, t1 - t0);
        refresh = std::min(refresh, t2 - t1);
        bare = std::min(bare, bare_ffts(n, 2 * edit_frames));
    }
    printf("  (d) gain -6 dB on all of channel 1 of the 10-minute buffer (edit window %d, %ld frames):\n", n,
           edit_frames);
    printf("      the edit (snapshot, transforms, kernel, write-back):  %7.1f ms\n", whole * 1e3);
    printf("      one forward and one backward bare FFT per frame:      %7.1f ms\n", bare * 1e3);
    printf("      ratio                                                  %7.2f\n", whole / bare);
    printf("      the refresh that follows (re-read, re-analysis):      %7.1f ms\n", refresh * 1e3);
    return 0;
}
