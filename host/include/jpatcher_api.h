// Boxes, patchers, patch cords, views and the mouse cursor.
#pragma once

#include "ext_mess.h"
#include "max_keydefs.h"

typedef struct _rect {
    double x, y, width, height;
} t_rect;

typedef struct _pt {
    double x, y;
} t_pt;

typedef struct _size {
    double width, height;
} t_size;

typedef struct _jrgb {
    double red, green, blue;
} t_jrgb;

typedef struct _jrgba {
    double red, green, blue, alpha;
} t_jrgba;

typedef struct _jbox {
    t_object b_ob;
    void *obex;
    t_object *b_patcher;
    t_rect b_patching_rect;
    t_rect b_presentation_rect;
    t_symbol *b_name;
    t_symbol *b_id;
    t_object *b_firstin;
    t_object *b_textfield;
    t_symbol *b_fontname;
    double b_fontsize;
    char *b_hint;
    t_jrgba b_color;
    double b_unused;
    void *b_binbuf;
    long b_temp;
    char b_spooled;
    char b_hidden;
    char b_hilitable;
    char b_background;
    char b_ignoreclick;
    char b_bogus;
    char b_drawfirstin;
    char b_outline;
    char b_growy;
    char b_growboth;
    char b_nogrow;
    char b_drawinlast;
    char b_paintoverchildren;
    char b_mousedragdelta;
    char b_presentation;
    char b_drawiolocked;
    char b_dragactive;
    char b_drawbackground;
    char b_unused2;
    char b_fontface;
    char *b_annotation;
    char b_opaque;
    char b_useimagebuffer;
    char b_noinspectfirstin;
    char b_editactive;
    t_symbol *b_prototypename;
    char b_commasupport;
    char b_boxflags;
    char b_textjustification;
    char b_reserved3;
    void *b_ptemp;
} t_jbox;

enum {
    JBOX_DRAWFIRSTIN = 1 << 0,
    JBOX_NODRAWBOX = 1 << 1,
    JBOX_DRAWINLAST = 1 << 2,
    JBOX_TRANSPARENT = 1 << 3,
    JBOX_NOGROW = 1 << 4,
    JBOX_GROWY = 1 << 5,
    JBOX_GROWBOTH = 1 << 6,
    JBOX_IGNORELOCKCLICK = 1 << 7,
    JBOX_HILITE = 1 << 8,
    JBOX_BACKGROUND = 1 << 9,
    JBOX_NOFLOATINSPECTOR = 1 << 10,
    JBOX_TEXTFIELD = 1 << 11,
    JBOX_MOUSEDRAGDELTA = 1 << 12,
    JBOX_COLOR = 1 << 13,
    JBOX_BINBUF = 1 << 14,
    JBOX_DRAWIOLOCKED = 1 << 15,
    JBOX_DRAWBACKGROUND = 1 << 16,
    JBOX_NOINSPECTFIRSTIN = 1 << 17,
    JBOX_FONTATTR = 1 << 18,
    JBOX_FIXWIDTH = 1 << 19,
    JBOX_FOCUS = 1 << 20,
    JBOX_TEXTJUSTIFICATIONATTR = 1 << 21,
    JBOX_LEGACYCOLOR = 1 << 22,
    JBOX_BOXVIEW = 1 << 23,
    JBOX_COPYLEGACYDEFAULT = 1 << 24,
    JBOX_NOLEGACYDEFAULT = 1 << 25,
    JBOX_MULTITOUCH = 1 << 26
};

#define JBOX_SPOOL_CONTENTS 1
#define JBOX_SPOOL_WHOLEBOX 2
#define JBOX_FLAG_READY 0x01
#define JBOX_FLAG_NOT_YET_VISIBLE 0x02
#define JBOX_FLAG_VALIDATE_RECT 0x04
#define JBOX_FONTFACE_REGULAR 0
#define JBOX_FONTFACE_BOLD 1
#define JBOX_FONTFACE_ITALIC 2
#define JBOX_FONTFACE_BOLDITALIC 3

typedef enum _jmouse_cursortype {
    JMOUSE_CURSOR_NONE,
    JMOUSE_CURSOR_ARROW,
    JMOUSE_CURSOR_WAIT,
    JMOUSE_CURSOR_IBEAM,
    JMOUSE_CURSOR_CROSSHAIR,
    JMOUSE_CURSOR_COPYING,
    JMOUSE_CURSOR_POINTINGHAND,
    JMOUSE_CURSOR_DRAGGINGHAND,
    JMOUSE_CURSOR_RESIZE_LEFTRIGHT,
    JMOUSE_CURSOR_RESIZE_UPDOWN,
    JMOUSE_CURSOR_RESIZE_FOURWAY,
    JMOUSE_CURSOR_RESIZE_TOPEDGE,
    JMOUSE_CURSOR_RESIZE_BOTTOMEDGE,
    JMOUSE_CURSOR_RESIZE_LEFTEDGE,
    JMOUSE_CURSOR_RESIZE_RIGHTEDGE,
    JMOUSE_CURSOR_RESIZE_TOPLEFTCORNER,
    JMOUSE_CURSOR_RESIZE_TOPRIGHTCORNER,
    JMOUSE_CURSOR_RESIZE_BOTTOMLEFTCORNER,
    JMOUSE_CURSOR_RESIZE_BOTTOMRIGHTCORNER
} t_jmouse_cursortype;

BEGIN_USING_C_LINKAGE
void jbox_initclass(t_class *c, long flags);
t_max_err jbox_new(t_jbox *b, long flags, long argc, t_atom *argv);
void jbox_free(t_jbox *b);
void jbox_ready(t_jbox *b);
void jbox_redraw(t_jbox *b);
t_max_err jbox_notify(t_jbox *b, t_symbol *s, t_symbol *msg, void *sender, void *data);
t_object *jbox_get_object(t_object *b);
t_max_err jbox_get_rect_for_view(t_object *box, t_object *patcherview, t_rect *rect);

t_object *jpatcher_get_firstline(t_object *p);
t_object *jpatcher_get_firstview(t_object *p);
t_object *jpatchline_get_box1(t_object *l);
long jpatchline_get_outletnum(t_object *l);
t_object *jpatchline_get_box2(t_object *l);
long jpatchline_get_inletnum(t_object *l);
t_object *jpatchline_get_nextline(t_object *b);

t_object *patcherview_get_jgraphics(t_object *pv);
void patcherview_canvas_to_screen(t_object *pv, double cx, double cy, long *sx, long *sy);
void jmouse_setcursor(t_object *patcherview, t_object *box, t_jmouse_cursortype type);
END_USING_C_LINKAGE
