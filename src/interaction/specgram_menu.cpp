// The context menu of spectrogram~ and its edit dialogs.
//
// A context click builds the menu afresh from the box's state: undo and
// redo with the labels of their top entries, the selection edits, the shape
// edits, the inversion switch and the shape-clearing commands, each disabled
// when it has nothing to act on.  Items that need numbers ask for them in a
// one-line text dialog.  An edit pushes an undo snapshot first when its
// target was present as the menu was built, then runs the edit pipeline;
// gains are typed in dB and reach the pipeline as linear factors.  The menu
// posts nothing to the console.
//
// Main thread, modal, from inside the mouse-press callback.  Undo and redo
// take the object's lock themselves; the edits run without it.
#include "specgram_interaction.h"

#include "kernels.h"
#include "specgram_edit.h"
#include "specgram_view_commands.h"

#include <math.h>
#include <stdio.h>

namespace {

enum e_menu_item {
    ITEM_UNDO = 1,
    ITEM_REDO = 2,
    ITEM_ISOLATE_SELECTION = 3,
    ITEM_DELETE_SELECTION = 4,
    ITEM_GAIN_SELECTION = 5,
    ITEM_ISOLATE_SHAPES = 6,
    ITEM_DELETE_SHAPES = 7,
    ITEM_GAIN_SHAPES = 8,
    ITEM_CLEAR_SHAPES = 9,
    ITEM_CLEAR_LAST_SHAPE = 10,
    ITEM_FREQ_SHIFT_SELECTION = 11,
    ITEM_PITCH_SHIFT_SELECTION = 12,
    ITEM_FREQ_SHIFT_SHAPES = 13,
    ITEM_PITCH_SHIFT_SHAPES = 14,
    ITEM_INVERT = 15
};

const char *const gain_prompt = "Enter inside and outside\ngain in dB (e.g. -6 0):";
const char *const freq_shift_prompt = "Enter shift (Hz), gain (dB), mode:\n0 = Move (mix) - default\n"
                                      "1 = Move (replace)\n2 = Copy (mix)\n3 = Copy (replace)";
const char *const pitch_shift_prompt = "Enter shift (semitones), gain (dB), mode:\n0 = Move (mix) - default\n"
                                       "1 = Move (replace)\n2 = Copy (mix)\n3 = Copy (replace)";

// The targets as the menu was built: they decide what is enabled and
// whether a chosen edit pushes an undo snapshot.
struct targets {
    bool selection;
    bool shapes;
};

enum e_gain_kind { GAIN_ISOLATE, GAIN_DELETE, GAIN_TYPED };

struct gain_item {
    int id;
    const char *text;
    const char *label; // undo label
    bool shapes;
    e_gain_kind kind;
};

const gain_item gain_items[] = {
    {ITEM_ISOLATE_SELECTION, "Isolate Selection", "Isolate Selection", false, GAIN_ISOLATE},
    {ITEM_DELETE_SELECTION, "Delete Selection", "Delete Selection", false, GAIN_DELETE},
    {ITEM_GAIN_SELECTION, "Gain Selection...", "Gain Selection", false, GAIN_TYPED},
    {ITEM_ISOLATE_SHAPES, "Isolate Shapes", "Isolate Shapes", true, GAIN_ISOLATE},
    {ITEM_DELETE_SHAPES, "Delete Shapes", "Delete Shapes", true, GAIN_DELETE},
    {ITEM_GAIN_SHAPES, "Gain Shapes...", "Gain Shapes", true, GAIN_TYPED},
};

struct shift_item {
    int id;
    const char *text;
    const char *label;
    bool shapes;
    bool pitch;
};

const shift_item shift_items[] = {
    {ITEM_FREQ_SHIFT_SELECTION, "Frequency Shift Selection...", "Freq-Shift Selection", false, false},
    {ITEM_PITCH_SHIFT_SELECTION, "Pitch Shift Selection...", "Pitch-Shift Selection", false, true},
    {ITEM_FREQ_SHIFT_SHAPES, "Frequency Shift Shapes...", "Freq-Shift Shapes", true, false},
    {ITEM_PITCH_SHIFT_SHAPES, "Pitch Shift Shapes...", "Pitch-Shift Shapes", true, true},
};

bool present(const targets &t, bool shapes) { return shapes ? t.shapes : t.selection; }

// ---------------------------------------------------------------- building

void add_item(t_jpopupmenu *menu, int id, const char *text, bool enabled, bool checked = false)
{
    jpopupmenu_additem(menu, id, text, NULL, checked ? 1 : 0, enabled ? 0 : 1, NULL);
}

// "Undo Gain Selection", or the bare verb when there is no label.
void add_history_item(t_jpopupmenu *menu, int id, const char *verb, const t_undo_snapshot *stack, long count)
{
    char text[128];
    const char *label = specgram_undo_top_label(stack, count);
    if (label[0])
        snprintf(text, sizeof text, "%s %s", verb, label);
    else
        snprintf(text, sizeof text, "%s", verb);
    add_item(menu, id, text, count > 0);
}

void add_gain_item(t_jpopupmenu *menu, int id, const targets &t)
{
    for (const gain_item &g : gain_items)
        if (g.id == id)
            add_item(menu, id, g.text, present(t, g.shapes));
}

void add_shift_item(t_jpopupmenu *menu, int id, const targets &t)
{
    for (const shift_item &s : shift_items)
        if (s.id == id)
            add_item(menu, id, s.text, present(t, s.shapes));
}

void build_menu(t_jpopupmenu *menu, t_specgram *x, const targets &t)
{
    add_history_item(menu, ITEM_UNDO, "Undo", x->undo_stack, x->undo_count);
    add_history_item(menu, ITEM_REDO, "Redo", x->redo_stack, x->redo_count);
    jpopupmenu_addseperator(menu);
    add_gain_item(menu, ITEM_ISOLATE_SELECTION, t);
    add_gain_item(menu, ITEM_DELETE_SELECTION, t);
    add_gain_item(menu, ITEM_GAIN_SELECTION, t);
    add_shift_item(menu, ITEM_FREQ_SHIFT_SELECTION, t);
    add_shift_item(menu, ITEM_PITCH_SHIFT_SELECTION, t);
    jpopupmenu_addseperator(menu);
    add_gain_item(menu, ITEM_ISOLATE_SHAPES, t);
    add_gain_item(menu, ITEM_DELETE_SHAPES, t);
    add_gain_item(menu, ITEM_GAIN_SHAPES, t);
    add_shift_item(menu, ITEM_FREQ_SHIFT_SHAPES, t);
    add_shift_item(menu, ITEM_PITCH_SHIFT_SHAPES, t);
    jpopupmenu_addseperator(menu);
    add_item(menu, ITEM_INVERT, x->edit_inverted ? "Revert Selection/Shapes" : "Invert Selection/Shapes",
             t.selection || t.shapes, x->edit_inverted != 0);
    jpopupmenu_addseperator(menu);
    add_item(menu, ITEM_CLEAR_SHAPES, "Clear Shapes", t.shapes);
    add_item(menu, ITEM_CLEAR_LAST_SHAPE, "Clear Last Shape", t.shapes);
}

// ---------------------------------------------------------------- actions

// Shows a text dialog; true with the typed text when it was confirmed with
// some text (the text belongs to the host, valid until the next dialog).
bool ask(const char *prompt, const char *default_text, const char **text)
{
    *text = NULL;
    return jdialog_showtext(prompt, default_text, 0, text) == 1 && *text && (*text)[0];
}

// The linear inside and outside gains of a menu gain edit; false when the
// dialog is cancelled or its entry holds no number, or a gain that is no
// finite factor ("nan", "inf" would write non-numbers into the buffer).
bool gains_of(t_specgram *x, e_gain_kind kind, double *in, double *out)
{
    if (kind != GAIN_TYPED) {
        *in = kind == GAIN_ISOLATE ? 1 : 0;
        *out = kind == GAIN_ISOLATE ? 0 : 1;
        return true;
    }
    const char *text;
    double in_db = 0, out_db = 0;
    if (!ask(gain_prompt, "0 0", &text) || sscanf(text, "%lf %lf", &in_db, &out_db) < 1)
        return false;
    return specgram_gain_of_db(x, in_db, in) && specgram_gain_of_db(x, out_db, out);
}

void gain_edit(t_specgram *x, const gain_item &g, const targets &t)
{
    double in, out;
    if (!gains_of(x, g.kind, &in, &out))
        return;
    const char *label = present(t, g.shapes) ? g.label : NULL;
    if (x->edit_inverted) {
        double swap = in;
        in = out;
        out = swap;
    }
    if (g.shapes)
        specgram_gain_mask_shapes_to_buffer(x, in, out, label);
    else
        specgram_gain_mask_selection_to_buffer(x, in, out, label);
}

void shift_edit(t_specgram *x, const shift_item &s, const targets &t)
{
    const char *text;
    if (!ask(s.pitch ? pitch_shift_prompt : freq_shift_prompt, "0 0 0", &text))
        return;
    double shift = 0, gain_db = 0;
    int mode = 0;
    sscanf(text, "%lf %lf %d", &shift, &gain_db, &mode); // what is not there stays 0
    if (mode < SPECEDIT_MOVE_MIX || mode > SPECEDIT_COPY_REPLACE)
        mode = SPECEDIT_MOVE_MIX;
    double gain;
    if (!specgram_gain_of_db(x, gain_db, &gain))
        return;
    const char *label = present(t, s.shapes) ? s.label : NULL;
    if (s.pitch && s.shapes)
        specgram_pitch_shift_shapes_to_buffer(x, mode, shift, gain, label);
    else if (s.pitch)
        specgram_pitch_shift_selection_to_buffer(x, mode, shift, gain, label);
    else if (s.shapes)
        specgram_freq_shift_shapes_to_buffer(x, mode, shift, gain, label);
    else
        specgram_freq_shift_selection_to_buffer(x, mode, shift, gain, label);
}

// Flips `edit_inverted` through its setter, which stores it and repaints.
void toggle_inversion(t_specgram *x)
{
    t_atom a;
    atom_setlong(&a, x->edit_inverted ? 0 : 1);
    object_attr_setvalueof(x, gensym("edit_inverted"), 1, &a);
}

void carry_out(t_specgram *x, int id, const targets &t)
{
    switch (id) {
    case ITEM_UNDO:
        return specgram_undo(x, 0);
    case ITEM_REDO:
        return specgram_redo(x, 0);
    case ITEM_CLEAR_SHAPES:
        return specgram_shapes_clear(x);
    case ITEM_CLEAR_LAST_SHAPE:
        return specgram_shapes_clear_last(x);
    case ITEM_INVERT:
        return toggle_inversion(x);
    default:
        break;
    }
    for (const gain_item &g : gain_items)
        if (g.id == id)
            return gain_edit(x, g, t);
    for (const shift_item &s : shift_items)
        if (s.id == id)
            return shift_edit(x, s, t);
}

} // namespace

void specgram_context_menu(t_specgram *x, t_object *patcherview, t_pt pt)
{
    t_jpopupmenu *menu = jpopupmenu_create();
    if (!menu)
        return;
    targets t = {specgram_has_selection(x) != 0, x->shape_count > 0};
    build_menu(menu, x, t);
    t_rect r = {0, 0, 0, 0};
    jbox_get_rect_for_view((t_object *)x, patcherview, &r);
    long sx = 0, sy = 0;
    patcherview_canvas_to_screen(patcherview, r.x + pt.x, r.y + pt.y, &sx, &sy);
    t_pt screen = {(double)sx, (double)sy};
    int id = jpopupmenu_popup(menu, screen, 0);
    carry_out(x, id, t);
    jpopupmenu_destroy(menu);
}
