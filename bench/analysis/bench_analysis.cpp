// Benchmark of the analysis engine on a 10-minute 48 kHz mono signal with the
// object's defaults (window 2048, zero padding 1, overlap 2, Mel):
//   (a) specmags_process with the spectra recomputed;
//   (b) the FFT floor: window, PFFFT forward and magnitudes only, over the
//       same frames, on the same worker threads, magnitudes stored into the
//       grid; also with magnitudes kept in a scratch row;
//   (c) a / b;
//   (d) a magnitude-scale change alone;
//   (e) edit STFT forward + inverse over the whole signal as an edit of all
//       of it runs it (a span edit over the extended grid, every frame
//       changed a little, so every frame is resynthesised), against the
//       same number of bare forward and backward transforms; also the plain
//       streamed whole-channel transform and the whole-channel forward then
//       inverse through the stored frames, for reference;
//   (f) the first analysis after binding a fresh buffer (update + process,
//       allocation and page faults included), against (a);
//   (g) peak resident memory of the display analysis against 16 bytes per
//       grid cell.
// Timings are the best of several runs (the machine is shared).  With
// --baseline the SSE2 kernels run even where AVX2 is available.
#include "ext_sysparallel.h"
#include "pffft.h"
#include "specmags.h"
#include "specmags_kernels.h"
#include "window.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <time.h>
#include <vector>

namespace {

const double kRate = 48000.0;
const int64_t kSamples = 10 * 60 * 48000;
const int kRuns = 5;

double now_ms()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// CPU time of the whole process (every thread) in ms.
double cpu_ms()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return (double)t.tv_sec * 1e3 + (double)t.tv_nsec * 1e-6;
}

// Wall-clock and CPU time of one measured stretch.  The machine is shared,
// so the bench reports the best of several runs of both: CPU time is what
// the work costs even while other processes take turns on the cores.
struct Timing
{
    double wall = 1e300, cpu = 1e300;
};

struct Stopwatch
{
    double wall0 = now_ms(), cpu0 = cpu_ms();
    Timing lap() const
    {
        Timing t;
        t.wall = now_ms() - wall0;
        t.cpu = cpu_ms() - cpu0;
        return t;
    }
};

// Runs setup() then body() `runs` times; the best wall and CPU time of body.
template <class S, class B> Timing best_of(int runs, S setup, B body)
{
    Timing best;
    for (int i = 0; i < runs; i++) {
        setup();
        const Stopwatch w;
        body();
        const Timing t = w.lap();
        best.wall = std::min(best.wall, t.wall);
        best.cpu = std::min(best.cpu, t.cpu);
    }
    return best;
}

void nothing() {}

// A field of /proc/self/status in MB (VmRSS, VmHWM).
double status_mb(const char *field)
{
    FILE *f = fopen("/proc/self/status", "r");
    if (!f)
        return 0;
    char line[256];
    double kb = 0;
    const size_t len = strlen(field);
    while (fgets(line, sizeof line, f))
        if (strncmp(line, field, len) == 0 && line[len] == ':')
            kb = atof(line + len + 1);
    fclose(f);
    return kb / 1024.0;
}

// Restarts the peak (VmHWM) from the current resident size.
void reset_peak()
{
    FILE *f = fopen("/proc/self/clear_refs", "w");
    if (f) {
        fputs("5", f);
        fclose(f);
    }
}

std::vector<float> make_signal()
{
    std::vector<float> x((size_t)kSamples);
    std::mt19937 rng(1);
    std::normal_distribution<float> g(0.0f, 0.05f);
    for (int64_t i = 0; i < kSamples; i++) {
        const double t = (double)i / kRate;
        x[(size_t)i] = (float)(0.3 * std::sin(2 * M_PI * 440 * t) +
                               0.2 * std::sin(2 * M_PI * (1000 + 200 * std::sin(t)) * t)) +
                       g(rng);
    }
    return x;
}

// ---- the FFT floor: one slice of frames per worker ----

struct FloorJob
{
    const t_specmags *m;
    const float *samples;
    int64_t first, end;
    int to_grid; // 1: magnitudes into lin_mags, 0: into a scratch row
};

void floor_worker(t_sysparallel_worker *w)
{
    FloorJob *j = (FloorJob *)w->data;
    const t_specmags *m = j->m;
    const int64_t fs = m->fft_size, win = m->fft_win_size, nb = m->num_bins;
    float *in = (float *)pffft_aligned_malloc((size_t)fs * sizeof(float));
    float *out = (float *)pffft_aligned_malloc((size_t)fs * sizeof(float));
    float *work = (float *)pffft_aligned_malloc((size_t)fs * sizeof(float));
    std::vector<float> row((size_t)nb);
    memset(in, 0, (size_t)fs * sizeof(float));
    const float qw = window_magnitude_norm(m->fft_win_type) * (float)win;
    for (int64_t l = j->first; l < j->end; l++) {
        specmags_window_copy(in, j->samples + l * m->fft_hop, m->fft_window, win);
        pffft_transform_ordered(m->fft_setup, in, out, work, PFFFT_FORWARD);
        float *mags = j->to_grid ? m->lin_mags + l * nb : row.data();
        specmags_magnitudes(out, mags, nb, 1.0f / qw, 2.0f / qw);
    }
    pffft_aligned_free(in);
    pffft_aligned_free(out);
    pffft_aligned_free(work);
}

void run_floor(t_sysparallel_task *task, const t_specmags *m, const float *x, int to_grid)
{
    const int64_t w = specmags_worker_count(sysparallel_processorcount(), m->num_frames);
    FloorJob jobs[SYSPARALLEL_MAX_WORKERS];
    for (int64_t i = 0; i < w; i++) {
        jobs[i] = FloorJob{m, x, 0, 0, to_grid};
        specmags_worker_slice(m->num_frames, w, i, &jobs[i].first, &jobs[i].end);
    }
    sysparallel_task_workercount(task, (long)w);
    for (int64_t i = 0; i < w; i++)
        task->workers[i]->data = &jobs[i];
    sysparallel_task_execute(task);
}

// The same number of bare forward and backward edit-size transforms.
Timing time_stft_floor(const t_specmags *m)
{
    const int n = m->stft_win_size;
    PFFFT_Setup *s = pffft_new_setup(n, PFFFT_REAL);
    float *a = (float *)pffft_aligned_malloc((size_t)n * sizeof(float));
    float *b = (float *)pffft_aligned_malloc((size_t)n * sizeof(float));
    float *c = (float *)pffft_aligned_malloc((size_t)n * sizeof(float));
    float *work = (float *)pffft_aligned_malloc((size_t)n * sizeof(float));
    for (int i = 0; i < n; i++)
        a[i] = (float)std::sin(i * 0.1);
    const Stopwatch w;
    for (int64_t i = 0; i < m->stft_num_frames; i++) {
        pffft_transform_ordered(s, a, b, work, PFFFT_FORWARD);
        pffft_transform_ordered(s, b, c, work, PFFFT_BACKWARD);
    }
    const Timing t = w.lap();
    pffft_aligned_free(a);
    pffft_aligned_free(b);
    pffft_aligned_free(c);
    pffft_aligned_free(work);
    pffft_destroy_setup(s);
    return t;
}

void print_line(const char *label, Timing t)
{
    printf("%-52s %8.1f ms wall %8.1f ms CPU\n", label, t.wall, t.cpu);
}

void print_ratio(const char *label, Timing a, Timing b, const char *target)
{
    printf("%-52s %8.2f wall     %8.2f CPU   (%s)\n", label, a.wall / b.wall, a.cpu / b.cpu, target);
}

} // namespace

int main(int argc, char **argv)
{
    // --baseline: the SSE2 kernels even where AVX2 is available.
    const int level = specmags_kernels_set_level(argc > 1 && strcmp(argv[1], "--baseline") == 0 ? 0 : -1);
    const std::vector<float> x = make_signal();
    printf("bench-analysis: %lld samples (10 min at 48 kHz), %ld processors, %s kernels; best of %d runs\n",
           (long long)kSamples, sysparallel_processorcount(), level ? "AVX2" : "baseline", kRuns);

    // (f) a box created without a buffer, then bound to the 10-minute buffer;
    // three such boxes one after another.  The first one in a fresh process
    // also pays for memory the system hands out for the first time (on a
    // virtual machine the host backs it on first touch); the others reuse it.
    Timing first_bind, bind;
    for (int i = 0; i < 3; i++) {
        t_specmags fresh;
        specmags_init(&fresh, 1, 2048, 1, 2, 2048, kRate);
        const Stopwatch w;
        specmags_update(&fresh, kSamples, kRate);
        specmags_process(&fresh, x.data());
        const Timing t = w.lap();
        specmags_cleanup(&fresh);
        if (i == 0) {
            first_bind = t;
        } else {
            bind.wall = std::min(bind.wall, t.wall);
            bind.cpu = std::min(bind.cpu, t.cpu);
        }
    }

    const double base_mb = status_mb("VmRSS");
    reset_peak();
    t_specmags m;
    specmags_init(&m, 1, 2048, 1, 2, 2048, kRate);
    specmags_update(&m, kSamples, kRate);
    specmags_process(&m, x.data());
    const int64_t cells = m.num_frames * m.num_bins;
    printf("grid: %lld frames x %lld bins = %lld cells\n", (long long)m.num_frames, (long long)m.num_bins,
           (long long)cells);

    // (a), with (b) measured in alternation so that both see the same load.
    t_sysparallel_task *task = sysparallel_task_new(nullptr, (method)floor_worker, 0);
    Timing process, floor_grid, floor_row;
    for (int i = 0; i < kRuns; i++) {
        const Timing a = best_of(
            1, [&] { m.dirty = 1; }, [&] { specmags_process(&m, x.data()); });
        const Timing b = best_of(1, nothing, [&] { run_floor(task, &m, x.data(), 1); });
        const Timing r = best_of(1, nothing, [&] { run_floor(task, &m, x.data(), 0); });
        process = {std::min(process.wall, a.wall), std::min(process.cpu, a.cpu)};
        floor_grid = {std::min(floor_grid.wall, b.wall), std::min(floor_grid.cpu, b.cpu)};
        floor_row = {std::min(floor_row.wall, r.wall), std::min(floor_row.cpu, r.cpu)};
    }
    sysparallel_task_free(task);
    m.dirty = 1;
    specmags_process(&m, x.data());

    // (d) each scale reached from another one, spectra kept.
    Timing scale[5];
    for (long s = 0; s <= 4; s++)
        scale[s] = best_of(
            kRuns,
            [&] {
                specmags_set_fft_mag_scale(&m, s == 0 ? 1 : 0);
                specmags_process(&m, x.data());
                specmags_set_fft_mag_scale(&m, s);
            },
            [&] { specmags_process(&m, x.data()); });
    specmags_set_fft_mag_scale(&m, 1);
    const double display_peak_mb = status_mb("VmHWM") - base_mb;

    // (e) the edit STFT, sized for the whole signal.
    specmags_stft_update(&m);
    std::vector<float> edited(x.size());
    t_specmags_stft_span span = {x.data(), 0, (int64_t)x.size(), specmags_stft_grid_first(&m),
                                 specmags_stft_grid_last(&m), edited.data(), 0, 0};
    const t_specmags_stft_edit_fn touch = [](void *, float *row, int64_t) {
        row[2] *= 0.5f;
        return 1;
    };
    const auto span_edit = [&] { specmags_stft_edit_span(&m, &span, touch, nullptr); };
    const Timing stft_first = best_of(1, nothing, span_edit);
    // The pass and its floor alternate, so that both see the machine in the
    // same state (the floor alone moves by 10 % from run to run here).
    Timing stft, stft_floor, stream;
    for (int i = 0; i < 7; i++) {
        const Timing s = best_of(1, nothing, span_edit);
        const Timing t = time_stft_floor(&m);
        const Timing r = best_of(1, nothing, [&] { specmags_stft_stream(&m, x.data(), nullptr, nullptr); });
        stft = {std::min(stft.wall, s.wall), std::min(stft.cpu, s.cpu)};
        stft_floor = {std::min(stft_floor.wall, t.wall), std::min(stft_floor.cpu, t.cpu)};
        stream = {std::min(stream.wall, r.wall), std::min(stream.cpu, r.cpu)};
    }
    const double total_peak_mb = status_mb("VmHWM");
    const Timing stft_stored = best_of(3, nothing, [&] {
        specmags_stft_forward(&m, x.data());
        specmags_stft_inverse(&m);
    });

    // Not a target: the same analysis with frequency reassignment.
    specmags_set_reassignment(&m, 1);
    specmags_process(&m, x.data());
    const Timing reassign = best_of(
        3, [&] { m.dirty = 1; }, [&] { specmags_process(&m, x.data()); });

    const double grid_mb = 16.0 * (double)cells / (1024.0 * 1024.0);
    print_line("(a) specmags_process, spectra recomputed", process);
    print_line("(b) FFT floor: window, FFT, magnitudes into the grid", floor_grid);
    print_line("    the same with magnitudes into a scratch row", floor_row);
    print_ratio("(c) a / b", process, floor_grid, "target <= 1.5");
    print_ratio("    a / scratch-row floor", process, floor_row, "for reference");
    const char *names[5] = {"Lin", "Mel", "Log", "Bark", "ERB"};
    for (int s = 0; s <= 4; s++) {
        char label[64];
        snprintf(label, sizeof label, "(d) mag_scale change alone, to %s", names[s]);
        print_line(label, scale[s]);
    }
    printf("(e) edit STFT, N 2048, %lld frames:\n", (long long)m.stft_num_frames);
    print_line("    a span edit of the whole signal", stft);
    print_line("    the first time (output touched first)", stft_first);
    print_line("    bare forward + backward transforms", stft_floor);
    print_ratio("    ratio", stft, stft_floor, "target <= 1.3");
    print_line("    for reference: plain streamed forward + inverse", stream);
    print_ratio("    its ratio", stream, stft_floor, "no edit, no difference");
    print_line("    for reference: forward, then inverse, through stored frames", stft_stored);
    print_ratio("    its ratio", stft_stored, stft_floor, "not what an edit runs");
    print_line("(f) binding a fresh buffer: update + process", bind);
    print_ratio("    against (a)", bind, process, "target <= 3");
    print_line("    the first binding of the process, never-used memory", first_bind);
    print_ratio("    against (a)", first_bind, process, "first touch of memory");
    printf("(g) display analysis peak RSS above the signal: %.1f MB; 16 B/cell grid %.1f MB; ratio %.2f "
           "(target <= 1.05)\n",
           display_peak_mb, grid_mb, display_peak_mb / grid_mb);
    printf("    whole process peak RSS with the signal (%.0f MB) and the streamed edit STFT: %.1f MB\n",
           (double)kSamples * 4 / (1024.0 * 1024.0), total_peak_mb);
    print_line("    with reassignment on: specmags_process", reassign);
    specmags_cleanup(&m);
    return 0;
}
