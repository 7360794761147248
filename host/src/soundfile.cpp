// Sound files for buffer~: finding the file a message names, the checks
// every read makes before the codec sees the file, and the safe replacement
// of a file on writing.  The codec (libsndfile, or the built-in WAV codec)
// lives in soundfile_sndfile.cpp or soundfile_wav.cpp.
//
// Reading is all or nothing.  A file that is missing, a folder, empty, not a
// sound file, or shorter than its header declares is refused with a reason,
// and the caller keeps what it had.
//
// Writing goes to a temporary file in the destination folder, which replaces
// the destination by rename only once it is complete and synced, so a failed
// write leaves an existing file as it was.
#include "buffer_internal.h"
#include "platform.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

std::string mh_sound_resolve(const std::string &name)
{
    char conformed[MAX_PATH_CHARS];
    if (path_nameconform(name.c_str(), conformed, PATH_STYLE_NATIVE, PATH_TYPE_ABSOLUTE) != 0)
        return name;
    return conformed;
}

std::string mh_sound_locate(const std::string &name)
{
    std::string path = mh_sound_resolve(name);
    struct stat st;
    if (name.find('/') != std::string::npos || stat(path.c_str(), &st) == 0)
        return path;
    for (const std::string &folder : mh_search_paths()) {
        std::string candidate = folder + "/" + name;
        if (stat(candidate.c_str(), &st) == 0)
            return candidate;
    }
    return path;
}

std::string mh_sound_extension(const std::string &path)
{
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return "";
    std::string ext = path.substr(dot + 1);
    for (char &c : ext)
        c = (char)tolower((unsigned char)c);
    return ext;
}

bool mh_sound_read(const std::string &path, mh_sound *out, std::string *err)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        *err = errno == ENOENT ? "no such file" : strerror(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        *err = "is a folder, not a sound file";
        return false;
    }
    if (!S_ISREG(st.st_mode) || st.st_size == 0) {
        *err = S_ISREG(st.st_mode) ? "the file is empty" : "not a regular file";
        return false;
    }
    return mh_sound_decode(path, out, err);
}

bool mh_sound_write(const std::string &path, const float *samples, long frames, long channels, double sr,
                    std::string *err)
{
    int format = mh_sound_format_for(path, (double)frames * (double)channels * sizeof(float), err);
    if (!format)
        return false;
    std::string target = mh_real_path(path); // write beside a link's file
    size_t slash = target.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    struct stat st;
    if (stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        *err = "is a folder";
        return false;
    }
    std::string temp;
    int fd = mh_temp_file_beside(target, &temp);
    if (fd < 0) {
        *err = "cannot create a file in " + folder + " (" + strerror(errno) + ")";
        return false;
    }
    bool ok = mh_sound_encode(fd, format, samples, frames, channels, sr, err);
    if (ok && !mh_sync_file(fd)) {
        *err = strerror(errno);
        ok = false;
    }
    close(fd);
    if (ok && !mh_replace_file(temp, target)) {
        *err = std::string("cannot replace the file (") + strerror(errno) + ")";
        ok = false;
    }
    if (!ok)
        mh_remove_file(temp);
    return ok;
}
