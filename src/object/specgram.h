// The spectrogram~ object record, and the object-level routines that other
// modules of the plug-in call.
//
// One t_specgram per box; the host allocates it zeroed (its size is given at
// class registration) and the constructor fills it.  Ownership: the record
// owns `samples`, the analysis state `mags`, `surface`, `buffer_ref`, the
// lock and every undo/redo snapshot, and frees them in specgram_free.  The
// buffer~ and its samples belong to the host.
//
// Threads: everything runs on the host's main thread, except the column
// analysis inside specmags_process, which fans out to worker threads while
// the caller holds `lock`.  `lock` (re-entrant for its holder) guards
// `samples`, `mags`, `surface` and the view fields.  Nothing is sent out
// (outlets, notifications, deferred calls) while `lock` or a buffer~ sample
// lock is held: setters mark `report_due` and specgram_report_view sends the
// report afterwards.
//
// Units: times in ms, frequencies in Hz, magnitudes in dB; pixel fields in
// view pixels; normalised positions are fractions of the box (y from the top).
#pragma once

#include "ext.h"
#include "ext_obex.h"
#include "ext_buffer.h"
#include "ext_critical.h"
#include "jgraphics.h"

#include "specmags.h"
#include "view_geometry.h"

#define SPECGRAM_MAX_SHAPES 64
#define SPECGRAM_MAX_SHAPE_POINTS 4096
#define SPECGRAM_UNDO_DEPTH 20
#define SPECGRAM_UNDO_LABEL_SIZE 64

// A t_atom_long (64 bits everywhere) narrowed to long (32 bits on Windows):
// a value outside the 32-bit range saturates instead of wrapping, the same
// way on every platform.  Every integer argument, attribute value and frame
// count goes through it.
static inline long specgram_narrow(t_atom_long v)
{
    return v > 2147483647 ? 2147483647L : (v < -2147483647 - 1 ? -2147483647L - 1 : (long)v);
}

enum e_specgram_mouse_mode { SPECGRAM_MOUSE_SELECT = 0, SPECGRAM_MOUSE_MOVE = 1, SPECGRAM_MOUSE_DRAW = 2 };

// What the current mouse drag does.  The selection grips are bits, so a
// corner is the pair of its edges; the other motions are single values.
enum e_specgram_motion {
    SPECGRAM_MOTION_NONE = 0,
    SPECGRAM_MOTION_LEFT = 1,    // selection edges and corners: any combination of
    SPECGRAM_MOTION_RIGHT = 2,   // one of left and right with one of top and bottom
    SPECGRAM_MOTION_TOP = 4,
    SPECGRAM_MOTION_BOTTOM = 8,
    SPECGRAM_MOTION_EDGES = 15,  // mask of the edge bits
    SPECGRAM_MOTION_RUBBER_BAND = 16, // a new selection from the press to the pointer
    SPECGRAM_MOTION_MOVE_BOX = 17,    // the whole selection (with Shift: resized about its centre)
    SPECGRAM_MOTION_PAN_ZOOM = 18,    // Move mode
    SPECGRAM_MOTION_DRAW = 19         // Draw mode
};

// Surface update modes of specgram_update_surface.
enum e_specgram_surface_mode {
    SPECGRAM_SURFACE_RESIZE = 0,   // resize only
    SPECGRAM_SURFACE_CURRENT = 1,  // resize, image unchanged (a pending re-render stays), repaint the selection
    SPECGRAM_SURFACE_RERENDER = 2  // resize, re-render the image, repaint all layers
};

// One undo or redo entry: the samples an edit rewrote, a span of frames of
// some adjacent channels, with the buffer's size when it was taken.
typedef struct _undo_snapshot {
    float *samples;                       // owned; span_frames * chan_count floats, interleaved by
                                          // frame; null when the span is empty
    long frames;                          // the buffer~'s frames and channels when taken
    long channels;
    long span_start;                      // first frame held
    long span_frames;                     // frames held
    long chan_first;                      // first channel held, 0-based
    long chan_count;                      // channels held
    char label[SPECGRAM_UNDO_LABEL_SIZE]; // NUL-terminated, at most 63 characters
} t_undo_snapshot;

typedef struct _specgram {
    t_jbox box; // must come first; b_firstin is the object itself

    // ---- outlets, left to right ----
    void *outlet_display_start;   // 0: float, ms
    void *outlet_display_length;  // 1: float, ms
    void *outlet_display_low;     // 2: float, Hz
    void *outlet_display_high;    // 3: float, Hz
    void *outlet_selection_start; // 4: float, ms
    void *outlet_selection_end;   // 5: float, ms
    void *outlet_selection_low;   // 6: float, Hz
    void *outlet_selection_high;  // 7: float, Hz
    void *outlet_link;            // 8: list of the eight view values (Link Out)
    void *outlet_mouse_data;      // 9: list: time (ms), frequency (Hz), magnitude (dB)

    // ---- buffer binding ----
    t_buffer_ref *buffer_ref; // owned; null until the first buffer update
    t_symbol *buffer_name;    // attribute; the empty symbol: no buffer wanted
    float *samples;           // owned mono working copy, >= frame_count floats; never null after construction
    long frame_count;         // frames of the buffer, >= 1
    long channel_count;       // channels of the buffer, >= 1
    double sample_rate;       // Hz
    double buffer_length_ms;  // frame_count / sample_rate * 1000

    // ---- analysis ----
    t_specmags mags;          // analysis state, embedded
    t_critical lock;          // owned; from construction step 7 to destruction step 2
    long buffer_chan;         // attribute: 0 mean of all channels, else the channel asked for (>= 1)
    double mag_min;           // attribute, dB, -120..120
    double mag_max;           // attribute, dB, -120..120, >= mag_min
    long color_scheme;        // attribute, 0..19
    t_jrgba custom_color1;    // attributes: the five stops of the custom scheme, one after another
    t_jrgba custom_color2;
    t_jrgba custom_color3;
    t_jrgba custom_color4;
    t_jrgba custom_color5;
    long mouse_mode;          // attribute: 0 Select, 1 Move, 2 Draw
    long analysis_attr_slot;  // storage the analysis attributes name; their accessors use `mags`

    // ---- image ----
    t_jsurface *surface;      // owned ARGB image, one pixel per display column and row at most
    char surface_dirty;       // 1: the next paint re-renders `surface`
    double box_width;         // last known box size, pixels
    double box_height;
    double surface_width;     // size of `surface`, pixels
    double surface_height;

    // ---- view and selection ----
    double display_start, display_length; // visible time window, ms
    double display_low, display_high;     // visible frequency window, Hz
    double selection_start, selection_end; // ms
    double selection_low, selection_high;  // Hz

    // ---- reports ----
    char report_due;          // 1: the view state changed and is still to be reported
    char reporting;           // 1 while the box sends its view report
    char link_pending;        // 1: a Link In arrived during the report and waits in link_in
    double link_in[8];        // that Link In's eight values

    // ---- mouse ----
    t_pt mouse_down_point;    // press position, normalised 0..1
    t_pt mouse_norm;          // last position, normalised (x / width, y / height)
    long motion;              // e_specgram_motion of the drag under way
    t_rect motion_box;        // Select drags: the box the grips move, view pixels, from the press

    // ---- drawing attributes ----
    double selection_linewidth;
    t_jrgba selection_linecolor;
    char freq_text, time_text;
    long time_format;         // 0..5
    t_jrgba textcolor;
    long textsize;            // points, 1..72

    // ---- shapes ----
    double shape_points[SPECGRAM_MAX_SHAPE_POINTS][2]; // (time ms, frequency Hz), shape after shape
    long shape_point_total;   // vertices in use
    long shape_start[SPECGRAM_MAX_SHAPES];             // first vertex of each shape
    long shape_point_count[SPECGRAM_MAX_SHAPES];       // vertices of each shape
    long shape_count;         // 0..64
    double draw_linewidth;
    t_jrgba draw_linecolor;
    char shape_drawing;       // 1 while the last shape is being drawn

    // ---- edit and undo ----
    char self_edit_pending;   // 1 after the object wrote the buffer~, until its buffer_modified
    int64_t self_edit_begin;  // frames [begin, end) the object wrote meanwhile (empty: none)
    int64_t self_edit_end;
    char edit_inverted;       // attribute
    char mouse_hover;         // attribute: hovering reports the mouse data too
    t_undo_snapshot undo_stack[SPECGRAM_UNDO_DEPTH]; // oldest first
    long undo_count;
    t_undo_snapshot redo_stack[SPECGRAM_UNDO_DEPTH];
    long redo_count;

    // ---- implementation ----
    long samples_capacity;    // floats allocated in `samples`
    long analysis_runs;       // column analyses run so far (for tests and diagnostics)
} t_specgram;

// Names compared by identity or sent, interned once by ext_main.
typedef struct _specgram_symbols {
    t_symbol *empty, *spectrogram, *getname, *attr_modified, *buffer_modified;
    t_symbol *magnitudes_layer, *text_layer, *selection_layer, *draw_layer;
    t_symbol *buffer_name, *buffer_chan, *win_zero_pad, *mag_min, *mag_max, *mouse_mode;
    t_symbol *custom_color1, *custom_color2, *custom_color3, *custom_color4, *custom_color5;
    t_symbol *selection_linecolor, *selection_linewidth, *textcolor, *textsize;
    t_symbol *freq_text, *time_text, *time_format, *draw_linecolor, *draw_linewidth, *patcher_key;
    t_symbol *globalsymbol_binding, *globalsymbol_unbinding;
} t_specgram_symbols;

extern t_specgram_symbols specgram_sym;
extern t_class *specgram_class;

#ifdef __cplusplus
extern "C" {
#endif

// ---- surface (surface.cpp) ----
// Keeps `surface` sized to the analysis and the box; modes above.  Caller holds `lock`
// for modes that other threads may race with (the setters do).
void specgram_update_surface(t_specgram *x, long mode);
// Invalidates the named layers (null-terminated list) and redraws the box.
void specgram_invalidate(t_specgram *x, t_symbol *layer, ...);

// ---- view, inlets and outlets (view.cpp) ----
void specgram_float(t_specgram *x, double v);
void specgram_in1(t_specgram *x, double v);
void specgram_in2(t_specgram *x, double v);
void specgram_in3(t_specgram *x, double v);
void specgram_in4(t_specgram *x, double v);
void specgram_in5(t_specgram *x, double v);
void specgram_in6(t_specgram *x, double v);
void specgram_in7(t_specgram *x, double v);
void specgram_in8(t_specgram *x, t_symbol *s, long argc, t_atom *argv);
// Sets the whole view state with the sentinel rules and repaints; the report
// is only recorded as due: the caller sends it with specgram_report_view
// once it has left `lock`.
void specgram_set_display_and_selection(t_specgram *x, long force, double display_start, double display_length,
                                        double display_low, double display_high, double selection_start,
                                        double selection_end, double selection_low, double selection_high);
// Sends the view report if one is due (outlets 7..0, then the Link Out list
// on outlet 8), then applies any Link In that arrived meanwhile, until
// nothing is left.  Never call it while holding `lock` or a sample lock.
// Within a report it only returns: the report under way picks the change up.
void specgram_report_view(t_specgram *x);
// Reports the view state now (records it as due and reports it).
void specgram_output_to_outlets(t_specgram *x);
// Deferred form for defer_low.
void specgram_output_to_outlets_deferred(t_specgram *x, t_symbol *s, short argc, t_atom *argv);
// Reports time, frequency and dB at mouse_norm on outlet 9; box_height in pixels.
void specgram_output_mouse_data(t_specgram *x, double box_height);

// ---- buffer binding and notifications (buffer.cpp) ----
void specgram_update_buffer(t_specgram *x, long reset_view);
// The channel shown: 0 for the mean, else buffer_chan, or the buffer's last
// channel while it has fewer.
long specgram_shown_channel(const t_specgram *x);
t_max_err specgram_buffer_name_set(t_specgram *x, void *attr, long argc, t_atom *argv);
t_max_err specgram_buffer_chan_set(t_specgram *x, void *attr, long argc, t_atom *argv);
t_max_err specgram_notify(t_specgram *x, t_symbol *s, t_symbol *msg, void *sender, void *data);
// Re-binds to buffer_name as a new name does: reload, re-analyse, whole view, selection cleared.
void specgram_rebind(t_specgram *x);
// Resizes the edit STFT to the working copy (outside `lock`); edits run its forward transform.
void specgram_refresh_edit_stft(t_specgram *x);

// ---- creation and destruction (lifecycle.cpp) ----
void *specgram_new(t_symbol *s, long argc, t_atom *argv);
void specgram_free(t_specgram *x);
void specgram_assist(t_specgram *x, void *b, long m, long a, char *s);

// ---- attribute accessors (attributes.cpp) ----
t_max_err specgram_edit_stft_win_size_get(t_specgram *x, void *attr, long *argc, t_atom **argv);
t_max_err specgram_edit_stft_win_size_set(t_specgram *x, void *attr, long argc, t_atom *argv);
t_max_err specgram_fft_win_size_get(t_specgram *x, void *attr, long *argc, t_atom **argv);
t_max_err specgram_fft_win_size_set(t_specgram *x, void *attr, long argc, t_atom *argv);
t_max_err specgram_fft_zero_pad_get(t_specgram *x, void *attr, long *argc, t_atom **argv);
t_max_err specgram_fft_zero_pad_set(t_specgram *x, void *attr, long argc, t_atom *argv);
t_max_err specgram_fft_win_overlap_get(t_specgram *x, void *attr, long *argc, t_atom **argv);
t_max_err specgram_fft_win_overlap_set(t_specgram *x, void *attr, long argc, t_atom *argv);
t_max_err specgram_fft_win_type_get(t_specgram *x, void *attr, long *argc, t_atom **argv);
t_max_err specgram_fft_win_type_set(t_specgram *x, void *attr, long argc, t_atom *argv);
t_max_err specgram_fft_mag_scale_get(t_specgram *x, void *attr, long *argc, t_atom **argv);
t_max_err specgram_fft_mag_scale_set(t_specgram *x, void *attr, long argc, t_atom *argv);
t_max_err specgram_freq_reassign_get(t_specgram *x, void *attr, long *argc, t_atom **argv);
t_max_err specgram_freq_reassign_set(t_specgram *x, void *attr, long argc, t_atom *argv);
t_max_err specgram_mouse_mode_set(t_specgram *x, void *attr, long argc, t_atom *argv);
t_max_err specgram_fft_mag_min_set(t_specgram *x, void *attr, long argc, t_atom *argv);
t_max_err specgram_fft_mag_max_set(t_specgram *x, void *attr, long argc, t_atom *argv);
t_max_err specgram_fft_color_scheme_set(t_specgram *x, void *attr, long argc, t_atom *argv);
t_max_err specgram_edit_inverted_set(t_specgram *x, void *attr, long argc, t_atom *argv);
// The host cursor for a mouse mode (arrow, dragging hand, crosshair).
t_jmouse_cursortype specgram_cursor_for_mode(long mode);

// ---- rendering (src/render) ----
void specgram_paint(t_specgram *x, t_object *patcherview);
void specgram_magnitude_to_color(t_specgram *x, t_jrgba *color, float mag);
void specgram_add_text_to_jgraphics(t_specgram *x, t_jgraphics *g, long width, long height);
// The `write` message: optional name, width, height, dpi.
void specgram_write(t_specgram *x, long argc, t_atom *argv);
void specgram_write_png(t_specgram *x, short folder, const char *filename, const char *fullpath, long width,
                        long height, long dpi);

// ---- interaction (src/interaction) ----
void specgram_anything(t_specgram *x, t_symbol *s, long argc, t_atom *argv);
void specgram_mouseenter(t_specgram *x, t_object *patcherview, t_pt pt, long modifiers);
void specgram_mousedown(t_specgram *x, t_object *patcherview, t_pt pt, long modifiers);
void specgram_mousedrag(t_specgram *x, t_object *patcherview, t_pt pt, long modifiers);
void specgram_mouseup(t_specgram *x, t_object *patcherview, t_pt pt, long modifiers);
// Hover: with mouse_hover on, the mouse data under the pointer (outlet 9).
void specgram_mousemove(t_specgram *x, t_object *patcherview, t_pt pt, long modifiers);
// The wheel zooms time about the pointer (with Cmd, Ctrl or Alt,
// frequency); a horizontal wheel or Shift with the wheel pans time.
void specgram_mousewheel(t_specgram *x, t_object *patcherview, t_pt pt, long modifiers, double x_inc, double y_inc);
// A double-click selects the whole sound in Select mode and shows it all in
// Move mode; in Draw mode it does nothing more than its two clicks.
void specgram_mousedoubleclick(t_specgram *x, t_object *patcherview, t_pt pt, long modifiers);

// ---- editing and undo (src/edit) ----
// Empties both undo stacks, freeing every snapshot.
void specgram_undo_clear(t_specgram *x);

#ifdef __cplusplus
}
#endif
