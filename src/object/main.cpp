// Class registration of spectrogram~: its methods, its 28 attributes in
// three sticky categories, and the names the handlers compare against.
#include "specgram.h"
#include "win_dll_entry.h"

t_class *specgram_class = NULL;
t_specgram_symbols specgram_sym;

namespace {

void intern_symbols()
{
    t_specgram_symbols &s = specgram_sym;
    s.empty = gensym("");
    s.spectrogram = gensym("spectrogram~");
    s.getname = gensym("getname");
    s.attr_modified = gensym("attr_modified");
    s.buffer_modified = gensym("buffer_modified");
    s.globalsymbol_binding = gensym("globalsymbol_binding");
    s.globalsymbol_unbinding = gensym("globalsymbol_unbinding");
    s.magnitudes_layer = gensym("magnitudes_layer");
    s.text_layer = gensym("text_layer");
    s.selection_layer = gensym("selection_layer");
    s.draw_layer = gensym("draw_layer");
    s.buffer_name = gensym("buffer_name");
    s.buffer_chan = gensym("buffer_chan");
    s.win_zero_pad = gensym("win_zero_pad");
    s.mag_min = gensym("mag_min");
    s.mag_max = gensym("mag_max");
    s.mouse_mode = gensym("mouse_mode");
    s.custom_color1 = gensym("custom_color1");
    s.custom_color2 = gensym("custom_color2");
    s.custom_color3 = gensym("custom_color3");
    s.custom_color4 = gensym("custom_color4");
    s.custom_color5 = gensym("custom_color5");
    s.selection_linecolor = gensym("selection_linecolor");
    s.selection_linewidth = gensym("selection_linewidth");
    s.textcolor = gensym("textcolor");
    s.textsize = gensym("textsize");
    s.freq_text = gensym("freq_text");
    s.time_text = gensym("time_text");
    s.time_format = gensym("time_format");
    s.draw_linecolor = gensym("draw_linecolor");
    s.draw_linewidth = gensym("draw_linewidth");
    s.patcher_key = gensym("#P");
}

// The commands specgram_anything understands, registered by name as well so
// that the host lists them (for the object box's completion and the
// reference); each still reaches specgram_anything with its selector.
const char *const command_names[] = {
    "set", "undo", "redo",
    "edit_shapes_isolate", "edit_shapes_delete", "edit_shapes_gain", "edit_shapes_clear", "edit_shapes_clearlast",
    "edit_selection_isolate", "edit_selection_delete", "edit_selection_gain",
    "edit_selection_freq_shift", "edit_shapes_freq_shift", "edit_selection_pitch_shift", "edit_shapes_pitch_shift",
    "write",
    "view_all", "view_all_freq", "view_all_time", "view_selected",
    "select_none", "select_all", "select_all_freq", "select_all_time",
    "select_window", "select_window_freq", "select_window_time",
    "zoom_in", "zoom_in_freq", "zoom_in_time", "zoom_out", "zoom_out_freq", "zoom_out_time",
};

void register_methods(t_class *c)
{
    class_addmethod(c, (method)stdinletinfo, "inletinfo", A_CANT, 0);
    class_addmethod(c, (method)specgram_assist, "assist", A_CANT, 0);
    class_addmethod(c, (method)specgram_paint, "paint", A_CANT, 0);
    class_addmethod(c, (method)specgram_mouseenter, "mouseenter", A_CANT, 0);
    class_addmethod(c, (method)specgram_mousedown, "mousedown", A_CANT, 0);
    class_addmethod(c, (method)specgram_mousedrag, "mousedrag", A_CANT, 0);
    class_addmethod(c, (method)specgram_mouseup, "mouseup", A_CANT, 0);
    class_addmethod(c, (method)specgram_mousemove, "mousemove", A_CANT, 0);
    class_addmethod(c, (method)specgram_mousewheel, "mousewheel", A_CANT, 0);
    class_addmethod(c, (method)specgram_mousedoubleclick, "mousedoubleclick", A_CANT, 0);
    class_addmethod(c, (method)specgram_notify, "notify", A_CANT, 0);
    class_addmethod(c, (method)specgram_anything, "anything", A_GIMME, 0);
    for (const char *name : command_names)
        class_addmethod(c, (method)specgram_anything, name, A_GIMME, 0);
    class_addmethod(c, (method)specgram_float, "float", A_FLOAT, 0);
    class_addmethod(c, (method)specgram_in1, "ft1", A_FLOAT, 0);
    class_addmethod(c, (method)specgram_in2, "ft2", A_FLOAT, 0);
    class_addmethod(c, (method)specgram_in3, "ft3", A_FLOAT, 0);
    class_addmethod(c, (method)specgram_in4, "ft4", A_FLOAT, 0);
    class_addmethod(c, (method)specgram_in5, "ft5", A_FLOAT, 0);
    class_addmethod(c, (method)specgram_in6, "ft6", A_FLOAT, 0);
    class_addmethod(c, (method)specgram_in7, "ft7", A_FLOAT, 0);
    class_addmethod(c, (method)specgram_in8, "list", A_GIMME, 0);
}

void register_behavior(t_class *c)
{
    CLASS_STICKY_CATEGORY(c, 0, "Behavior");
    CLASS_ATTR_SYM(c, "buffer_name", 0, t_specgram, buffer_name);
    CLASS_ATTR_STYLE_LABEL(c, "buffer_name", 0, "text", "Buffer Name");
    CLASS_ATTR_ACCESSORS(c, "buffer_name", NULL, specgram_buffer_name_set);
    CLASS_ATTR_DEFAULT(c, "buffer_name", 0, "");
    CLASS_ATTR_SAVE(c, "buffer_name", 0);

    CLASS_ATTR_LONG(c, "buffer_chan", 0, t_specgram, buffer_chan);
    CLASS_ATTR_STYLE_LABEL(c, "buffer_chan", 0, "text", "Buffer Channel");
    CLASS_ATTR_FILTER_MIN(c, "buffer_chan", 0);
    CLASS_ATTR_ACCESSORS(c, "buffer_chan", NULL, specgram_buffer_chan_set);
    CLASS_ATTR_DEFAULT_SAVE(c, "buffer_chan", 0, "1");

    CLASS_ATTR_LONG(c, "edit_win_size", 0, t_specgram, analysis_attr_slot);
    CLASS_ATTR_STYLE_LABEL(c, "edit_win_size", 0, "text", "Edit STFT Window Size");
    CLASS_ATTR_FILTER_CLIP(c, "edit_win_size", 32, 8192);
    CLASS_ATTR_ACCESSORS(c, "edit_win_size", specgram_edit_stft_win_size_get, specgram_edit_stft_win_size_set);
    CLASS_ATTR_DEFAULT_SAVE(c, "edit_win_size", 0, "2048");

    CLASS_ATTR_LONG(c, "win_size", 0, t_specgram, analysis_attr_slot);
    CLASS_ATTR_STYLE_LABEL(c, "win_size", 0, "text", "FFT Window Size");
    CLASS_ATTR_FILTER_CLIP(c, "win_size", 32, 32768);
    CLASS_ATTR_ACCESSORS(c, "win_size", specgram_fft_win_size_get, specgram_fft_win_size_set);
    CLASS_ATTR_DEFAULT_SAVE(c, "win_size", 0, "2048");

    CLASS_ATTR_LONG(c, "win_zero_pad", 0, t_specgram, analysis_attr_slot);
    CLASS_ATTR_STYLE_LABEL(c, "win_zero_pad", 0, "text", "FFT Window Zero Padding");
    CLASS_ATTR_FILTER_CLIP(c, "win_zero_pad", 1, 64);
    CLASS_ATTR_ACCESSORS(c, "win_zero_pad", specgram_fft_zero_pad_get, specgram_fft_zero_pad_set);
    CLASS_ATTR_DEFAULT_SAVE(c, "win_zero_pad", 0, "1");

    CLASS_ATTR_LONG(c, "win_overlap", 0, t_specgram, analysis_attr_slot);
    CLASS_ATTR_STYLE_LABEL(c, "win_overlap", 0, "text", "FFT Window Overlap");
    CLASS_ATTR_FILTER_CLIP(c, "win_overlap", 1, 64);
    CLASS_ATTR_ACCESSORS(c, "win_overlap", specgram_fft_win_overlap_get, specgram_fft_win_overlap_set);
    CLASS_ATTR_DEFAULT_SAVE(c, "win_overlap", 0, "2");

    CLASS_ATTR_LONG(c, "win_type", 0, t_specgram, analysis_attr_slot);
    CLASS_ATTR_ENUMINDEX(c, "win_type", 0,
                         "Rect Tri Bart Sine Hann Hamm Bart-Hann Black Nutt Black-Nutt Black-Harr Gauss Sqrt");
    CLASS_ATTR_LABEL(c, "win_type", 0, "FFT Window Type");
    CLASS_ATTR_FILTER_CLIP(c, "win_type", 0, 12);
    CLASS_ATTR_ACCESSORS(c, "win_type", specgram_fft_win_type_get, specgram_fft_win_type_set);
    CLASS_ATTR_DEFAULT_SAVE(c, "win_type", 0, "4");

    CLASS_ATTR_LONG(c, "mag_scale", 0, t_specgram, analysis_attr_slot);
    CLASS_ATTR_ENUMINDEX(c, "mag_scale", 0, "Lin Mel Log Bark ERB");
    CLASS_ATTR_LABEL(c, "mag_scale", 0, "FFT Magnitude Scale");
    CLASS_ATTR_FILTER_CLIP(c, "mag_scale", 0, 4);
    CLASS_ATTR_ACCESSORS(c, "mag_scale", specgram_fft_mag_scale_get, specgram_fft_mag_scale_set);
    CLASS_ATTR_DEFAULT_SAVE(c, "mag_scale", 0, "1");

    CLASS_ATTR_LONG(c, "freq_reassign", 0, t_specgram, analysis_attr_slot);
    CLASS_ATTR_STYLE_LABEL(c, "freq_reassign", 0, "onoff", "Frequency Reassignment");
    CLASS_ATTR_ACCESSORS(c, "freq_reassign", specgram_freq_reassign_get, specgram_freq_reassign_set);
    CLASS_ATTR_DEFAULT_SAVE(c, "freq_reassign", 0, "0");

    CLASS_ATTR_LONG(c, "mouse_mode", 0, t_specgram, mouse_mode);
    CLASS_ATTR_ENUMINDEX(c, "mouse_mode", 0, "Select Move Draw");
    CLASS_ATTR_LABEL(c, "mouse_mode", 0, "Mouse Mode");
    CLASS_ATTR_FILTER_CLIP(c, "mouse_mode", 0, 2);
    CLASS_ATTR_ACCESSORS(c, "mouse_mode", NULL, specgram_mouse_mode_set);
    CLASS_ATTR_DEFAULT_SAVE(c, "mouse_mode", 0, "0");

    CLASS_ATTR_CHAR(c, "mouse_hover", 0, t_specgram, mouse_hover);
    CLASS_ATTR_STYLE_LABEL(c, "mouse_hover", 0, "onoff", "Report Mouse Data on Hover");
    CLASS_ATTR_DEFAULT_SAVE(c, "mouse_hover", 0, "0");
    CLASS_STICKY_CATEGORY_CLEAR(c);
}

void register_display(t_class *c)
{
    CLASS_STICKY_CATEGORY(c, 0, "Display");
    CLASS_ATTR_DOUBLE(c, "mag_min", 0, t_specgram, mag_min);
    CLASS_ATTR_STYLE_LABEL(c, "mag_min", 0, "text", "FFT Min Magnitude (dB)");
    CLASS_ATTR_FILTER_CLIP(c, "mag_min", -120, 120);
    CLASS_ATTR_ACCESSORS(c, "mag_min", NULL, specgram_fft_mag_min_set);
    CLASS_ATTR_DEFAULT_SAVE(c, "mag_min", 0, "-100.0");

    CLASS_ATTR_DOUBLE(c, "mag_max", 0, t_specgram, mag_max);
    CLASS_ATTR_STYLE_LABEL(c, "mag_max", 0, "text", "FFT Max Magnitude (dB)");
    CLASS_ATTR_FILTER_CLIP(c, "mag_max", -120, 120);
    CLASS_ATTR_ACCESSORS(c, "mag_max", NULL, specgram_fft_mag_max_set);
    CLASS_ATTR_DEFAULT_SAVE(c, "mag_max", 0, "0.0");

    CLASS_ATTR_CHAR(c, "freq_text", 0, t_specgram, freq_text);
    CLASS_ATTR_STYLE_LABEL(c, "freq_text", 0, "onoff", "Frequency Text On/Off");
    CLASS_ATTR_DEFAULTNAME_SAVE_PAINT(c, "freq_text", 0, "1");

    CLASS_ATTR_CHAR(c, "time_text", 0, t_specgram, time_text);
    CLASS_ATTR_STYLE_LABEL(c, "time_text", 0, "onoff", "Time Text On/Off");
    CLASS_ATTR_DEFAULTNAME_SAVE_PAINT(c, "time_text", 0, "1");

    CLASS_ATTR_LONG(c, "time_format", 0, t_specgram, time_format);
    CLASS_ATTR_ENUMINDEX(c, "time_format", 0, "\"H:MM:SS\" Milliseconds Seconds \"Min:Sec\" \"Min:Sec.ms\" Samples");
    CLASS_ATTR_LABEL(c, "time_format", 0, "Time Format");
    CLASS_ATTR_DEFAULT_SAVE(c, "time_format", 0, "2");

    CLASS_ATTR_LONG(c, "textsize", 0, t_specgram, textsize);
    CLASS_ATTR_STYLE_LABEL(c, "textsize", 0, "text", "Text Size");
    CLASS_ATTR_FILTER_CLIP(c, "textsize", 1, 72);
    CLASS_ATTR_DEFAULT_SAVE(c, "textsize", 0, "12");

    CLASS_ATTR_DOUBLE(c, "selection_linewidth", 0, t_specgram, selection_linewidth);
    CLASS_ATTR_STYLE_LABEL(c, "selection_linewidth", 0, "text", "Selection Box Line Width");
    CLASS_ATTR_FILTER_CLIP(c, "selection_linewidth", 1, 20);
    CLASS_ATTR_DEFAULTNAME_SAVE_PAINT(c, "selection_linewidth", 0, "2.0");

    CLASS_ATTR_DOUBLE(c, "draw_linewidth", 0, t_specgram, draw_linewidth);
    CLASS_ATTR_STYLE_LABEL(c, "draw_linewidth", 0, "text", "Draw Line Width");
    CLASS_ATTR_FILTER_CLIP(c, "draw_linewidth", 1, 20);
    CLASS_ATTR_DEFAULTNAME_SAVE_PAINT(c, "draw_linewidth", 0, "2.0");

    CLASS_ATTR_CHAR(c, "edit_inverted", 0, t_specgram, edit_inverted);
    CLASS_ATTR_STYLE_LABEL(c, "edit_inverted", 0, "onoff", "Invert Selection/Shapes");
    CLASS_ATTR_ACCESSORS(c, "edit_inverted", NULL, specgram_edit_inverted_set);
    CLASS_ATTR_DEFAULTNAME_SAVE_PAINT(c, "edit_inverted", 0, "0");
    CLASS_STICKY_CATEGORY_CLEAR(c);
}

void register_color(t_class *c)
{
    CLASS_STICKY_CATEGORY(c, 0, "Color");
    CLASS_ATTR_LONG(c, "color_scheme", 0, t_specgram, color_scheme);
    CLASS_ATTR_ENUMINDEX(c, "color_scheme", 0,
                         "Roseus Viridis Magma Inferno Plasma Cividis Turbo Hot Greyscale Custom "
                         "\"Roseus - Inverted\" \"Viridis - Inverted\" \"Magma - Inverted\" \"Inferno - Inverted\" "
                         "\"Plasma - Inverted\" \"Cividis - Inverted\" \"Turbo - Inverted\" \"Hot - Inverted\" "
                         "\"Greyscale - Inverted\" \"Custom - Inverted\"");
    CLASS_ATTR_LABEL(c, "color_scheme", 0, "Color Scheme");
    CLASS_ATTR_FILTER_CLIP(c, "color_scheme", 0, 19);
    CLASS_ATTR_ACCESSORS(c, "color_scheme", NULL, specgram_fft_color_scheme_set);
    CLASS_ATTR_DEFAULT_SAVE(c, "color_scheme", 0, "0");

    CLASS_ATTR_RGBA(c, "custom_color1", 0, t_specgram, custom_color1);
    CLASS_ATTR_STYLE_LABEL(c, "custom_color1", 0, "rgba", "Custom Color Scheme Color 1");
    CLASS_ATTR_DEFAULTNAME_SAVE_PAINT(c, "custom_color1", 0, "0. 0. 0. 1.");
    CLASS_ATTR_RGBA(c, "custom_color2", 0, t_specgram, custom_color2);
    CLASS_ATTR_STYLE_LABEL(c, "custom_color2", 0, "rgba", "Custom Color Scheme Color 2");
    CLASS_ATTR_DEFAULTNAME_SAVE_PAINT(c, "custom_color2", 0, "0.361 0.039 0.706 1.");
    CLASS_ATTR_RGBA(c, "custom_color3", 0, t_specgram, custom_color3);
    CLASS_ATTR_STYLE_LABEL(c, "custom_color3", 0, "rgba", "Custom Color Scheme Color 3");
    CLASS_ATTR_DEFAULTNAME_SAVE_PAINT(c, "custom_color3", 0, "0.851 0.118 0.298 1.");
    CLASS_ATTR_RGBA(c, "custom_color4", 0, t_specgram, custom_color4);
    CLASS_ATTR_STYLE_LABEL(c, "custom_color4", 0, "rgba", "Custom Color Scheme Color 4");
    CLASS_ATTR_DEFAULTNAME_SAVE_PAINT(c, "custom_color4", 0, "1. 0.486 0. 1.");
    CLASS_ATTR_RGBA(c, "custom_color5", 0, t_specgram, custom_color5);
    CLASS_ATTR_STYLE_LABEL(c, "custom_color5", 0, "rgba", "Custom Color Scheme Color 5");
    CLASS_ATTR_DEFAULTNAME_SAVE_PAINT(c, "custom_color5", 0, "1. 1. 1. 1.");

    CLASS_ATTR_RGBA(c, "selection_linecolor", 0, t_specgram, selection_linecolor);
    CLASS_ATTR_STYLE_LABEL(c, "selection_linecolor", 0, "rgba", "Selection Box Line Color");
    CLASS_ATTR_DEFAULTNAME_SAVE_PAINT(c, "selection_linecolor", 0, "0. 1. 0. 1.");
    CLASS_ATTR_RGBA(c, "draw_linecolor", 0, t_specgram, draw_linecolor);
    CLASS_ATTR_STYLE_LABEL(c, "draw_linecolor", 0, "rgba", "Draw Line Color");
    CLASS_ATTR_DEFAULTNAME_SAVE_PAINT(c, "draw_linecolor", 0, "1. 1. 1. 1.");
    CLASS_ATTR_RGBA(c, "textcolor", 0, t_specgram, textcolor);
    CLASS_ATTR_STYLE_LABEL(c, "textcolor", 0, "rgba", "Text Color");
    CLASS_ATTR_DEFAULTNAME_SAVE_PAINT(c, "textcolor", 0, "1. 1. 1. 1.");
    CLASS_STICKY_CATEGORY_CLEAR(c);
}

} // namespace

C74_EXPORT void ext_main(void *r)
{
    (void)r;
    t_class *c = class_new("spectrogram~", (method)specgram_new, (method)specgram_free, (long)sizeof(t_specgram),
                           (method)NULL, A_GIMME, 0);
    c->c_flags |= CLASS_FLAG_NEWDICTIONARY;
    jbox_initclass(c, JBOX_FIXWIDTH);
    register_methods(c);
    CLASS_ATTR_DEFAULT(c, "patching_rect", 0, "0. 0. 300. 100.");
    register_behavior(c);
    register_display(c);
    register_color(c);
    class_register(CLASS_BOX, c);
    specgram_class = c;
    intern_symbols();
    post("spectrogram~ %s", SPECGRAM_VERSION);
}
