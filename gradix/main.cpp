// Registration of the gradix class: the entry point the host calls once when
// it loads the plug-in.  It declares the box class with its methods and its
// three text attributes, registers it in the box name space and interns the
// names the handlers compare against.
#include "gradix.h"
#include "win_dll_entry.h"

#include <stddef.h>
#include <stdio.h>

t_gradix_symbols gradix_sym;
t_class *gradix_class = NULL;

static void gradix_symbols_init(void)
{
    gradix_sym.attr_modified = gensym("attr_modified");
    gradix_sym.box = gensym("#B");
    gradix_sym.patcher = gensym("#P");
    gradix_sym.color_scheme = gensym("color_scheme");
    for (int i = 0; i < COLORMAP_CUSTOM_STOPS; i++) {
        char name[32];
        snprintf(name, sizeof name, "custom_color%d", i + 1);
        gradix_sym.custom_color[i] = gensym(name);
    }
    gradix_sym.free = gensym("free");
    gradix_sym.getname = gensym("getname");
    gradix_sym.mag_min = gensym("mag_min");
    gradix_sym.mag_max = gensym("mag_max");
    gradix_sym.patching_rect = gensym("patching_rect");
    gradix_sym.magnitudes_layer = gensym("magnitudes_layer");
    gradix_sym.gradix = gensym("gradix");
    gradix_sym.spectrogram = gensym("spectrogram~");
    gradix_sym.text_layer = gensym("text_layer");
    gradix_sym.textcolor = gensym("textcolor");
    gradix_sym.textjustification = gensym("textjustification");
    gradix_sym.textsize = gensym("textsize");
    gradix_sym.write = gensym("write");
}

static void gradix_register_attributes(t_class *c)
{
    CLASS_STICKY_CATEGORY(c, 0, "Display");
    CLASS_ATTR_LONG(c, "textsize", 0, t_gradix, textsize);
    CLASS_ATTR_STYLE_LABEL(c, "textsize", 0, "text", "Text Size");
    CLASS_ATTR_FILTER_CLIP(c, "textsize", GRADIX_TEXTSIZE_MIN, GRADIX_TEXTSIZE_MAX);
    CLASS_ATTR_DEFAULT_SAVE(c, "textsize", 0, "12");

    CLASS_ATTR_CHAR(c, "textjustification", 0, t_gradix, textjustification);
    CLASS_ATTR_ENUMINDEX(c, "textjustification", 0, "left center right");
    CLASS_ATTR_LABEL(c, "textjustification", 0, "Text Justification");
    CLASS_ATTR_FILTER_CLIP(c, "textjustification", GRADIX_JUSTIFY_LEFT, GRADIX_JUSTIFY_RIGHT);
    CLASS_ATTR_DEFAULT_SAVE(c, "textjustification", 0, "1");
    CLASS_STICKY_CATEGORY_CLEAR(c);

    CLASS_STICKY_CATEGORY(c, 0, "Color");
    CLASS_ATTR_RGBA(c, "textcolor", 0, t_gradix, textcolor);
    CLASS_ATTR_STYLE_LABEL(c, "textcolor", 0, "rgba", "Text Color");
    CLASS_ATTR_DEFAULTNAME_SAVE_PAINT(c, "textcolor", 0, "1. 1. 1. 1.");
    CLASS_STICKY_CATEGORY_CLEAR(c);
}

C74_EXPORT void ext_main(void *r)
{
    (void)r;
    t_class *c = class_new("gradix", (method)gradix_new, (method)gradix_free, sizeof(t_gradix), (method)NULL,
                           A_GIMME, 0);
    c->c_flags |= CLASS_FLAG_NEWDICTIONARY;
    jbox_initclass(c, JBOX_FIXWIDTH);

    class_addmethod(c, (method)stdinletinfo, "inletinfo", A_CANT, 0);
    class_addmethod(c, (method)gradix_assist, "assist", A_CANT, 0);
    class_addmethod(c, (method)gradix_paint, "paint", A_CANT, 0);
    class_addmethod(c, (method)gradix_notify, "notify", A_CANT, 0);
    class_addmethod(c, (method)gradix_bang, "bang", 0);
    class_addmethod(c, (method)gradix_loadbang, "loadbang", A_CANT, 0);
    class_addmethod(c, (method)gradix_anything, "anything", A_GIMME, 0);
    class_addmethod(c, (method)gradix_anything, "write", A_GIMME, 0); // named, so the host lists it

    CLASS_ATTR_DEFAULT(c, "patching_rect", 0, "0. 0. 33. 100.");
    gradix_register_attributes(c);

    class_register(CLASS_BOX, c);
    gradix_class = c;
    gradix_symbols_init();
}
