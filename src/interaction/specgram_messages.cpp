// The message handler of spectrogram~: every message without a handler of
// its own arrives here and is recognised by its selector; others are
// ignored without a word.
//
// Arguments: where a number is read as a float, an integer gives its value
// and a symbol gives 0; where it is read as an integer, a float is
// truncated.  Gains typed in dB become linear factors as 10^(dB/20).
#include "specgram_edit.h"
#include "specgram_view_commands.h"

#include <math.h>
#include <string.h>

namespace {

double num_arg(const t_atom *a)
{
    long t = atom_gettype(a);
    return (t == A_LONG || t == A_FLOAT) ? atom_getfloat(a) : 0;
}

struct gain_command {
    const char *name;
    const char *label;
    bool shapes;
    int kind; // 0 isolate, 1 delete, 2 gain
};

const gain_command gain_commands[] = {
    {"edit_shapes_isolate", "Isolate Shapes", true, 0},
    {"edit_shapes_delete", "Delete Shapes", true, 1},
    {"edit_shapes_gain", "Gain Shapes", true, 2},
    {"edit_selection_isolate", "Isolate Selection", false, 0},
    {"edit_selection_delete", "Delete Selection", false, 1},
    {"edit_selection_gain", "Gain Selection", false, 2},
};

struct shift_command {
    const char *name;
    const char *label;
    bool shapes;
    bool pitch;
};

const shift_command shift_commands[] = {
    {"edit_selection_freq_shift", "Freq-Shift Selection", false, false},
    {"edit_shapes_freq_shift", "Freq-Shift Shapes", true, false},
    {"edit_selection_pitch_shift", "Pitch-Shift Selection", false, true},
    {"edit_shapes_pitch_shift", "Pitch-Shift Shapes", true, true},
};

void gain_edit(t_specgram *x, const gain_command &c, long argc, t_atom *argv)
{
    double in, out;
    if (c.kind == 0) {
        in = 1, out = 0;
    } else if (c.kind == 1) {
        in = 0, out = 1;
    } else {
        if (argc < 1 || !specgram_gain_of_db(x, num_arg(argv), &in))
            return;
        out = 1;
        if (argc >= 2 && !specgram_gain_of_db(x, num_arg(argv + 1), &out))
            return;
    }
    if (x->edit_inverted) {
        double t = in;
        in = out;
        out = t;
    }
    if (c.shapes)
        specgram_gain_mask_shapes_to_buffer(x, in, out, c.label);
    else
        specgram_gain_mask_selection_to_buffer(x, in, out, c.label);
}

void shift_edit(t_specgram *x, const shift_command &c, long argc, t_atom *argv)
{
    if (argc < 1)
        return;
    double shift = num_arg(argv);
    double gain_db = argc >= 2 ? num_arg(argv + 1) : 0;
    int mode = 0;
    if (argc >= 3) {
        if (atom_gettype(argv + 2) == A_SYM) {
            mode = specgram_parse_shift_mode(atom_getsym(argv + 2)->s_name);
        } else {
            long m = specgram_narrow(atom_getlong(argv + 2));
            mode = m <= 0 ? 0 : (m > 2 ? 3 : (int)m);
        }
    }
    double gain;
    if (!specgram_gain_of_db(x, gain_db, &gain))
        return;
    if (c.pitch) {
        if (c.shapes)
            specgram_pitch_shift_shapes_to_buffer(x, mode, shift, gain, c.label);
        else
            specgram_pitch_shift_selection_to_buffer(x, mode, shift, gain, c.label);
    } else {
        if (c.shapes)
            specgram_freq_shift_shapes_to_buffer(x, mode, shift, gain, c.label);
        else
            specgram_freq_shift_selection_to_buffer(x, mode, shift, gain, c.label);
    }
}

void set_buffer(t_specgram *x, long argc, t_atom *argv)
{
    if (argc < 1 || atom_gettype(argv) != A_SYM || atom_getsym(argv) == x->buffer_name)
        return;
    specgram_undo_clear(x); // snapshots of another buffer never go into this one
    x->buffer_name = atom_getsym(argv);
    critical_enter(x->lock);
    specgram_update_buffer(x, 1);
    specmags_update(&x->mags, x->frame_count, x->sample_rate);
    specmags_process(&x->mags, x->samples);
    x->analysis_runs++;
    specgram_update_surface(x, SPECGRAM_SURFACE_RESIZE);
    specgram_set_display_and_selection(x, 1, 0, -1, 0, -1, 0, 0, 0, 0);
    critical_exit(x->lock);
    specgram_refresh_edit_stft(x);
    object_attr_touch((t_object *)x, specgram_sym.buffer_name);
    specgram_report_view(x);
}

void mouse_mode(t_specgram *x, long argc, t_atom *argv)
{
    if (argc < 1 || atom_gettype(argv) != A_LONG)
        return;
    long n = specgram_narrow(atom_getlong(argv));
    x->mouse_mode = n <= 0 ? SPECGRAM_MOUSE_SELECT : (n > 1 ? SPECGRAM_MOUSE_DRAW : SPECGRAM_MOUSE_MOVE);
    object_attr_touch((t_object *)x, specgram_sym.mouse_mode);
}

} // namespace

void specgram_shapes_clear(t_specgram *x)
{
    x->shape_point_total = 0;
    x->shape_count = 0;
    x->shape_drawing = 0;
    specgram_invalidate(x, specgram_sym.draw_layer, NULL);
}

void specgram_shapes_clear_last(t_specgram *x)
{
    if (x->shape_count <= 0)
        return;
    x->shape_point_total -= x->shape_point_count[x->shape_count - 1];
    x->shape_count--;
    x->shape_drawing = 0;
    specgram_invalidate(x, specgram_sym.draw_layer, NULL);
}

void specgram_anything(t_specgram *x, t_symbol *s, long argc, t_atom *argv)
{
    const char *name = s->s_name;
    if (s == gensym("set"))
        return set_buffer(x, argc, argv);
    if (s == gensym("undo"))
        return specgram_undo(x, 1);
    if (s == gensym("redo"))
        return specgram_redo(x, 1);
    for (const gain_command &c : gain_commands)
        if (!strcmp(name, c.name))
            return gain_edit(x, c, argc, argv);
    if (s == gensym("edit_shapes_clear"))
        return specgram_shapes_clear(x);
    if (s == gensym("edit_shapes_clearlast"))
        return specgram_shapes_clear_last(x);
    for (const shift_command &c : shift_commands)
        if (!strcmp(name, c.name))
            return shift_edit(x, c, argc, argv);
    if (s == gensym("write"))
        return specgram_write(x, argc, argv);
    if (specgram_view_command(x, s))
        return;
    if (s == gensym("mouse_mode"))
        return mouse_mode(x, argc, argv);
}
