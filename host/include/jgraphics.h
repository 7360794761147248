// Drawing contexts, image surfaces, cached box layers, popup menus and the
// rgba attribute setter.  Drawing calls run on the main thread.
#pragma once

#include "ext_mess.h"
#include "ext_obex_util.h"
#include "jpatcher_api.h"

#ifdef __cplusplus
struct t_jgraphics;
struct t_jsurface;
struct t_jpopupmenu;
struct t_jpath;
struct t_jfont;
struct t_jpattern;
#else
typedef struct _jgraphics t_jgraphics;
typedef struct _jsurface t_jsurface;
typedef struct _jpopupmenu t_jpopupmenu;
typedef struct _jpath t_jpath;
typedef struct _jfont t_jfont;
typedef struct _jpattern t_jpattern;
#endif

typedef enum _jgraphics_format {
    JGRAPHICS_FORMAT_ARGB32,
    JGRAPHICS_FORMAT_RGB24,
    JGRAPHICS_FORMAT_A8
} t_jgraphics_format;

typedef enum _jgraphics_fileformat {
    JGRAPHICS_FILEFORMAT_PNG,
    JGRAPHICS_FILEFORMAT_JPEG
} t_jgraphics_fileformat;

typedef enum _jgraphics_font_slant {
    JGRAPHICS_FONT_SLANT_NORMAL,
    JGRAPHICS_FONT_SLANT_ITALIC
} t_jgraphics_font_slant;

typedef enum _jgraphics_font_weight {
    JGRAPHICS_FONT_WEIGHT_NORMAL,
    JGRAPHICS_FONT_WEIGHT_BOLD
} t_jgraphics_font_weight;

typedef enum _jgraphics_line_join {
    JGRAPHICS_LINE_JOIN_MITER,
    JGRAPHICS_LINE_JOIN_ROUND,
    JGRAPHICS_LINE_JOIN_BEVEL
} t_jgraphics_line_join;

typedef enum _jgraphics_line_cap {
    JGRAPHICS_LINE_CAP_BUTT,
    JGRAPHICS_LINE_CAP_ROUND,
    JGRAPHICS_LINE_CAP_SQUARE
} t_jgraphics_line_cap;

typedef struct _jpopupmenu_options {
    bool zoomwithview;
    int defitemid;
} t_jpopupmenu_options;

#define JGRAPHICS_PI 3.14159265358979323846
#define JGRAPHICS_2PI (2.0 * JGRAPHICS_PI)
#define JGRAPHICS_PIOVER2 (0.5 * JGRAPHICS_PI)
#define JGRAPHICS_3PIOVER2 (1.5 * JGRAPHICS_PI)
#define JGRAPHICS_RECT_BOTTOM(rect) (((rect)->y) + ((rect)->height))
#define JGRAPHICS_RECT_RIGHT(rect) (((rect)->x) + ((rect)->width))

BEGIN_USING_C_LINKAGE
t_jsurface *jgraphics_image_surface_create(t_jgraphics_format format, int width, int height);
void jgraphics_surface_destroy(t_jsurface *s);
int jgraphics_image_surface_get_width(t_jsurface *s);
int jgraphics_image_surface_get_height(t_jsurface *s);
void jgraphics_image_surface_set_pixel(t_jsurface *s, int x, int y, t_jrgba color);
void jgraphics_image_surface_get_pixel(t_jsurface *s, int x, int y, t_jrgba *color);
t_max_err jgraphics_image_surface_writepng(t_jsurface *surface, const char *filename, short path, long dpi);
void jgraphics_image_surface_draw(t_jgraphics *g, t_jsurface *s, t_rect srcRect, t_rect destRect);

t_jgraphics *jgraphics_create(t_jsurface *target);
void jgraphics_destroy(t_jgraphics *g);
void jgraphics_move_to(t_jgraphics *g, double x, double y);
void jgraphics_line_to(t_jgraphics *g, double x, double y);
void jgraphics_close_path(t_jgraphics *g);
void jgraphics_rectangle(t_jgraphics *g, double x, double y, double width, double height);
void jgraphics_fill(t_jgraphics *g);
void jgraphics_stroke(t_jgraphics *g);
void jgraphics_set_source_rgba(t_jgraphics *g, double red, double green, double blue, double alpha);
void jgraphics_set_source_rgb(t_jgraphics *g, double red, double green, double blue);
void jgraphics_set_source_jrgba(t_jgraphics *g, t_jrgba *rgba);
void jgraphics_set_line_width(t_jgraphics *g, double width);
void jgraphics_rectangle_draw_fast(t_jgraphics *g, double x, double y, double width, double height,
                                   double border);
void jgraphics_rectangle_fill_fast(t_jgraphics *g, double x, double y, double width, double height);
void jgraphics_clip(t_jgraphics *g, double x, double y, double width, double height);
void jgraphics_select_font_face(t_jgraphics *g, const char *family, t_jgraphics_font_slant slant,
                                t_jgraphics_font_weight weight);
void jgraphics_set_font_size(t_jgraphics *g, double size);
void jgraphics_show_text(t_jgraphics *g, const char *utf8);
void jgraphics_text_measure(t_jgraphics *g, const char *utf8, double *width, double *height);
void jrgba_set(t_jrgba *prgba, double r, double g, double b, double a);

t_max_err jbox_invalidate_layer(t_object *b, t_object *view, t_symbol *name);
t_jgraphics *jbox_start_layer(t_object *b, t_object *view, t_symbol *name, double width, double height);
t_max_err jbox_end_layer(t_object *b, t_object *view, t_symbol *name);
t_max_err jbox_paint_layer(t_object *b, t_object *view, t_symbol *name, double x, double y);

t_jpopupmenu *jpopupmenu_create(void);
void jpopupmenu_destroy(t_jpopupmenu *menu);
void jpopupmenu_additem(t_jpopupmenu *menu, int itemid, const char *utf8Text, t_jrgba *textColor, int checked,
                        int disabled, t_jsurface *icon);
void jpopupmenu_addseperator(t_jpopupmenu *menu);
void jpopupmenu_addseparator(t_jpopupmenu *menu);
int jpopupmenu_popup(t_jpopupmenu *menu, t_pt screen, int defitemid);

t_max_err jgraphics_attr_setrgba(t_object *x, t_object *attr, long argc, t_atom *argv);
t_max_err object_attr_getjrgba(void *ob, t_symbol *s, t_jrgba *c);
t_max_err object_attr_setjrgba(void *ob, t_symbol *s, t_jrgba *c);
END_USING_C_LINKAGE

#define CLASS_ATTR_RGBA(c, attrname, flags, structname, structmember)                    \
    {                                                                                  \
        CLASS_ATTR_DOUBLE_ARRAY(c, attrname, flags, structname, structmember, 4);      \
        CLASS_ATTR_ACCESSORS(c, attrname, NULL, jgraphics_attr_setrgba);               \
        CLASS_ATTR_PAINT(c, attrname, 0);                                              \
    }
