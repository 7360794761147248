// What the host asks of the operating system, behind one small interface:
// opening plug-in libraries, file-system queries, replacing a file in one
// step, the machine's memory and recursive locks for critical regions.
// platform_posix.cpp implements it for Linux (and any POSIX system),
// platform_win.cpp for Windows; the build compiles one of them.  Paths are
// UTF-8 strings on both.
#pragma once

#include "ext_critical.h"

#include <cstdint>
#include <cstdio>
#include <string>

// The file-name suffix of a plug-in (".mxl_x86_64", ".mxe64").
const char *mh_plugin_suffix();
// The separator of the folders in $MAXHOST_PATH (':' or ';').
char mh_path_list_separator();
// True when a plug-in name is a path rather than a bare name.
bool mh_is_path_name(const std::string &name);

// Opens a plug-in library and returns its ext_main; null and a message in
// *err when the library cannot be opened or exports no ext_main.  The
// library stays loaded for the life of the process.
typedef void (*mh_ext_main_fn)(void *);
mh_ext_main_fn mh_library_main(const std::string &path, std::string *err);

bool mh_is_regular_file(const std::string &path);
bool mh_is_folder(const std::string &path);
// The absolute path with links resolved, or `path` itself when that fails.
std::string mh_real_path(const std::string &path);

// Files written whole: the data go to a new file beside the target, which
// replaces the target in one step once it is complete and on the disk, so
// that a failed write leaves an existing file as it was and readers see
// either the old file or the new one.
//
// A new, empty file beside `target` (same folder, a hidden name), open for
// writing in binary mode, with the permissions `target` has (else the
// defaults for a new file).  -1 with errno set on failure.
int mh_temp_file_beside(const std::string &target, std::string *temp);
// Flushes the data of an open file to the disk; false with errno set.
bool mh_sync_file(int fd);
// Replaces `target` by the closed file `temp` in one step and makes the
// change durable; false with errno set (`temp` is then left for the caller
// to remove).
bool mh_replace_file(const std::string &temp, const std::string &target);
bool mh_remove_file(const std::string &path);
// Positions in open files as 64-bit offsets (`long`, which fseek and ftell
// take, has 32 bits on Windows).  Tell gives -1 on failure; seek false.
int64_t mh_file_tell(FILE *f);
bool mh_file_seek(FILE *f, int64_t offset, int whence);

// Bytes of physical memory (1 TiB when the system does not say).
unsigned long long mh_physical_memory();

// Recursive locks behind the SDK's critical regions.  Unlock returns false
// when the calling thread does not hold the lock (nothing is then changed).
t_critical mh_region_new();
void mh_region_lock(t_critical region);
bool mh_region_trylock(t_critical region);
bool mh_region_unlock(t_critical region);
void mh_region_free(t_critical region);
