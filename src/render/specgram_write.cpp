// PNG export of spectrogram~: the `write` message and the image it saves.
//
// `write [name] [width] [height] [dpi]` saves the visible part of the
// spectrogram with its axis labels.  Without a name a save dialog asks for
// one.  An explicit width and height give an image of that size, pooled from
// the grid exactly as the box's own image is; a zero width or height gives
// the full-resolution image, one pixel per visible analysis column and
// display row.  Every outcome is reported on the console: one error line for
// each failure (the object is left as it was), one line for a file written.
// The export runs on the main thread under x->lock.
#include "specgram_render_internal.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#define SPECGRAM_PNG_MAX_SIZE 100000 // pixels a side
#define SPECGRAM_PNG_MAX_DPI 10000
#define SPECGRAM_PNG_DEFAULT_DPI 72
#define SPECGRAM_PNG_DEFAULT_NAME "spectrogram.png"

// An integer size argument: <= 0 gives 0, above 99999 gives 100000.
static long specgram_write_size(long v)
{
    if (v <= 0)
        return 0;
    return v > SPECGRAM_PNG_MAX_SIZE - 1 ? SPECGRAM_PNG_MAX_SIZE : v;
}

static long specgram_write_dpi(long v)
{
    if (v <= 1)
        return 1;
    return v > SPECGRAM_PNG_MAX_DPI - 1 ? SPECGRAM_PNG_MAX_DPI : v;
}

static int specgram_atom_is_long(long argc, t_atom *argv, long i)
{
    return i < argc && atom_gettype(argv + i) == A_LONG;
}

// Width, height and dpi from argv[first...]; without an integer width, the box size.
static void specgram_write_sizes(t_specgram *x, long argc, t_atom *argv, long first, long *width, long *height,
                                 long *dpi)
{
    if (specgram_atom_is_long(argc, argv, first)) {
        *width = specgram_write_size(specgram_narrow(atom_getlong(argv + first)));
        *height = specgram_atom_is_long(argc, argv, first + 1)
                      ? specgram_write_size(specgram_narrow(atom_getlong(argv + first + 1)))
                      : 0;
    } else {
        *width = (long)x->box_width;
        *height = (long)x->box_height;
    }
    *dpi = specgram_atom_is_long(argc, argv, first + 2) ? specgram_write_dpi(specgram_narrow(atom_getlong(argv + first + 2)))
                                                         : SPECGRAM_PNG_DEFAULT_DPI;
}

// Resolves a typed name into folder, file name and full path; posts and returns 0 on failure.
static int specgram_write_resolve(t_specgram *x, const char *name, short *folder, char *filename, char *fullpath)
{
    const int absolute = name[0] == '~' || name[0] == '/';
    if (path_nameconform(name, fullpath, absolute ? PATH_STYLE_MAX : PATH_STYLE_NATIVE,
                         absolute ? PATH_TYPE_BOOT : PATH_TYPE_TILDE)) {
        object_error((t_object *)x, "failed to resolve path: %s", name);
        return 0;
    }
    if (path_frompotentialpathname(fullpath, folder, filename)) {
        object_error((t_object *)x, "invalid path: %s", fullpath);
        return 0;
    }
    return 1;
}

// Asks for a file with the save dialog; returns 0 when cancelled.
static int specgram_write_ask(short *folder, char *filename, char *fullpath)
{
    t_fourcc type = 0;
    t_fourcc types[1] = {FOUR_CHAR_CODE(0x504E4720)}; // 'PNG ', spelt out to keep -Wmultichar quiet
    snprintf(filename, MAX_FILENAME_CHARS, "%s", SPECGRAM_PNG_DEFAULT_NAME);
    if (saveasdialog_extended(filename, folder, &type, types, 1))
        return 0;
    if (path_topathname(*folder, filename, fullpath))
        snprintf(fullpath, MAX_PATH_CHARS, "%s", filename);
    return 1;
}

void specgram_write(t_specgram *x, long argc, t_atom *argv)
{
    char filename[MAX_PATH_CHARS];
    char fullpath[MAX_PATH_CHARS];
    short folder = 0;
    long width, height, dpi;
    long first;

    filename[0] = fullpath[0] = '\0';
    if (argc > 0 && atom_gettype(argv) == A_SYM) {
        if (!specgram_write_resolve(x, atom_getsym(argv)->s_name, &folder, filename, fullpath))
            return;
        first = 1;
    } else {
        if (!specgram_write_ask(&folder, filename, fullpath))
            return;
        first = 0;
    }
    specgram_write_sizes(x, argc, argv, first, &width, &height, &dpi);
    specgram_write_png(x, folder, filename, fullpath, width, height, dpi);
}

// A new surface holding the image of the visible block; 0 and a posted error on failure.
static t_jsurface *specgram_png_image(t_specgram *x, long width, long height, int custom)
{
    t_specgram_block block;
    specgram_visible_block(x, &block);
    if (!custom) {
        width = block.c1 - block.c0 + 1;
        height = block.r1 - block.r0 + 1;
    }
    t_jsurface *s = NULL;
    if (width >= 1 && height >= 1)
        s = jgraphics_image_surface_create(JGRAPHICS_FORMAT_ARGB32, (int)width, (int)height);
    if (s && !specgram_render_block(x, &block, s, width, height, custom)) {
        jgraphics_surface_destroy(s);
        s = NULL;
    }
    if (!s)
        object_error((t_object *)x, custom ? "failed to create custom-resolution surface for PNG"
                                           : "failed to create full-resolution surface for PNG");
    return s;
}

void specgram_write_png(t_specgram *x, short folder, const char *filename, const char *fullpath, long width,
                        long height, long dpi)
{
    const int custom = width > 0 && height > 0;
    critical_enter(x->lock);
    t_jsurface *s = specgram_png_image(x, width, height, custom);
    if (s) {
        const long w = jgraphics_image_surface_get_width(s);
        const long h = jgraphics_image_surface_get_height(s);
        t_jgraphics *g = jgraphics_create(s);
        if (g) {
            specgram_add_text_to_jgraphics(x, g, w, h);
            jgraphics_destroy(g);
        }
        errno = 0; // what the write leaves here names the cause, where the host sets it
        if (jgraphics_image_surface_writepng(s, filename, folder, dpi)) {
            const int cause = errno;
            object_error((t_object *)x, "failed to write PNG to %s%s%s", fullpath, cause ? ": " : "",
                         cause ? strerror(cause) : "");
        }
        else if (custom)
            object_post((t_object *)x, "wrote custom-resolution PNG (%ld x %ld, %ld DPI) to %s", w, h, dpi, fullpath);
        else
            object_post((t_object *)x, "wrote full-resolution PNG (%ld x %ld, %ld DPI) to %s", w, h, dpi, fullpath);
        jgraphics_surface_destroy(s);
    }
    critical_exit(x->lock);
}
