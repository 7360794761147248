// gradix: the colour bar that goes with a spectrogram~ box.
//
// A gradix box is patched from its outlet into an inlet of a spectrogram~.
// It finds that box by walking the patcher's cords, listens to it, and draws
// a vertical bar from the spectrogram's mag_min (bottom row) to mag_max (top
// row) in its colour scheme, with dB labels, on two cached layers.  It keeps
// no copy of the spectrogram's settings: they are read by attribute name
// whenever the bar is drawn, so nothing of spectrogram~ is linked in; the
// colour tables and the mapping are this plug-in's own copy of the shared
// rendering core.  The `write` message saves the same picture as a PNG.
//
// Everything here runs on the host's main thread; the object takes no lock.
#pragma once

#include "ext.h"
#include "ext_obex.h"
#include "jgraphics.h"

#include "colormap.h"

#define GRADIX_TEXTSIZE_MIN 1
#define GRADIX_TEXTSIZE_MAX 72

enum e_gradix_justification { GRADIX_JUSTIFY_LEFT = 0, GRADIX_JUSTIFY_CENTER, GRADIX_JUSTIFY_RIGHT };

typedef struct _gradix {
    // box and outlet
    t_jbox box;          // the host's box; b_firstin is the object itself (one inlet)
    void *outlet;        // the only outlet; sends nothing, it is there to be patched

    // connection
    t_object *spectrogram; // the connected spectrogram~, borrowed while attached; null when none

    // drawing
    double box_width;  // pixels, box size seen by the last paint
    double box_height; // pixels

    // attributes
    t_jrgba textcolor;      // label colour
    long textsize;          // label size in points, 1..72
    char textjustification; // e_gradix_justification
} t_gradix;

// The names the handlers compare by identity, interned once by ext_main.
typedef struct _gradix_symbols {
    t_symbol *attr_modified;
    t_symbol *box;          // "#B"
    t_symbol *patcher;      // "#P"
    t_symbol *color_scheme;
    t_symbol *custom_color[COLORMAP_CUSTOM_STOPS];
    t_symbol *free;
    t_symbol *getname;
    t_symbol *mag_min;
    t_symbol *mag_max;
    t_symbol *patching_rect;
    t_symbol *magnitudes_layer;
    t_symbol *gradix;
    t_symbol *spectrogram;  // "spectrogram~"
    t_symbol *text_layer;
    t_symbol *textcolor;
    t_symbol *textjustification;
    t_symbol *textsize;
    t_symbol *write;
} t_gradix_symbols;

extern t_gradix_symbols gradix_sym; // filled by ext_main before any box exists
extern t_class *gradix_class;       // the registered class, for gradix_new

// ---------------------------------------------------------------- lifecycle (gradix.cpp)

// Constructor: needs the creation dictionary, returns the new object or null.
void *gradix_new(t_symbol *s, long argc, t_atom *argv);

// Destructor: detaches from the spectrogram if it is still there.
void gradix_free(t_gradix *x);

// Help text: the outlet says where it goes; inlets get none.
void gradix_assist(t_gradix *x, void *b, long io, long index, char *text);

// ---------------------------------------------------------------- connection (connection.cpp)

// Walks the cords for the first one from outlet 0 to a spectrogram~ and
// attaches to it (detaching from a previous one).  Returns 1 when the
// connection changed, 0 when it did not.
long gradix_find_connected_spectrogram(t_gradix *x);

// `bang` and `loadbang`: look for the connected spectrogram~; no repaint.
void gradix_bang(t_gradix *x);
void gradix_loadbang(t_gradix *x);

// Host notifications: the spectrogram's colour attributes and its deletion
// repaint both layers, our own text attributes the text layer; everything
// is passed on to jbox_notify, whose result is returned.
t_max_err gradix_notify(t_gradix *x, t_symbol *s, t_symbol *msg, void *sender, void *data);

// Invalidates both layers and schedules a repaint.
void gradix_redraw_all(t_gradix *x);

// Whether o is still an object known to the host (registered); 1 or 0.
int gradix_is_registered(t_object *o);

// ---------------------------------------------------------------- painting (paint.cpp)

// Host paint method: the bar on "magnitudes_layer", the labels on "text_layer".
void gradix_paint(t_gradix *x, t_object *patcherview);

// The colour of magnitude mag (dB) under the connected spectrogram's
// mag_min, mag_max, color_scheme and custom colours, read anew by name;
// written in full to *color; opaque white when unconnected.
void gradix_magnitude_to_color(t_gradix *x, t_jrgba *color, float mag);

// Fills g (width x height pixels) with the bar: the colour of mag_max on the
// top row down to mag_min on the bottom one; all black when unconnected.
void gradix_draw_bar(t_gradix *x, t_jgraphics *g, long width, long height);

// Draws the dB labels into g for a bar of width x height pixels; nothing
// when unconnected.
void gradix_add_text_to_jgraphics(t_gradix *x, t_jgraphics *g, long width, long height);

// ---------------------------------------------------------------- export (export.cpp)

// Messages other than the registered ones: `write [name] [width height [dpi]]`
// saves the bar as a PNG; anything else is ignored.
void gradix_anything(t_gradix *x, t_symbol *s, long argc, t_atom *argv);
