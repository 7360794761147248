// The `write` message: saves the colour bar, with its labels, as a PNG file.
//
//   write [name] [width height [dpi]]
//
// A name is resolved against the host's folders the same way spectrogram~
// resolves its own export names; without one a save dialog asks for it.
// Width and height are whole pixels, 1..100000; when either is missing or
// not a positive integer the picture has the box's size.  The dpi (default
// 72, kept within 1..10000) goes into the file's resolution chunk.  Every
// outcome is reported on the console; nothing reaches the patch.
#include "gradix.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#define GRADIX_PNG_MAX_SIZE 100000
#define GRADIX_PNG_DEFAULT_DPI 72
#define GRADIX_PNG_MAX_DPI 10000
#define GRADIX_PNG_DEFAULT_NAME "gradix.png"

// Where a picture goes: a host folder and a file name in it, and the full
// path for the console.
typedef struct _gradix_png_target {
    short folder;
    char filename[MAX_FILENAME_CHARS];
    char fullpath[MAX_PATH_CHARS];
} t_gradix_png_target;

// Resolves a name from the message.  Names starting with "~" or "/" are
// taken as Max-style boot paths, others as native paths relative to the
// patch.  Returns 1, or posts the error and returns 0.
static int gradix_target_from_name(t_gradix *x, t_symbol *name, t_gradix_png_target *t)
{
    const char *n = name->s_name;
    const int rooted = n[0] == '~' || n[0] == '/';
    const long style = rooted ? PATH_STYLE_MAX : PATH_STYLE_NATIVE;
    const long type = rooted ? PATH_TYPE_BOOT : PATH_TYPE_TILDE;
    if (path_nameconform(n, t->fullpath, style, type)) {
        object_error((t_object *)x, "failed to resolve path: %s", n);
        return 0;
    }
    if (path_frompotentialpathname(t->fullpath, &t->folder, t->filename)) {
        object_error((t_object *)x, "invalid path: %s", t->fullpath);
        return 0;
    }
    return 1;
}

// Asks the user for a file with the save dialog.  Returns 0 when cancelled.
static int gradix_target_from_dialog(t_gradix_png_target *t)
{
    t_fourcc types[1] = {FOUR_CHAR_CODE('PNG ')};
    t_fourcc chosen = 0;
    snprintf(t->filename, sizeof t->filename, "%s", GRADIX_PNG_DEFAULT_NAME);
    t->folder = 0;
    if (saveasdialog_extended(t->filename, &t->folder, &chosen, types, 1))
        return 0;
    if (path_topathname(t->folder, t->filename, t->fullpath))
        snprintf(t->fullpath, sizeof t->fullpath, "%s", t->filename);
    return 1;
}

// Argument i as a picture size: a positive integer capped at 100000, else 0.
static long gradix_size_arg(long argc, t_atom *argv, long i)
{
    if (i >= argc || atom_gettype(argv + i) != A_LONG)
        return 0;
    const t_atom_long v = atom_getlong(argv + i);
    if (v < 1)
        return 0;
    return v > GRADIX_PNG_MAX_SIZE ? GRADIX_PNG_MAX_SIZE : (long)v;
}

// Argument i as a resolution: an integer kept within 1..10000, else 72.
static long gradix_dpi_arg(long argc, t_atom *argv, long i)
{
    if (i >= argc || atom_gettype(argv + i) != A_LONG)
        return GRADIX_PNG_DEFAULT_DPI;
    const t_atom_long v = atom_getlong(argv + i);
    if (v < 2)
        return 1;
    return v > GRADIX_PNG_MAX_DPI - 1 ? GRADIX_PNG_MAX_DPI : (long)v;
}

static long gradix_box_extent(double size)
{
    const long n = (long)size;
    return n < 1 ? 1 : n;
}

// Draws the bar into a new width x height surface and writes it to t.  The
// cords are looked at first, as a paint would, so that the file shows the
// patch as it is now even when the box has not been drawn since.
static void gradix_write_png(t_gradix *x, const t_gradix_png_target *t, long width, long height, long dpi)
{
    if (gradix_find_connected_spectrogram(x))
        gradix_redraw_all(x);
    t_jsurface *surface = jgraphics_image_surface_create(JGRAPHICS_FORMAT_ARGB32, (int)width, (int)height);
    t_jgraphics *g = surface ? jgraphics_create(surface) : NULL;
    if (!g) {
        if (surface)
            jgraphics_surface_destroy(surface);
        object_error((t_object *)x, "failed to create surface for PNG");
        return;
    }
    gradix_draw_bar(x, g, width, height);
    gradix_add_text_to_jgraphics(x, g, width, height);
    jgraphics_destroy(g);
    errno = 0; // what the write leaves here names the cause, where the host sets it
    if (jgraphics_image_surface_writepng(surface, t->filename, t->folder, dpi) != MAX_ERR_NONE) {
        const int cause = errno;
        object_error((t_object *)x, "failed to write PNG to %s%s%s", t->fullpath, cause ? ": " : "",
                     cause ? strerror(cause) : "");
    } else {
        object_post((t_object *)x, "wrote PNG (%ld x %ld, %ld DPI) to %s",
                    (long)jgraphics_image_surface_get_width(surface),
                    (long)jgraphics_image_surface_get_height(surface), dpi, t->fullpath);
    }
    jgraphics_surface_destroy(surface);
}

static void gradix_write(t_gradix *x, long argc, t_atom *argv)
{
    t_gradix_png_target target;
    long first = 0; // index of the width argument
    if (argc > 0 && atom_gettype(argv) == A_SYM) {
        if (!gradix_target_from_name(x, atom_getsym(argv), &target))
            return;
        first = 1;
    } else if (!gradix_target_from_dialog(&target)) {
        return;
    }
    long width = gradix_size_arg(argc, argv, first);
    long height = gradix_size_arg(argc, argv, first + 1);
    const long dpi = gradix_dpi_arg(argc, argv, first + 2);
    if (width < 1 || height < 1) {
        width = gradix_box_extent(x->box_width);
        height = gradix_box_extent(x->box_height);
    }
    gradix_write_png(x, &target, width, height, dpi);
}

void gradix_anything(t_gradix *x, t_symbol *s, long argc, t_atom *argv)
{
    if (s == gradix_sym.write)
        gradix_write(x, argc, argv);
}
