// View, selection and zoom commands.  Each computes eight view values and
// hands them to specgram_set_display_and_selection, which clamps them to the
// signal (a length or end of -1 reaches the end, a high of -1 is half the
// sample rate) and repaints; the report follows once the lock is released.
//
// Zooming the frequency axis on a non-linear scale works on display rows,
// through the row-edge table of the current scale, so a step adds or removes
// the same share of rows whatever the frequencies.
#include "specgram_view_commands.h"

#include <math.h>
#include <string.h>

namespace {

const double zoom_in_factor = 0.85;
const double zoom_out_factor = 1.1764705882352942; // 1 / 0.85

struct view8 {
    double v[8];
};

view8 current(const t_specgram *x)
{
    view8 w = {{x->display_start, x->display_length, x->display_low, x->display_high, x->selection_start,
                x->selection_end, x->selection_low, x->selection_high}};
    return w;
}

void apply(t_specgram *x, const view8 &w)
{
    specgram_set_display_and_selection(x, 0, w.v[0], w.v[1], w.v[2], w.v[3], w.v[4], w.v[5], w.v[6], w.v[7]);
}

void zoom_time(const t_specgram *x, view8 *w, bool in)
{
    double s = x->display_start, l = x->display_length;
    double nl = in ? zoom_in_factor * l : zoom_out_factor * l;
    w->v[0] = in ? s + (l - nl) / 2 : s - (nl - l) / 2;
    w->v[1] = nl;
}

long clamp_row(long r, long rows) { return r < 0 ? 0 : (r > rows ? rows : r); }

void zoom_freq(const t_specgram *x, view8 *w, bool in)
{
    double lo = x->display_low, hi = x->display_high;
    if (x->mags.fft_mag_scale == SPECMAGS_SCALE_LIN || x->mags.fft_mag_scale > SPECMAGS_SCALE_ERB) {
        double range = hi - lo;
        double d = in ? range - zoom_in_factor * range : zoom_out_factor * range - range;
        w->v[2] = in ? lo + d / 2 : lo - d / 2;
        w->v[3] = in ? hi - d / 2 : hi + d / 2;
        return;
    }
    const float *edges = specmags_current_edges(&x->mags);
    long rows = (long)x->mags.num_bins;
    long a = specgram_find_bin_for_freq_ranges(edges, rows, (float)lo);
    long b = specgram_find_bin_for_freq_ranges(edges, rows, (float)hi);
    long n = b - a + 1;
    long k = in ? (n - lround(zoom_in_factor * n)) / 2 : (lround(zoom_out_factor * n) - n) / 2;
    long new_lo = clamp_row(in ? a + k : a - k, rows);
    long new_hi = clamp_row(in ? b + 1 - k : b + 1 + k, rows);
    w->v[2] = edges[new_lo];
    w->v[3] = edges[new_hi];
}

} // namespace

int specgram_view_command(t_specgram *x, t_symbol *s)
{
    const char *n = s->s_name;
    if (strncmp(n, "view_", 5) && strncmp(n, "select_", 7) && strncmp(n, "zoom_", 5))
        return 0;
    if (!strcmp(n, "view_selected") &&
        (x->selection_start == x->selection_end || x->selection_low == x->selection_high))
        return 1; // nothing selected: nothing to show, and no lock taken
    critical_enter(x->lock);
    view8 w = current(x);
    bool known = true;
    if (!strcmp(n, "view_all")) {
        w.v[0] = 0, w.v[1] = -1, w.v[2] = 0, w.v[3] = -1;
    } else if (!strcmp(n, "view_all_freq")) {
        w.v[2] = 0, w.v[3] = -1;
    } else if (!strcmp(n, "view_all_time")) {
        w.v[0] = 0, w.v[1] = -1;
    } else if (!strcmp(n, "view_selected")) {
        w.v[0] = x->selection_start, w.v[1] = x->selection_end - x->selection_start;
        w.v[2] = x->selection_low, w.v[3] = x->selection_high;
    } else if (!strcmp(n, "select_none")) {
        w.v[4] = w.v[5] = w.v[6] = w.v[7] = 0;
    } else if (!strcmp(n, "select_all")) {
        w.v[4] = 0, w.v[5] = -1, w.v[6] = 0, w.v[7] = -1;
    } else if (!strcmp(n, "select_all_freq")) {
        w.v[6] = 0, w.v[7] = -1;
    } else if (!strcmp(n, "select_all_time")) {
        w.v[4] = 0, w.v[5] = -1;
    } else if (!strcmp(n, "select_window")) {
        w.v[4] = x->display_start, w.v[5] = x->display_start + x->display_length;
        w.v[6] = x->display_low, w.v[7] = x->display_high;
    } else if (!strcmp(n, "select_window_freq")) {
        w.v[6] = x->display_low, w.v[7] = x->display_high;
    } else if (!strcmp(n, "select_window_time")) {
        w.v[4] = x->display_start, w.v[5] = x->display_start + x->display_length;
    } else if (!strcmp(n, "zoom_in") || !strcmp(n, "zoom_out")) {
        bool in = n[5] == 'i';
        zoom_time(x, &w, in);
        zoom_freq(x, &w, in);
    } else if (!strcmp(n, "zoom_in_time") || !strcmp(n, "zoom_out_time")) {
        zoom_time(x, &w, n[5] == 'i');
    } else if (!strcmp(n, "zoom_in_freq") || !strcmp(n, "zoom_out_freq")) {
        zoom_freq(x, &w, n[5] == 'i');
    } else {
        known = false;
    }
    if (known)
        apply(x, w);
    critical_exit(x->lock);
    specgram_report_view(x);
    return known ? 1 : 0;
}
