// Axis labels of spectrogram~: frequencies along the left edge, times along
// the top, drawn into the box's text layer and into exported images.
//
// Frequency labels come from the scale's fixed list (labels.h) and are
// placed by their row offset over the visible rows; the first label that
// would reach the top margin, where the time labels sit, ends the list.  Time
// labels sit on twentieths of the visible span, thinned so their texts fit.
// The routine takes x->lock itself (re-entrant, so the PNG export may call it
// while holding the lock).
#include "specgram_render_internal.h"

#include <stdio.h>

#define SPECGRAM_TICK_LENGTH 10.0  // pixels
#define SPECGRAM_FREQ_TEXT_X 12.0  // left edge of a frequency text, pixels
#define SPECGRAM_TIME_TEXT_DX 5.0  // time text offset right of its tick, pixels

void specgram_freq_axis_init(t_specgram *x, long height, t_specgram_freq_axis *axis)
{
    axis->scale = (long)x->mags.fft_mag_scale;
    axis->nyquist = x->mags.sample_rate * 0.5;
    axis->edges = specmags_current_edges(&x->mags);
    axis->rows = (long)x->mags.num_bins;
    long r1;
    specgram_visible_rows(x, &axis->r0, &r1);
    axis->n = r1 - axis->r0 + 1;
    axis->height = height;
    axis->margin = (double)(x->textsize + x->textsize / 3);
}

int specgram_freq_label_place(const t_specgram_freq_axis *axis, int index, t_specgram_freq_label *label)
{
    t_labels_freq entry;
    if (!labels_freq_at(axis->scale, axis->nyquist, index, &entry))
        return 0;
    const long row = specgram_find_bin_for_freq_ranges(axis->edges, axis->rows, (float)entry.freq);
    // the Lin scale places a label on its row's lower edge
    const float fraction =
        axis->scale == SPECMAGS_SCALE_LIN ? 0.0f : specgram_row_fraction(axis->edges, row, (float)entry.freq);
    const double y = labels_freq_y((int)row, fraction, (int)axis->r0, (int)axis->n, axis->height, entry.snap);
    if (y < axis->margin)
        return 0;
    label->freq = entry.freq;
    label->y = y;
    return 1;
}

static void specgram_draw_freq_labels(t_specgram *x, t_jgraphics *g, long height)
{
    t_specgram_freq_axis axis;
    t_specgram_freq_label label;
    char text[LABELS_FREQ_TEXT_SIZE];

    specgram_freq_axis_init(x, height, &axis);
    const double text_dy = (double)(x->textsize / 3);
    for (int i = 0; specgram_freq_label_place(&axis, i, &label); i++) {
        jgraphics_move_to(g, 0.0, label.y);
        jgraphics_line_to(g, SPECGRAM_TICK_LENGTH, label.y);
        jgraphics_stroke(g);
        snprintf(text, sizeof text, "%.0f", label.freq);
        jgraphics_move_to(g, SPECGRAM_FREQ_TEXT_X, label.y + text_dy);
        jgraphics_show_text(g, text);
    }
}

static void specgram_draw_time_labels(t_specgram *x, t_jgraphics *g, long width)
{
    char text[LABELS_TEXT_SIZE];
    const int step = labels_time_step((double)width, (double)x->textsize, x->time_format, NULL);
    const double text_y = (double)(x->textsize + 1);

    for (int i = 0; i < LABELS_TIME_SLOTS; i += step) {
        double t_ms, px;
        labels_time_slot(i, x->display_start, x->display_length, (double)width, &t_ms, &px);
        jgraphics_move_to(g, px, 0.0);
        jgraphics_line_to(g, px, SPECGRAM_TICK_LENGTH);
        jgraphics_stroke(g);
        labels_format_time(text, sizeof text, x->time_format, t_ms, x->sample_rate);
        jgraphics_move_to(g, px + SPECGRAM_TIME_TEXT_DX, text_y);
        jgraphics_show_text(g, text);
    }
}

void specgram_add_text_to_jgraphics(t_specgram *x, t_jgraphics *g, long width, long height)
{
    if (!g)
        return;
    critical_enter(x->lock);
    jgraphics_set_source_jrgba(g, &x->textcolor);
    jgraphics_select_font_face(g, "Arial", JGRAPHICS_FONT_SLANT_NORMAL, JGRAPHICS_FONT_WEIGHT_NORMAL);
    jgraphics_set_font_size(g, (double)x->textsize);
    jgraphics_set_line_width(g, 1.0);
    if (x->freq_text && x->mags.fft_mag_scale <= SPECMAGS_SCALE_ERB)
        specgram_draw_freq_labels(x, g, height);
    if (x->time_text)
        specgram_draw_time_labels(x, g, width);
    critical_exit(x->lock);
}
