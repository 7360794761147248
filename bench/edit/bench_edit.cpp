// bench-edit: one gain edit on a 10-minute stereo 48 kHz buffer, all
// channels, through spectrogram~ in the stand-in host, against the time of
// 2 x frames x one bare FFT per channel (a forward and a backward transform
// per edit frame); then undo and redo of it.  Best of three.  Then one pitch
// shift of the selection over both channels (a channel per processor) and
// over one channel.
#include "maxhost.h"
#include "specgram.h"

#include <pffft.h>

#include <chrono>
#include <cmath>
#include <cstdio>
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

void send(t_object *box, const char *sel, std::vector<t_atom> args = {})
{
    maxhost::send(box, 0, gensym(sel), (long)args.size(), args.data());
}

} // namespace

int main()
{
    maxhost::set_console_sink([](const maxhost::ConsoleLine &l) {
        if (l.level == "error")
            fprintf(stderr, "%s\n", l.text.c_str());
    });
    std::string err;
    if (!maxhost::load_external("spectrogram~", &err)) {
        fprintf(stderr, "bench-edit: %s\n", err.c_str());
        return 1;
    }
    t_object *patcher = maxhost::patcher_new("");
    maxhost::BoxSpec b;
    b.maxclass = "newobj";
    b.text = "buffer~ bench 600000 2";
    maxhost::box_new(patcher, b);
    t_object *buf = maxhost::find_buffer("bench");
    long frames = (long)buffer_getframecount(buf);
    float *p = buffer_locksamples(buf);
    for (long i = 0; i < frames; i++) {
        p[2 * i] = 0.3f * std::sin(2 * M_PI * 440 * i / 48000.0);
        p[2 * i + 1] = 0.3f * std::sin(2 * M_PI * 3000 * i / 48000.0);
    }
    buffer_setdirty(buf);
    buffer_unlocksamples(buf);
    maxhost::BoxSpec s;
    s.maxclass = "spectrogram~";
    t_atom name, chan;
    atom_setsym(&name, gensym("bench"));
    atom_setlong(&chan, 0);
    s.attrs = {{"buffer_name", {name}}, {"buffer_chan", {chan}}};
    t_object *sg = maxhost::box_new(patcher, s);
    maxhost::pump();
    t_atom sel[8];
    double v[8] = {0, -1, 0, -1, 100000, 400000, 1000, 5000};
    for (int i = 0; i < 8; i++)
        atom_setfloat(sel + i, v[i]);
    maxhost::send(sg, 8, gensym("list"), 8, sel);
    maxhost::pump();

    t_specgram *x = (t_specgram *)sg;
    int n = x->mags.stft_win_size;
    long edit_frames = (frames - n) / (n / 4) + 1;
    double best_edit = 1e9, best_refresh = 1e9, best_undo = 1e9, best_redo = 1e9;
    t_atom gains[2];
    atom_setfloat(gains, -6);
    atom_setfloat(gains + 1, 0);
    for (int r = 0; r < 3; r++) {
        double t0 = now();
        send(sg, "edit_selection_gain", {gains[0], gains[1]});
        double t1 = now();
        maxhost::pump(); // the buffer_modified that follows: re-read and re-analyse
        double t2 = now();
        send(sg, "undo");
        maxhost::pump();
        double t3 = now();
        send(sg, "redo");
        maxhost::pump();
        double t4 = now();
        send(sg, "undo");
        maxhost::pump();
        best_edit = std::min(best_edit, t1 - t0);
        best_refresh = std::min(best_refresh, t2 - t1);
        best_undo = std::min(best_undo, t3 - t2);
        best_redo = std::min(best_redo, t4 - t3);
    }
    t_atom semitones, one;
    atom_setfloat(&semitones, 3);
    atom_setlong(&one, 1);
    double t0 = now();
    send(sg, "edit_selection_pitch_shift", {semitones});
    const double pitch_all = now() - t0;
    maxhost::pump();
    send(sg, "undo");
    maxhost::pump();
    send(sg, "buffer_chan", {one});
    maxhost::pump();
    t0 = now();
    send(sg, "edit_selection_pitch_shift", {semitones});
    const double pitch_one = now() - t0;
    maxhost::pump();

    double bare = 1e9;
    for (int r = 0; r < 3; r++)
        bare = std::min(bare, bare_ffts(n, 2 * edit_frames * 2));
    printf("bench-edit: 10-minute stereo buffer at 48 kHz, edit window %d, %ld edit frames per channel\n", n,
           edit_frames);
    printf("  gain edit, all channels (snapshot + 2 channels x forward, kernel, inverse): %7.1f ms\n",
           best_edit * 1e3);
    printf("  2 x frames x one bare FFT per channel (%ld transforms):                   %7.1f ms\n",
           2 * edit_frames * 2, bare * 1e3);
    printf("  ratio                                                                      %7.2f\n", best_edit / bare);
    printf("  the refresh that follows (re-read, re-analysis, repaint request):          %7.1f ms\n",
           best_refresh * 1e3);
    printf("  undo (snapshot of the current state + restore + refresh):                  %7.1f ms\n", best_undo * 1e3);
    printf("  redo:                                                                      %7.1f ms\n", best_redo * 1e3);
    printf("  pitch shift +3, all channels:                                              %7.1f ms\n", pitch_all * 1e3);
    printf("  pitch shift +3, one channel:                                               %7.1f ms\n", pitch_one * 1e3);
    maxhost::patcher_free(patcher);
    return 0;
}
