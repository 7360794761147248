// menuui: a test-only UI external for the patch runner's tests.  It makes
// the host show what the runner must answer and record: a context click pops
// a menu (a checked item, a separator, a disabled item) and "Rename..." then
// pops a text dialog; the message "save" pops a save dialog.  It also
// answers loadbang, sets a cursor on mouse entry and has a float inlet, and
// reports everything on its one outlet.
#include "ext.h"
#include "ext_obex.h"
#include "ext_path.h"
#include "jgraphics.h"

#include <string.h>

typedef struct _menuui {
    t_jbox box;
    void *out;
    t_symbol *name; // attribute "name", changed by the Rename dialog
} t_menuui;

static t_class *s_menuui_class;

enum { ITEM_ALPHA = 1, ITEM_BETA, ITEM_GAMMA, ITEM_RENAME };

static void menuui_out(t_menuui *x, const char *sel, long argc, t_atom *argv)
{
    outlet_anything(x->out, gensym(sel), (short)argc, argv);
}

static void menuui_rename(t_menuui *x)
{
    const char *text = NULL;
    t_atom a;
    if (jdialog_showtext("New name", x->name->s_name, 0, &text) == 1 && text) {
        x->name = gensym(text);
        atom_setsym(&a, x->name);
        menuui_out(x, "renamed", 1, &a);
    } else {
        menuui_out(x, "renamed", 0, NULL);
    }
}

static void menuui_context(t_menuui *x, t_object *view, t_pt pt)
{
    t_jpopupmenu *menu = jpopupmenu_create();
    jpopupmenu_additem(menu, ITEM_ALPHA, "Alpha", NULL, 0, 0, NULL);
    jpopupmenu_additem(menu, ITEM_BETA, "Beta", NULL, 1, 0, NULL);
    jpopupmenu_addseperator(menu);
    jpopupmenu_additem(menu, ITEM_GAMMA, "Gamma", NULL, 0, 1, NULL);
    jpopupmenu_additem(menu, ITEM_RENAME, "Rename...", NULL, 0, 0, NULL);
    long sx = 0, sy = 0;
    patcherview_canvas_to_screen(view, pt.x, pt.y, &sx, &sy);
    t_pt screen = {(double)sx, (double)sy};
    int chosen = jpopupmenu_popup(menu, screen, 0);
    jpopupmenu_destroy(menu);
    t_atom a;
    atom_setlong(&a, chosen);
    menuui_out(x, "chose", 1, &a);
    if (chosen == ITEM_RENAME)
        menuui_rename(x);
}

static void menuui_mousedown(t_menuui *x, t_object *view, t_pt pt, long modifiers)
{
    if (modifiers & ePopupMenu)
        menuui_context(x, view, pt);
    else
        menuui_out(x, "click", 0, NULL);
}

static void menuui_mouseenter(t_menuui *x, t_object *view, t_pt pt, long modifiers)
{
    (void)pt;
    (void)modifiers;
    jmouse_setcursor(view, (t_object *)x, JMOUSE_CURSOR_POINTINGHAND);
}

static void menuui_save(t_menuui *x)
{
    char name[MAX_FILENAME_CHARS];
    char full[MAX_PATH_CHARS];
    short vol = 0;
    t_fourcc type = 0, types[1] = {FOUR_CHAR_CODE('PNG ')};
    strncpy(name, "picture.png", sizeof name);
    if (saveasdialog_extended(name, &vol, &type, types, 1) == 0 && path_topathname(vol, name, full) == 0) {
        t_atom a;
        atom_setsym(&a, gensym(full));
        menuui_out(x, "saved", 1, &a);
    } else {
        menuui_out(x, "saved", 0, NULL);
    }
}

static void menuui_loadbang(t_menuui *x) { menuui_out(x, "loaded", 0, NULL); }

static void menuui_ft1(t_menuui *x, double f)
{
    t_atom a;
    atom_setfloat(&a, f);
    menuui_out(x, "right", 1, &a);
}

static void menuui_paint(t_menuui *x, t_object *view)
{
    t_rect r;
    t_jgraphics *g = (t_jgraphics *)patcherview_get_jgraphics(view);
    jbox_get_rect_for_view((t_object *)x, view, &r);
    jgraphics_set_source_rgba(g, 0., 1., 0., 1.);
    jgraphics_rectangle(g, 0, 0, r.width, r.height);
    jgraphics_fill(g);
}

static void *menuui_new(t_symbol *s, long argc, t_atom *argv)
{
    (void)s;
    t_dictionary *d = object_dictionaryarg(argc, argv);
    if (!d)
        return NULL;
    t_menuui *x = (t_menuui *)object_alloc(s_menuui_class);
    if (!x)
        return NULL;
    jbox_new(&x->box, JBOX_GROWBOTH, argc, argv);
    x->box.b_firstin = (t_object *)x;
    floatin(x, 1);
    x->out = outlet_new(x, NULL);
    x->name = gensym("untitled");
    attr_dictionary_process(x, d);
    jbox_ready(&x->box);
    return x;
}

static void menuui_free(t_menuui *x) { jbox_free(&x->box); }

C74_EXPORT void ext_main(void *r)
{
    (void)r;
    t_class *c = class_new("menuui", (method)menuui_new, (method)menuui_free, sizeof(t_menuui), (method)NULL,
                           A_GIMME, 0);
    c->c_flags |= CLASS_FLAG_NEWDICTIONARY;
    jbox_initclass(c, JBOX_GROWBOTH);
    class_addmethod(c, (method)menuui_paint, "paint", A_CANT, 0);
    class_addmethod(c, (method)menuui_mousedown, "mousedown", A_CANT, 0);
    class_addmethod(c, (method)menuui_mouseenter, "mouseenter", A_CANT, 0);
    class_addmethod(c, (method)menuui_loadbang, "loadbang", A_CANT, 0);
    class_addmethod(c, (method)menuui_save, "save", 0);
    class_addmethod(c, (method)menuui_ft1, "ft1", A_FLOAT, 0);
    CLASS_ATTR_DEFAULT(c, "patching_rect", 0, "0. 0. 64. 32.");
    CLASS_ATTR_SYM(c, "name", 0, t_menuui, name);
    CLASS_ATTR_SAVE(c, "name", 0);
    class_register(CLASS_BOX, c);
    s_menuui_class = c;
}
