// The view model: the visible window and the selection in ms and Hz, the
// eight float inlets and the Link In list that set them, the routine that
// sets all eight with sentinels, the outlets that report them, and the
// mouse-data report.
//
// Values are clamped to the bound buffer: 0..L ms (L = buffer_length_ms) and
// 0..N Hz (N = half the sample rate).  "Clamped to 0..X" means a value that
// is not above 0 (NaN included) becomes 0, otherwise min(value, X).
//
// The model changes first and the report follows: setters only record that
// a report is due, and specgram_report_view sends it once the caller holds
// no lock, since an outlet runs the patch below it at once, which may paint,
// lock, or send straight back into this box.  Linked boxes do send back: a
// Link In that arrives while the box is still sending its own report is an
// echo when it holds the box's state (dropped) or a neighbour's clamped
// version of it (kept and applied after the report, the latest one winning),
// so a ring or chain of boxes settles without recursing into a box that is
// mid-update.
#include "specgram.h"

#include <math.h>
#include <string.h>

// A report that keeps causing Link Ins that change the view (a patch feeding
// the view back with changes) stops after this many rounds.
#define SPECGRAM_REPORT_ROUNDS 1000

namespace {

double clamp_to(double v, double top) { return specgram_clamp_value(v, top); }

double nyquist(const t_specgram *x) { return x->sample_rate * 0.5; }

// Pulls the selection's times into the display window.
void pull_selection_into_window(t_specgram *x)
{
    double s = x->display_start, e = x->display_start + x->display_length;
    x->selection_start = x->selection_start <= s ? s : (x->selection_start < e ? x->selection_start : e);
    x->selection_end = x->selection_end <= s ? s : (x->selection_end < e ? x->selection_end : e);
}

void reclamp_selection_freqs(t_specgram *x)
{
    double n = nyquist(x);
    x->selection_low = clamp_to(x->selection_low, n);
    double high = x->selection_high > x->selection_low ? x->selection_high : x->selection_low;
    x->selection_high = clamp_to(high, n);
    if (x->selection_low > x->selection_high)
        x->selection_low = x->selection_high;
}

void display_changed(t_specgram *x)
{
    x->surface_dirty = 1;
    specgram_invalidate(x, specgram_sym.magnitudes_layer, specgram_sym.text_layer, specgram_sym.selection_layer,
                        specgram_sym.draw_layer, NULL);
    specgram_output_to_outlets(x);
}

void selection_changed(t_specgram *x)
{
    specgram_invalidate(x, specgram_sym.text_layer, specgram_sym.selection_layer, specgram_sym.draw_layer, NULL);
    specgram_output_to_outlets(x);
}

bool is_current_state(const t_specgram *x, const double v[8])
{
    const double current[8] = {x->display_start, x->display_length, x->display_low, x->display_high,
                               x->selection_start, x->selection_end, x->selection_low, x->selection_high};
    for (int i = 0; i < 8; i++)
        if (v[i] != current[i])
            return false;
    return true;
}

// Applies a Link In's values; a box receiving its own state stays silent,
// which ends a link ring.
void apply_link(t_specgram *x, const double v[8])
{
    if (is_current_state(x, v))
        return;
    critical_enter(x->lock);
    specgram_set_display_and_selection(x, 0, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
    critical_exit(x->lock);
}

// Sends the view state on outlets 7..0, then the Link Out list on outlet 8.
void send_view(t_specgram *x)
{
    // Read the values first: a cord may route them straight back into this box.
    double v[8] = {x->display_start, x->display_length, x->display_low, x->display_high,
                   x->selection_start, x->selection_end, x->selection_low, x->selection_high};
    void *outs[8] = {x->outlet_display_start, x->outlet_display_length, x->outlet_display_low,
                     x->outlet_display_high, x->outlet_selection_start, x->outlet_selection_end,
                     x->outlet_selection_low, x->outlet_selection_high};
    for (int i = 7; i >= 0; i--)
        outlet_float(outs[i], v[i]);
    t_atom av[8];
    for (int i = 0; i < 8; i++)
        atom_setfloat(av + i, v[i]);
    outlet_list(x->outlet_link, NULL, 8, av);
}

} // namespace

// ---------------------------------------------------------------- display inlets

void specgram_float(t_specgram *x, double v)
{
    double s = clamp_to(v, x->buffer_length_ms);
    if (s != x->display_start) {
        x->display_start = s;
        x->display_length = clamp_to(x->display_length, x->buffer_length_ms - s);
        pull_selection_into_window(x);
    }
    display_changed(x);
}

void specgram_in1(t_specgram *x, double v)
{
    double d = clamp_to(v, x->buffer_length_ms - x->display_start);
    if (d != x->display_length) {
        x->display_length = d;
        pull_selection_into_window(x);
    }
    display_changed(x);
}

void specgram_in2(t_specgram *x, double v)
{
    double f = clamp_to(v, nyquist(x));
    if (f != x->display_low) {
        x->display_low = f;
        if (f > x->display_high) {
            x->display_low = x->display_high;
            x->display_high = f;
        }
    }
    reclamp_selection_freqs(x);
    display_changed(x);
}

void specgram_in3(t_specgram *x, double v)
{
    double f = clamp_to(v, nyquist(x));
    if (f != x->display_high) {
        x->display_high = f;
        if (f < x->display_low) {
            x->display_high = x->display_low;
            x->display_low = f;
        }
    }
    reclamp_selection_freqs(x);
    display_changed(x);
}

// ---------------------------------------------------------------- selection inlets

void specgram_in4(t_specgram *x, double v)
{
    x->selection_start = clamp_to(v, x->buffer_length_ms);
    if (x->selection_start > x->selection_end)
        x->selection_end = x->selection_start;
    selection_changed(x);
}

void specgram_in5(t_specgram *x, double v)
{
    x->selection_end = clamp_to(v, x->buffer_length_ms);
    if (x->selection_start > x->selection_end)
        x->selection_start = x->selection_end;
    selection_changed(x);
}

void specgram_in6(t_specgram *x, double v)
{
    x->selection_low = clamp_to(v, nyquist(x));
    if (x->selection_low > x->selection_high)
        x->selection_high = x->selection_low;
    selection_changed(x);
}

void specgram_in7(t_specgram *x, double v)
{
    x->selection_high = clamp_to(v, nyquist(x));
    if (x->selection_low > x->selection_high)
        x->selection_low = x->selection_high;
    selection_changed(x);
}

// ---------------------------------------------------------------- Link In

void specgram_in8(t_specgram *x, t_symbol *s, long argc, t_atom *argv)
{
    (void)s;
    if (argc < 8 || !argv)
        return;
    double v[8];
    for (int i = 0; i < 8; i++) {
        long t = atom_gettype(argv + i);
        if (t != A_LONG && t != A_FLOAT)
            return;
        v[i] = atom_getfloat(argv + i);
    }
    if (x->reporting) {
        // Caused by this box's own report: applied once the report is out.
        if (!is_current_state(x, v)) {
            memcpy(x->link_in, v, sizeof x->link_in);
            x->link_pending = 1;
        }
        return;
    }
    apply_link(x, v);
    specgram_report_view(x);
}

// ---------------------------------------------------------------- the bulk setter

void specgram_set_display_and_selection(t_specgram *x, long force, double display_start, double display_length,
                                        double display_low, double display_high, double selection_start,
                                        double selection_end, double selection_low, double selection_high)
{
    double length = x->buffer_length_ms, n = nyquist(x);
    bool changed = false;

    double s = clamp_to(display_start, length);
    if (s != x->display_start) {
        x->display_start = s;
        x->display_length = clamp_to(x->display_length, length - s);
        changed = true;
    }
    if (display_length < 0) // the rest of the buffer
        display_length = length - x->display_start;
    double d = clamp_to(display_length, length - x->display_start);
    if (d != x->display_length) {
        x->display_length = d;
        changed = true;
    }
    double lo = clamp_to(display_low, n);
    if (lo != x->display_low) {
        x->display_low = lo;
        if (lo > x->display_high) {
            x->display_low = x->display_high;
            x->display_high = lo;
        }
        changed = true;
    }
    double hi = display_high < 0 ? n : clamp_to(display_high, n);
    if (hi != x->display_high) {
        x->display_high = hi;
        if (x->display_low > hi) {
            x->display_high = x->display_low;
            x->display_low = hi;
        }
        changed = true;
    }

    double ss = clamp_to(selection_start, length);
    double se = selection_end < 0 ? length : clamp_to(selection_end, length);
    if (ss > se)
        ss = se;
    double sl = clamp_to(selection_low, n);
    double sh = selection_high < 0 ? clamp_to(x->mags.sample_rate * 0.5, n) : clamp_to(selection_high, n);
    if (sl > sh)
        sl = sh;
    x->selection_start = ss;
    x->selection_end = se;
    x->selection_low = sl;
    x->selection_high = sh;

    x->report_due = 1;
    specgram_update_surface(x, (force || changed) ? SPECGRAM_SURFACE_RERENDER : SPECGRAM_SURFACE_CURRENT);
}

// ---------------------------------------------------------------- outlets

void specgram_report_view(t_specgram *x)
{
    if (x->reporting)
        return; // the report under way sends this change too
    x->reporting = 1;
    long rounds = 0;
    while (x->report_due || x->link_pending) {
        if (++rounds > SPECGRAM_REPORT_ROUNDS) {
            object_error((t_object *)x, "the view keeps coming back changed through Link In; stopped");
            x->report_due = x->link_pending = 0;
            break;
        }
        if (x->report_due) {
            x->report_due = 0;
            send_view(x);
        } else {
            x->link_pending = 0;
            double v[8];
            memcpy(v, x->link_in, sizeof v);
            apply_link(x, v);
        }
    }
    x->reporting = 0;
}

void specgram_output_to_outlets(t_specgram *x)
{
    x->report_due = 1;
    specgram_report_view(x);
}

void specgram_output_to_outlets_deferred(t_specgram *x, t_symbol *s, short argc, t_atom *argv)
{
    (void)s;
    (void)argc;
    (void)argv;
    specgram_output_to_outlets(x);
}

void specgram_output_mouse_data(t_specgram *x, double box_height)
{
    critical_enter(x->lock);
    const long r = specgram_display_row_at(x, x->mouse_norm.y * box_height, box_height);
    const float t = specgram_readout_time(x, x->mouse_norm.x);
    const long c = specgram_frame_at_time(x, t);
    const float freq = specmags_current_edges(&x->mags)[r];
    const float mag = x->mags.mags_db[(int64_t)c * x->mags.num_bins + r];
    critical_exit(x->lock);
    t_atom av[3];
    atom_setfloat(av, t);
    atom_setfloat(av + 1, freq);
    atom_setfloat(av + 2, mag);
    outlet_list(x->outlet_mouse_data, NULL, 3, av);
}
