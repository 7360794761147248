// Mouse gestures of spectrogram~: the four host mouse callbacks.
//
// What a press and a drag do depends on `mouse_mode`.  Select edits the
// selection box in view pixels (a new rubber band, or the edges, corners or
// whole box grabbed by the press); painting turns the box back into
// selection values while the mouse is down and reports them.  Move pans and
// zooms the time axis, or with Shift the frequency axis, through
// specgram_set_display_and_selection.  Draw adds free-hand polygon shapes to
// the shape store, one vertex per drag event, and Shift-click deletes the
// most recent shape under the pointer.  A press carrying the host's
// context-menu flag opens the edit menu instead, in every mode.  Press and
// drag end by reporting the data under the pointer on the mouse-data outlet.
//
// Pointer positions arrive in box pixels (y downward); `mouse_norm` and
// `mouse_down_point` hold them as fractions of the box.  Vertices are stored
// in ms and Hz, their frequency on the lower edge of the pointer's display
// row.  Main thread only; only the Move drag takes `lock` (around the view
// change), the selection box and the shape store are the mouse's own.
#include "specgram_interaction.h"

#include "kernels.h"

#include <math.h>
#include <string.h>

namespace {

struct box_size {
    double w, h; // pixels
};

box_size size_of(t_specgram *x, t_object *view)
{
    t_rect r = {0, 0, 0, 0};
    jbox_get_rect_for_view((t_object *)x, view, &r);
    box_size s = {r.width, r.height};
    return s;
}

// v / size; 0 for a box without extent.
double fraction(double v, double size) { return size > 0 ? v / size : 0; }

double clamp01(double v) { return !(v > 0) ? 0 : (v < 1 ? v : 1); }

t_pt normalised(t_pt pt, box_size s)
{
    t_pt p = {fraction(pt.x, s.w), fraction(pt.y, s.h)};
    return p;
}

// lround(v) limited to 0..top; a value not above 0 (or NaN) gives 0.
long clamp_row(double v, long top)
{
    if (!(v > 0))
        return 0;
    if (v >= (double)top)
        return top;
    return lround(v);
}

void visible_rows(const t_specgram *x, long *a, long *b)
{
    const float *edges = specmags_current_edges(&x->mags);
    long rows = (long)x->mags.num_bins;
    *a = specgram_find_bin_for_freq_ranges(edges, rows, (float)x->display_low);
    *b = specgram_find_bin_for_freq_ranges(edges, rows, (float)x->display_high);
}

// The time (ms) under a pointer column.
double pointer_time(const t_specgram *x, double px, box_size s)
{
    return clamp01(fraction(px, s.w)) * x->display_length + x->display_start;
}

// The display row under a pointer line: the bottom line is the lowest
// visible row, the top line the row just above the highest visible one.
long pointer_row(const t_specgram *x, double py, box_size s)
{
    long a, b;
    visible_rows(x, &a, &b);
    double up = s.h > 1 ? 1 - py / (s.h - 1) : 0; // a box one pixel high shows row a
    return clamp_row(a + (b - a + 1) * up, (long)x->mags.num_bins - 1);
}

// The vertex under the pointer: (time ms, lower edge of its row in Hz).
void pointer_vertex(const t_specgram *x, t_pt pt, box_size s, double *time, double *freq)
{
    *time = pointer_time(x, pt.x, s);
    *freq = specmags_current_edges(&x->mags)[pointer_row(x, pt.y, s)];
}

void set_cursor(t_specgram *x, t_object *view)
{
    jmouse_setcursor(view, (t_object *)x, specgram_cursor_for_mode(x->mouse_mode));
}

void clear_grips(t_specgram *x)
{
    x->drag_move = x->drag_left = x->drag_right = x->drag_top = x->drag_bottom = 0;
}

// ---------------------------------------------------------------- Draw

// Removes shape s: later vertices and shape entries move down over it.
void remove_shape(t_specgram *x, long s)
{
    long first = x->shape_start[s], n = x->shape_point_count[s];
    long tail = x->shape_point_total - (first + n);
    if (tail > 0)
        memmove(x->shape_points[first], x->shape_points[first + n], sizeof x->shape_points[0] * (size_t)tail);
    x->shape_point_total -= n;
    for (long k = s; k + 1 < x->shape_count; k++) {
        x->shape_start[k] = x->shape_start[k + 1] - n;
        x->shape_point_count[k] = x->shape_point_count[k + 1];
    }
    x->shape_count--;
}

// Deletes the most recent shape containing the point, if any.
void delete_shape_at(t_specgram *x, double time, double freq)
{
    for (long s = x->shape_count - 1; s >= 0; s--) {
        if (specedit_point_in_polygon(&x->shape_points[0][0], x->shape_start[s], x->shape_point_count[s], time,
                                      freq)) {
            remove_shape(x, s);
            x->shape_drawing = 0;
            specgram_invalidate(x, specgram_sym.draw_layer, NULL);
            return;
        }
    }
}

void append_vertex(t_specgram *x, double time, double freq)
{
    x->shape_points[x->shape_point_total][0] = time;
    x->shape_points[x->shape_point_total][1] = freq;
    x->shape_point_total++;
}

void draw_press(t_specgram *x, t_pt pt, box_size s, long modifiers)
{
    double time, freq;
    pointer_vertex(x, pt, s, &time, &freq);
    if (modifiers & eShiftKey) {
        delete_shape_at(x, time, freq);
        return;
    }
    if (x->shape_count >= SPECGRAM_MAX_SHAPES || x->shape_point_total >= SPECGRAM_MAX_SHAPE_POINTS)
        return;
    x->shape_start[x->shape_count] = x->shape_point_total;
    x->shape_point_count[x->shape_count] = 1;
    append_vertex(x, time, freq);
    x->shape_count++;
    x->shape_drawing = 1;
    specgram_invalidate(x, specgram_sym.draw_layer, NULL);
}

void draw_drag(t_specgram *x, t_pt pt, box_size s)
{
    if (x->shape_drawing != 1 || x->shape_point_total >= SPECGRAM_MAX_SHAPE_POINTS || x->shape_count < 1)
        return;
    double time, freq;
    pointer_vertex(x, pt, s, &time, &freq);
    append_vertex(x, time, freq);
    x->shape_point_count[x->shape_count - 1]++;
    specgram_invalidate(x, specgram_sym.draw_layer, NULL);
}

// ---------------------------------------------------------------- Select

// Chooses the grips of a press at (px, py): the edges within the line width
// plus two pixels (inside or outside the box), else the whole box; a press
// away from the box grabs nothing, so the drag draws a new rubber band.
void select_press(t_specgram *x, t_pt pt, box_size s)
{
    double g = x->selection_linewidth + 2;
    double bx = x->selection_box_x, by = x->selection_box_y;
    double bw = x->selection_box_width, bh = x->selection_box_height;
    double px = pt.x, py = pt.y;
    clear_grips(x);
    if (!(px < bx - g || px > bx + bw + g || py < by - g || py > by + bh + g)) {
        if (fabs(bx - px) <= g)
            x->drag_left = 1;
        else if (fabs(bx + bw - px) <= g)
            x->drag_right = 1;
        if (fabs(by - py) <= g)
            x->drag_top = 1;
        else if (fabs(by + bh - py) <= g)
            x->drag_bottom = 1;
        if (!x->drag_left && !x->drag_right && !x->drag_top && !x->drag_bottom)
            x->drag_move = 1;
    }
    t_pt p = normalised(pt, s);
    p.x = clamp01(p.x);
    p.y = clamp01(p.y);
    x->mouse_down_point = p;
    x->mouse_norm = p;
    specgram_invalidate(x, specgram_sym.selection_layer, NULL);
}

// Moves the near edge of a span [*pos, *pos + *len] by d; a near edge dragged
// to or past the far one leaves the span empty at the dragged edge.
void drag_near_edge(double *pos, double *len, double d)
{
    double far_edge = *pos + *len;
    *pos += d;
    *len = *pos < far_edge ? far_edge - *pos : 0;
}

// Moves the far edge likewise; dragged to or past the near one, the empty
// span sits at the dragged edge.
void drag_far_edge(double *pos, double *len, double d)
{
    double far_edge = *pos + *len + d;
    if (*pos >= far_edge) {
        *pos = far_edge;
        *len = 0;
    } else {
        *len = far_edge - *pos;
    }
}

// Resizes a span about its centre by `grow` on each side; it shrinks to
// nothing at its centre rather than turning inside out.
void resize_about_centre(double *pos, double *len, double grow)
{
    double wider = *len + 2 * grow;
    if (wider < 0) {
        *pos += *len / 2;
        *len = 0;
        return;
    }
    if (*len > 0)
        *pos -= grow;
    *len = wider;
}

void select_drag(t_specgram *x, t_pt pt, box_size s, long modifiers)
{
    t_pt p = normalised(pt, s);
    double dx = (p.x - x->mouse_norm.x) * s.w, dy = (p.y - x->mouse_norm.y) * s.h;
    x->mouse_norm = p;
    double bx = x->selection_box_x, by = x->selection_box_y;
    double bw = x->selection_box_width, bh = x->selection_box_height;
    if (x->drag_move && !(modifiers & eShiftKey)) {
        bx += dx;
        by += dy;
    } else if (x->drag_move) {
        resize_about_centre(&bx, &bw, dx);  // moving right widens
        resize_about_centre(&by, &bh, -dy); // moving up makes it taller
    }
    if (x->drag_left)
        drag_near_edge(&bx, &bw, dx);
    else if (x->drag_right)
        drag_far_edge(&bx, &bw, dx);
    if (x->drag_top)
        drag_near_edge(&by, &bh, dy);
    else if (x->drag_bottom)
        drag_far_edge(&by, &bh, dy);
    x->selection_box_x = bx;
    x->selection_box_y = by;
    x->selection_box_width = bw;
    x->selection_box_height = bh;
    specgram_invalidate(x, specgram_sym.selection_layer, NULL);
}

// ---------------------------------------------------------------- Move

// Pans and zooms by the pointer's movement d (previous minus current, in
// fractions of the box).  Time axis: horizontal movement drags the content,
// vertical movement changes the span about its centre (up zooms in).  With
// Shift, the frequency axis in display rows: vertical movement drags the
// rows, rightward movement narrows the range.
void move_drag(t_specgram *x, t_pt pt, box_size s, long modifiers)
{
    t_pt p = normalised(pt, s);
    double dx = x->mouse_norm.x - p.x, dy = x->mouse_norm.y - p.y;
    x->mouse_norm = p;
    critical_enter(x->lock);
    double start = x->display_start, length = x->display_length;
    double low = x->display_low, high = x->display_high;
    if (!(modifiers & eShiftKey)) {
        start += dx * length + dy * length;
        length -= 2 * dy * length;
        if (length < 0)
            length = 0; // zoomed in past nothing: not the "rest of the buffer" sentinel
    } else {
        const float *edges = specmags_current_edges(&x->mags);
        long rows = (long)x->mags.num_bins, a, b;
        double r = x->surface_height;
        visible_rows(x, &a, &b);
        low = edges[clamp_row(a - 2 * dy * r - 2 * dx * r, rows)];
        high = edges[clamp_row(b + 1 - 2 * dy * r + 2 * dx * r, rows)];
    }
    specgram_set_display_and_selection(x, 1, start, length, low, high, x->selection_start, x->selection_end,
                                       x->selection_low, x->selection_high);
    critical_exit(x->lock);
}

} // namespace

void specgram_mouseenter(t_specgram *x, t_object *patcherview, t_pt pt, long modifiers)
{
    (void)pt;
    (void)modifiers;
    set_cursor(x, patcherview);
}

void specgram_mousedown(t_specgram *x, t_object *patcherview, t_pt pt, long modifiers)
{
    box_size s = size_of(x, patcherview);
    if (modifiers & ePopupMenu) {
        // No release follows the menu; a box left "down" would make the next
        // repaint take the selection from a stale rubber band.
        x->mouse_down = 0;
        specgram_context_menu(x, patcherview, pt);
        return;
    }
    x->mouse_down = 1;
    set_cursor(x, patcherview);
    if (x->mouse_mode == SPECGRAM_MOUSE_DRAW) {
        draw_press(x, pt, s, modifiers);
        x->mouse_norm = normalised(pt, s); // the readout follows the pointer in every mode
    } else if (x->mouse_mode == SPECGRAM_MOUSE_SELECT) {
        select_press(x, pt, s);
    } else {
        x->mouse_norm = normalised(pt, s);
    }
    specgram_output_mouse_data(x, s.h);
}

void specgram_mousedrag(t_specgram *x, t_object *patcherview, t_pt pt, long modifiers)
{
    box_size s = size_of(x, patcherview);
    x->mouse_down = 1;
    if (x->mouse_mode == SPECGRAM_MOUSE_DRAW) {
        draw_drag(x, pt, s);
        x->mouse_norm = normalised(pt, s);
    } else if (x->mouse_mode == SPECGRAM_MOUSE_MOVE) {
        move_drag(x, pt, s, modifiers);
    } else if (x->mouse_mode == SPECGRAM_MOUSE_SELECT) {
        select_drag(x, pt, s, modifiers);
    }
    specgram_output_mouse_data(x, s.h);
}

void specgram_mouseup(t_specgram *x, t_object *patcherview, t_pt pt, long modifiers)
{
    (void)patcherview;
    (void)pt;
    (void)modifiers;
    x->mouse_down = 0;
    clear_grips(x);
    if (x->shape_drawing != 1)
        return;
    // A click without a drag leaves a single vertex: no shape.
    if (x->shape_count > 0 && x->shape_point_count[x->shape_count - 1] <= 1) {
        x->shape_point_total -= x->shape_point_count[x->shape_count - 1];
        x->shape_count--;
    }
    x->shape_drawing = 0;
    specgram_invalidate(x, specgram_sym.draw_layer, NULL);
}
