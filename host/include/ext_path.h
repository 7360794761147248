// Folder ids and path strings.
#pragma once

#include "max_types.h"

enum {
    MAX_PATH_CHARS = 2048,
    MAX_FILENAME_CHARS = 512
};

typedef short FILE_REF;
typedef int t_refnum;

typedef enum {
    PATH_STYLE_MAX = 0,
    PATH_STYLE_NATIVE,
    PATH_STYLE_COLON,
    PATH_STYLE_SLASH,
    PATH_STYLE_NATIVE_WIN
} e_max_path_styles;

#define PATH_STYLE_MAX_PLAT PATH_STYLE_SLASH
#define PATH_STYLE_NATIVE_PLAT PATH_STYLE_SLASH

typedef enum {
    PATH_TYPE_IGNORE = 0,
    PATH_TYPE_ABSOLUTE,
    PATH_TYPE_RELATIVE,
    PATH_TYPE_BOOT,
    PATH_TYPE_C74,
    PATH_TYPE_PATH,
    PATH_TYPE_DESKTOP,
    PATH_TYPE_TILDE,
    PATH_TYPE_TEMPFOLDER,
    PATH_TYPE_USERMAX,
    PATH_TYPE_MAXDB,
    PATH_TYPE_PLUGIN,
    PATH_TYPE_PACKAGE
} e_max_path_types;

#define PATH_SEPARATOR_CHAR '/'
#define PATH_SEPARATOR_STRING "/"

BEGIN_USING_C_LINKAGE
short path_topathname(const short path, const char *file, char *name);
short path_nameconform(const char *src, char *dst, long style, long type);
short path_frompotentialpathname(const char *name, short *path, char *filename);
END_USING_C_LINKAGE
