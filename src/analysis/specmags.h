// Analysis state of one spectrogram~ box.
//
// t_specmags holds the display-analysis parameters, the sizes derived from
// them, the per-frame grids of the whole analysed channel, the row-edge tables
// of the five magnitude scales, the FFT setup and window, and the edit STFT.
//
// Units and layouts:
//   - sizes in samples, bins or rows; sample_rate in Hz; frequencies in Hz.
//   - a frame is one analysis block of fft_win_size samples starting at
//     sample l * fft_hop, zero-padded to fft_size (the block is not centred).
//   - per-frame grids are row-major: grid[l * num_bins + k] is bin (or display
//     row) k of frame l.
//   - display values are dB = 20 * log10(x + 2^-23); silence is -138.4738 dB.
//   - every display scale has num_bins rows; row j spans [edge j, edge j+1).
//   - edit STFT rows hold stft_num_bins complex values as (re, im) float
//     pairs: stft_frames[(i * stft_num_bins + k) * 2 + {0,1}].  The backward
//     transform is unscaled; specmags_stft_inverse applies 0.5 / N itself.
//
// Threads: the display analysis (specmags_update, the setters,
// specmags_process) runs on the caller's thread under the owner's lock; the
// analysis fans out to host worker threads inside specmags_process only.  The
// edit STFT functions are called without that lock, from the thread that
// handles an edit; they touch only the stft_* fields, and work on the channel
// length stft_length fixed by the last specmags_stft_update.  Calls of
// specmags_stft_stream_to may run on several threads at once.
//
// Ownership: the state owns every array, table, setup and the task; all
// pointers stay valid until the next rebuild (specmags_update, a size setter,
// specmags_set_reassignment, specmags_stft_update) or specmags_cleanup.  A
// rebuild keeps arrays whose size did not change (with their old contents
// until the next analysis) instead of freeing and reallocating them.
#pragma once

#include <stdint.h>

struct PFFFT_Setup;
struct _sysparallel_task;
struct _sysparallel_worker;

#define SPECMAGS_DB_FLOOR_LINEAR 1.1920929e-7f // 2^-23, added before log10
#define SPECMAGS_SILENCE_DB -138.4738f         // 20 * log10(2^-23)
#define SPECMAGS_MAX_FFT 32768
#define SPECMAGS_MAX_STFT 8192
#define SPECMAGS_BLOCK_FRAMES 8 // frames per entry of block_max

enum e_specmags_scale {
    SPECMAGS_SCALE_LIN = 0,
    SPECMAGS_SCALE_MEL = 1,
    SPECMAGS_SCALE_LOG = 2,
    SPECMAGS_SCALE_BARK = 3,
    SPECMAGS_SCALE_ERB = 4
};

typedef struct _specmags
{
    // ---- channel ----
    double sample_rate;  // Hz; 48000 when given a value not above 0
    int64_t num_samples; // length of the analysed channel, >= 1
    int dirty;           // 1: the next specmags_process recomputes the FFTs

    // ---- per-frame grids (num_frames rows of num_bins floats) ----
    float *lin_mags; // linear magnitude per bin
    float *mags_db;  // display grid: dB per display row of the current scale
    float *freqs;    // Hz per bin: bin centre, or reassigned frequency; NULL while reassignment is off
    float *phases;   // radians per bin; NULL while reassignment is off
    // For every SPECMAGS_BLOCK_FRAMES frames from frame 0, the largest mags_db
    // value of each row (a NaN cell counts as nothing, as in the painting's
    // block maxima), one row of num_bins floats a block; the last block may
    // hold fewer frames.  Kept up to date with mags_db by the analysis, so a
    // zoomed-out image reads one value where it would read eight.  NULL in
    // the failure state.
    float *block_max;

    // ---- row edges, num_bins + 1 ascending frequencies each (Hz) ----
    float *lin_edges;
    float *mel_edges;
    float *log_edges;
    float *bark_edges;
    float *erb_edges;

    // ---- rows of the non-linear scales ----
    // The FFT bins whose centre falls in row j form a contiguous ascending
    // range (edges and bin centres both ascend), so each row list is stored as
    // its first bin and its count: row j holds bins
    // *_row_first[j] .. *_row_first[j] + *_row_count[j] - 1.
    int64_t *mel_row_first, *mel_row_count;
    int64_t *log_row_first, *log_row_count;
    int64_t *bark_row_first, *bark_row_count;
    int64_t *erb_row_first, *erb_row_count;

    // ---- parameters and derived sizes ----
    unsigned fft_mag_scale; // 0 Lin, 1 Mel, 2 Log, 3 Bark, 4 ERB
    unsigned fft_win_type;  // window type 0..12
    int fft_zero_pad;       // power of two 1..64
    int64_t fft_win_size;   // power of two 32..32768
    int64_t fft_size;       // fft_win_size * fft_zero_pad <= 32768
    int64_t fft_overlap;    // 1..64
    int64_t fft_hop;        // fft_win_size / fft_overlap
    int64_t num_bins;       // fft_size / 2 + 1; also the display row count
    int64_t num_frames;     // analysis frames (grid columns), >= 1
    unsigned reassignment;  // frequency reassignment 0 / 1
    int alloc_failed;       // 1 when the last rebuild could not allocate: then num_frames and
                            // num_bins are 1, the grid is one silent cell and every edge
                            // table is {0, sample_rate / 2}

    // ---- edit STFT (square-root Hann, hop N/4, no zero padding) ----
    int stft_win_size;       // N, power of two 32..8192
    int stft_hop;            // N / 4
    int stft_num_bins;       // N / 2 + 1
    int64_t stft_num_frames; // 1 if stft_length < N, else (stft_length - N) / hop + 1; 0 when off
    float *stft_frames;      // stft_num_frames rows of stft_num_bins (re, im) pairs; null until
                             // specmags_stft_forward first runs
    float *stft_out;         // stft_length floats: overlap-add output of the inverse; null
                             // until specmags_stft_inverse or _stream first runs
    float *stft_frame_buf;   // N floats: time-domain block
    struct PFFFT_Setup *stft_setup;
    float *stft_work;   // N floats, PFFFT-aligned
    float *stft_window; // N floats: sqrt of the symmetric Hann window

    // ---- display FFT ----
    struct PFFFT_Setup *fft_setup;  // real-input setup of length fft_size
    float *fft_window;              // fft_win_size floats, window fft_win_type
    struct _sysparallel_task *task; // worker task, created by the first specmags_process

    // ---- storage bookkeeping (the state owns every block) ----
    int64_t grid_cells;           // floats allocated in lin_mags and mags_db (0: failure cell)
    int64_t block_max_cells;      // floats allocated in block_max
    int64_t reassign_cells;       // floats allocated in freqs and phases (0: none)
    void *tables;                 // one block: edge tables, row lists, binning plans
    int64_t tables_bins;          // num_bins the tables block is laid out for
    struct _specmags_plan *plans; // in tables: binning plans of Mel, Log, Bark, ERB
    int32_t *row_lookup;          // in tables: per scale 0..4, num_bins + 2 rows: the row of
                                  // frequency b * bin spacing, to start row searches near
    int64_t setup_size;           // FFT length of fft_setup
    int64_t window_len;           // floats allocated in fft_window
    uint64_t frames_analysed;     // frames transformed by specmags_process so far
    int64_t stft_length;          // channel length the edit STFT storage is built for (0: off)
    int64_t stft_frames_cap;      // floats allocated in stft_frames
    int64_t stft_out_cap;         // floats allocated in stft_out
    int64_t stft_setup_size;      // FFT length of stft_setup
    float fail_cells[2];          // failure state: the one magnitude (0) and its dB value
    float fail_edges[2];          // failure state: 0 and the Nyquist frequency, for every scale
    int64_t fail_rows[2];         // failure state: first bin 0 and count 1, for every row list
} t_specmags;

#ifdef __cplusplus
extern "C" {
#endif

// Clears the record, sets Hann and no reassignment, clamps the sizes, builds
// everything (specmags_update), sets the Mel scale and builds the edit STFT.
// Returns 1 on success, 0 when an allocation failed (the state is then a
// consistent one-frame silent grid; see alloc_failed).
int specmags_init(t_specmags *m, int64_t num_samples, int64_t win_size, int64_t zero_pad, int64_t overlap,
                  int64_t stft_win_size, double sample_rate);

// Rebuilds everything that depends on the channel length, the sample rate or
// the sizes, and sets dirty.  Returns 1 on success, 0 on allocation failure
// (consistent one-frame silent grid; the next successful rebuild recovers).
int specmags_update(t_specmags *m, int64_t num_samples, double sample_rate);

// Parameter setters: clamp, store, rebuild what the value needs.  Each returns
// 1 when the stored value changed and 0 when it did not.
int specmags_set_fft_win_type(t_specmags *m, long type);
int specmags_set_fft_win_size(t_specmags *m, long size);
int specmags_set_fft_zero_pad(t_specmags *m, long factor);
int specmags_set_fft_overlap(t_specmags *m, long factor);
int specmags_set_fft_mag_scale(t_specmags *m, long scale);
int specmags_set_reassignment(t_specmags *m, long flag);

// Runs the whole display analysis of samples (num_samples floats) on the host's
// worker threads and returns when every frame is done.  While dirty is clear
// it only rebuilds mags_db from lin_mags (no FFT).  Caller's thread, lock held.
void specmags_process(t_specmags *m, const float *samples);

// Recomputes only the display frames that samples [begin, end) reach, after
// just those samples of the channel changed since the last analysis (the
// whole analysis instead while dirty or before the first one).  Caller's
// thread, lock held.
void specmags_process_samples(t_specmags *m, const float *samples, int64_t begin, int64_t end);

// Worker entry, called by the host on a worker thread.
void specmags_process_worker(struct _sysparallel_worker *w);

// The row-edge table of the current scale (Lin for any value outside 1..4).
const float *specmags_current_edges(const t_specmags *m);

// Edit STFT.  set_stft_win_size only stores (returns 1 when changed); the
// caller then runs specmags_stft_update before the next transform.
int specmags_set_stft_win_size(t_specmags *m, long size);
// Sizes the edit STFT for the current num_samples and N (keeping arrays of
// unchanged size; frames and output of another size are freed, not
// replaced: they are allocated by the transforms that use them) and sets
// stft_length = num_samples.  Returns 1 on
// success, 0 on allocation failure (the edit STFT is then off: no storage,
// stft_num_frames 0, stft_length 0).
int specmags_stft_update(t_specmags *m);
// Analyses stft_length floats of samples into stft_frames, allocating them
// when they do not exist yet.  Returns 1 when it ran, 0 when it did not
// (channel shorter than N, no storage, or no memory for the frames).
int specmags_stft_forward(t_specmags *m, const float *samples);
// Overlap-adds stft_frames into all stft_length floats of stft_out.  Returns
// 1 when it ran, 0 when it did not (as forward, no frames yet, or no scratch
// memory).
int specmags_stft_inverse(t_specmags *m);

// Edits one edit STFT row in place: stft_num_bins (re, im) pairs, laid out
// as a row of stft_frames, of frame `frame`.  Returns 1 to go on, 0 to stop.
typedef int (*t_specmags_stft_edit_fn)(void *ctx, float *row, int64_t frame);
// Forward transform, edit and inverse of stft_length floats of samples in one
// pass, frame by frame: the frames reach `edit` (null: no edit) in order
// from frame 0, and stft_out receives what forward, the same edit of the
// whole stft_frames and inverse would give, bit for bit.  stft_frames is
// neither used nor changed.  Returns 1 when it ran; 0 when it did not (as
// forward, or no memory for a row) or `edit` stopped it, stft_out then being
// incomplete.
int specmags_stft_stream(t_specmags *m, const float *samples, t_specmags_stft_edit_fn edit, void *ctx);
// The same into out (stft_length floats) instead of stft_out.  The state is
// only read and every scratch array is the call's own, so streams of several
// channels may run at once on one state, each on its own thread.
int specmags_stft_stream_to(const t_specmags *m, const float *samples, float *out,
                            t_specmags_stft_edit_fn edit, void *ctx);

// ---- edits of a span of the channel ----
// An edit rewrites only the samples that the frames it changes cover.  Its
// frames lie on the extended grid: frame i, for i from
// specmags_stft_grid_first (-(N / hop - 1)) to specmags_stft_grid_last
// ((stft_length - 1) / hop), covers samples i * hop .. i * hop + N - 1 of the
// channel mirrored about its first and last samples (sample -j is sample j,
// sample L - 1 + j is sample L - 1 - j), so that every sample of the channel,
// the first and the last included, lies in four frames.  Frames 0 ..
// stft_num_frames - 1 are those of the whole-channel transforms above.
int64_t specmags_stft_grid_first(const t_specmags *m);
int64_t specmags_stft_grid_last(const t_specmags *m);

// The samples [*begin, *end) of the channel that frames first..last cover.
void specmags_stft_span_samples(const t_specmags *m, int64_t first, int64_t last, int64_t *begin, int64_t *end);
// The samples [*begin, *end) of the channel that frames first..last read,
// mirror images included: what a span's signal must hold.
void specmags_stft_span_reads(const t_specmags *m, int64_t first, int64_t last, int64_t *begin, int64_t *end);

typedef struct _specmags_stft_span {
    const float *signal;   // borrowed: signal[k] is sample signal_first + k of the channel
    int64_t signal_first;  // must hold the samples of specmags_stft_span_reads
    int64_t signal_count;
    int64_t first, last;   // frames to run, inclusive, within the grid
    float *out;            // caller's: one float per sample of specmags_stft_span_samples
    int64_t changed_begin; // set by the edit: the samples [changed_begin, changed_end)
    int64_t changed_end;   // covered by frames the edit changed (empty: none)
} t_specmags_stft_span;

// Runs frames first..last of the span through `edit` (frames in order; the
// caller promises that the edit changes no frame outside them) and writes
// into out each covered sample plus the overlap-add of what the edit changed
// in its frames: a sample whose frames the edit left alone comes back bit for
// bit, and the others are exact up to the transform's rounding, whatever
// their distance from the ends of the channel.  Over the whole grid out
// receives the resynthesis of every frame instead (the same up to rounding,
// and cheaper), and the whole channel counts as changed.  Scratch is the call's own,
// so edits of several channels may run at once on one state.  Returns 1 when
// it ran; 0 when it did not (no edit STFT, a channel shorter than N, frames
// outside the grid, no memory, or `edit` stopped it), out then being
// incomplete.
int specmags_stft_edit_span(const t_specmags *m, t_specmags_stft_span *s, t_specmags_stft_edit_fn edit, void *ctx);

// Frees every array, table, setup and the worker task and clears the record.
// Safe on a cleared record and when called twice.
void specmags_cleanup(t_specmags *m);

// Worker count for num_frames frames on `processors` processors: between 1
// and min(processors, num_frames, SYSPARALLEL_MAX_WORKERS).  Pure.
int64_t specmags_worker_count(int64_t processors, int64_t num_frames);

// Frames [*first, *end) of worker `index` of `workers`: contiguous slices in
// order, the first num_frames % workers of them one frame longer.  Pure.
void specmags_worker_slice(int64_t num_frames, int64_t workers, int64_t index, int64_t *first, int64_t *end);

#ifdef __cplusplus
}
#endif
