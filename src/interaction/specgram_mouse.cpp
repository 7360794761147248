// Mouse gestures of spectrogram~: the host's mouse callbacks.
//
// What a press and a drag do depends on `mouse_mode`.  A press chooses the
// drag's motion (`motion`), which the drag carries out and the release
// ends.  Select: a press on the selection box grabs an edge, a corner or the
// whole box (hit-tested on the box placed from the selection values); a
// press elsewhere starts a rubber band.  Each drag event moves the grabbed
// part of the gesture's own pixel box, turns the edges it moved into
// selection values through the view geometry and reports them; a press and
// release without motion changes nothing.  Move pans and zooms the time
// axis, or with Shift the frequency axis, through
// specgram_set_display_and_selection.  Draw adds free-hand polygon shapes to
// the shape store, one vertex per drag event, and Shift-click deletes the
// most recent shape under the pointer.  A press carrying the host's
// context-menu flag opens the edit menu instead, in every mode.  Press and
// drag end by reporting the data under the pointer on the mouse-data outlet.
// The wheel zooms and pans; a double-click selects the whole sound (Select)
// or shows all of it (Move), as the select_all and view_all messages do.
//
// Pointer positions arrive in box pixels (y downward); `mouse_norm` and
// `mouse_down_point` hold them as fractions of the box.  Vertices are stored
// in ms and Hz, their frequency on the lower edge of the pointer's display
// row.  Main thread only.  View changes happen under `lock` and are reported
// after it is released; the shape store is the mouse's own.
#include "specgram_interaction.h"

#include "kernels.h"
#include "specgram_view_commands.h"

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

// The vertex under the pointer: (time ms, lower edge of its row in Hz).
void pointer_vertex(const t_specgram *x, t_pt pt, box_size s, double *time, double *freq)
{
    *time = specgram_time_at(x, pt.x, s.w);
    *freq = specmags_current_edges(&x->mags)[specgram_display_row_at(x, pt.y, s.h)];
}

void set_cursor(t_specgram *x, t_object *view)
{
    jmouse_setcursor(view, (t_object *)x, specgram_cursor_for_mode(x->mouse_mode));
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
    critical_enter(x->lock); // the row edges belong to the analysis state
    pointer_vertex(x, pt, s, &time, &freq);
    critical_exit(x->lock);
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
    critical_enter(x->lock);
    pointer_vertex(x, pt, s, &time, &freq);
    critical_exit(x->lock);
    append_vertex(x, time, freq);
    x->shape_point_count[x->shape_count - 1]++;
    specgram_invalidate(x, specgram_sym.draw_layer, NULL);
}

// ---------------------------------------------------------------- Select

// The motion of a Select press at pt on the selection box: the edges within
// the line width plus two pixels (inside or outside the box), else the whole
// box; a press away from the box starts a rubber band.
long select_motion(const t_specgram *x, t_pt pt, const t_rect *box)
{
    double g = x->selection_linewidth + 2;
    double bx = box->x, by = box->y, bw = box->width, bh = box->height;
    if (pt.x < bx - g || pt.x > bx + bw + g || pt.y < by - g || pt.y > by + bh + g)
        return SPECGRAM_MOTION_RUBBER_BAND;
    long edges = SPECGRAM_MOTION_NONE;
    if (fabs(bx - pt.x) <= g)
        edges |= SPECGRAM_MOTION_LEFT;
    else if (fabs(bx + bw - pt.x) <= g)
        edges |= SPECGRAM_MOTION_RIGHT;
    if (fabs(by - pt.y) <= g)
        edges |= SPECGRAM_MOTION_TOP;
    else if (fabs(by + bh - pt.y) <= g)
        edges |= SPECGRAM_MOTION_BOTTOM;
    return edges ? edges : (long)SPECGRAM_MOTION_MOVE_BOX;
}

void select_press(t_specgram *x, t_pt pt, box_size s)
{
    critical_enter(x->lock);
    specgram_selection_box(x, s.w, s.h, &x->motion_box);
    critical_exit(x->lock);
    x->motion = select_motion(x, pt, &x->motion_box);
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

// Moves the grabbed edge of one axis of the gesture box by d: the near edge
// (left or top) or the far one (right or bottom).  Returns the edges whose
// values change: the grabbed one, or both when the span collapsed onto it.
long move_edge(double *pos, double *len, double d, long grabbed, long near_edge, long far_edge)
{
    if (d == 0 || !grabbed)
        return 0;
    if (grabbed == near_edge)
        drag_near_edge(pos, len, d);
    else
        drag_far_edge(pos, len, d);
    return *len > 0 ? grabbed : (near_edge | far_edge);
}

// Applies a drag of (dx, dy) pixels to the gesture box; returns the selection
// edges it moved (edge motion bits).
long move_box(t_specgram *x, double dx, double dy, long modifiers)
{
    t_rect *b = &x->motion_box;
    const long horizontal = SPECGRAM_MOTION_LEFT | SPECGRAM_MOTION_RIGHT;
    const long vertical = SPECGRAM_MOTION_TOP | SPECGRAM_MOTION_BOTTOM;
    if (x->motion == SPECGRAM_MOTION_MOVE_BOX) {
        if (!(modifiers & eShiftKey)) {
            b->x += dx;
            b->y += dy;
        } else {
            resize_about_centre(&b->x, &b->width, dx);  // moving right widens
            resize_about_centre(&b->y, &b->height, -dy); // moving up makes it taller
        }
        return (dx != 0 ? horizontal : 0) | (dy != 0 ? vertical : 0);
    }
    return move_edge(&b->x, &b->width, dx, x->motion & horizontal, SPECGRAM_MOTION_LEFT, SPECGRAM_MOTION_RIGHT) |
           move_edge(&b->y, &b->height, dy, x->motion & vertical, SPECGRAM_MOTION_TOP, SPECGRAM_MOTION_BOTTOM);
}

// Sets the selection edges named by `moved` from the gesture's box; an edge
// that crosses the unmoved one takes it along.
void selection_from_box(t_specgram *x, long moved, box_size s)
{
    const t_rect *b = &x->motion_box;
    if (moved & SPECGRAM_MOTION_LEFT)
        x->selection_start = specgram_selection_time_at(x, b->x, s.w);
    if (moved & SPECGRAM_MOTION_RIGHT)
        x->selection_end = specgram_selection_time_at(x, b->x + b->width, s.w);
    if (moved & SPECGRAM_MOTION_TOP)
        x->selection_high = specgram_selection_freq_at(x, b->y, s.h);
    if (moved & SPECGRAM_MOTION_BOTTOM)
        x->selection_low = specgram_selection_freq_at(x, b->y + b->height, s.h);
    if (x->selection_start > x->selection_end) {
        if (moved & SPECGRAM_MOTION_LEFT)
            x->selection_end = x->selection_start;
        else
            x->selection_start = x->selection_end;
    }
    if (x->selection_low > x->selection_high) {
        if (moved & SPECGRAM_MOTION_BOTTOM)
            x->selection_high = x->selection_low;
        else
            x->selection_low = x->selection_high;
    }
}

void select_drag(t_specgram *x, t_pt pt, box_size s, long modifiers)
{
    t_pt p = normalised(pt, s);
    double dx = (p.x - x->mouse_norm.x) * s.w, dy = (p.y - x->mouse_norm.y) * s.h;
    x->mouse_norm = p;
    long moved = SPECGRAM_MOTION_EDGES;
    if (x->motion == SPECGRAM_MOTION_RUBBER_BAND) {
        if (dx == 0 && dy == 0)
            return; // no motion: the band (or the untouched selection) stays
        const double ax = x->mouse_down_point.x * s.w, ay = x->mouse_down_point.y * s.h;
        const double bx = p.x * s.w, by = p.y * s.h;
        x->motion_box.x = fmin(ax, bx);
        x->motion_box.y = fmin(ay, by);
        x->motion_box.width = fabs(bx - ax);
        x->motion_box.height = fabs(by - ay);
    } else {
        moved = move_box(x, dx, dy, modifiers);
    }
    if (!moved)
        return;
    critical_enter(x->lock);
    selection_from_box(x, moved, s);
    critical_exit(x->lock);
    specgram_invalidate(x, specgram_sym.selection_layer, NULL);
    specgram_output_to_outlets(x);
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
        specgram_visible_rows(x, &a, &b);
        low = edges[specgram_clamp_row(a - 2 * dy * r - 2 * dx * r, rows)];
        high = edges[specgram_clamp_row(b + 1 - 2 * dy * r + 2 * dx * r, rows)];
    }
    specgram_set_display_and_selection(x, 1, start, length, low, high, x->selection_start, x->selection_end,
                                       x->selection_low, x->selection_high);
    critical_exit(x->lock);
    specgram_report_view(x);
}

// ---------------------------------------------------------------- wheel

// The wheel's zoom per step (a notch is about one step); up zooms in.
const double wheel_zoom = 0.8;
// The wheel's pan per step, in shares of the shown span.
const double wheel_pan = 0.1;

// Time zoomed by `factor` about the time under the pointer (p.x of the box),
// and panned by `pan` spans; a pan stops at either end of the sound with the
// span it has.
void wheel_time(const t_specgram *x, t_pt p, double factor, double pan, double *start, double *length)
{
    double at = *start + p.x * *length;
    *length *= factor;
    *start = at - p.x * *length;
    if (pan != 0) {
        double last = x->buffer_length_ms - *length;
        *start += pan * *length;
        *start = *start > last ? last : *start;
        *start = *start < 0 ? 0 : *start;
    }
}

// Frequency zoomed by `factor` about the display row under the pointer.
void wheel_freq(t_specgram *x, t_pt p, double factor, double *low, double *high)
{
    const float *edges = specmags_current_edges(&x->mags);
    long rows = (long)x->mags.num_bins, a, b;
    specgram_visible_rows(x, &a, &b);
    double at = b + 1 - p.y * (b + 1 - a); // rows grow upwards, y downwards
    *low = edges[specgram_clamp_row(at - (at - a) * factor, rows)];
    *high = edges[specgram_clamp_row(at + (b + 1 - at) * factor, rows)];
}

} // namespace

void specgram_mousewheel(t_specgram *x, t_object *patcherview, t_pt pt, long modifiers, double x_inc, double y_inc)
{
    box_size s = size_of(x, patcherview);
    t_pt p = normalised(pt, s);
    bool shift = (modifiers & eShiftKey) != 0;
    bool freq = (modifiers & (eCommandKey | eControlKey | eAltKey)) != 0;
    critical_enter(x->lock);
    double start = x->display_start, length = x->display_length;
    double low = x->display_low, high = x->display_high;
    if (freq && !shift)
        wheel_freq(x, p, pow(wheel_zoom, y_inc), &low, &high);
    else if (shift)
        wheel_time(x, p, 1, wheel_pan * (x_inc - y_inc), &start, &length);
    else
        wheel_time(x, p, pow(wheel_zoom, y_inc), wheel_pan * x_inc, &start, &length);
    specgram_set_display_and_selection(x, 1, start, length, low, high, x->selection_start, x->selection_end,
                                       x->selection_low, x->selection_high);
    critical_exit(x->lock);
    specgram_report_view(x);
}

void specgram_mousedoubleclick(t_specgram *x, t_object *patcherview, t_pt pt, long modifiers)
{
    (void)patcherview;
    (void)pt;
    (void)modifiers;
    const char *command = x->mouse_mode == SPECGRAM_MOUSE_SELECT ? "select_all"
                          : x->mouse_mode == SPECGRAM_MOUSE_MOVE ? "view_all"
                                                                 : NULL;
    if (!command)
        return;
    // The second press of the pair starts no drag: moving on before the
    // release must not turn the whole selection or view back into a gesture.
    x->motion = SPECGRAM_MOTION_NONE;
    specgram_view_command(x, gensym(command));
}

void specgram_mousemove(t_specgram *x, t_object *patcherview, t_pt pt, long modifiers)
{
    (void)modifiers;
    if (!x->mouse_hover)
        return;
    box_size s = size_of(x, patcherview);
    x->mouse_norm = normalised(pt, s);
    specgram_output_mouse_data(x, s.h);
}

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
        // No release follows the menu: no drag may continue after it.
        x->motion = SPECGRAM_MOTION_NONE;
        specgram_context_menu(x, patcherview, pt);
        return;
    }
    set_cursor(x, patcherview);
    if (x->mouse_mode == SPECGRAM_MOUSE_DRAW) {
        x->motion = SPECGRAM_MOTION_DRAW;
        draw_press(x, pt, s, modifiers);
        x->mouse_norm = normalised(pt, s); // the readout follows the pointer in every mode
    } else if (x->mouse_mode == SPECGRAM_MOUSE_SELECT) {
        select_press(x, pt, s);
    } else {
        // Move, and any other mode value: the press is Move's, the drag nobody's.
        x->motion = x->mouse_mode == SPECGRAM_MOUSE_MOVE ? SPECGRAM_MOTION_PAN_ZOOM : SPECGRAM_MOTION_NONE;
        x->mouse_norm = normalised(pt, s);
    }
    specgram_output_mouse_data(x, s.h);
}

void specgram_mousedrag(t_specgram *x, t_object *patcherview, t_pt pt, long modifiers)
{
    box_size s = size_of(x, patcherview);
    if (x->motion == SPECGRAM_MOTION_DRAW) {
        draw_drag(x, pt, s);
        x->mouse_norm = normalised(pt, s);
    } else if (x->motion == SPECGRAM_MOTION_PAN_ZOOM) {
        move_drag(x, pt, s, modifiers);
    } else if (x->motion != SPECGRAM_MOTION_NONE) {
        select_drag(x, pt, s, modifiers);
    }
    specgram_output_mouse_data(x, s.h);
}

void specgram_mouseup(t_specgram *x, t_object *patcherview, t_pt pt, long modifiers)
{
    (void)patcherview;
    (void)pt;
    (void)modifiers;
    x->motion = SPECGRAM_MOTION_NONE;
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
