// Files and paths: folder ids and path strings.
//
// A folder id stands for one absolute directory for the life of the process.
// Relative names are taken against the default folder: the folder of the
// patch being run, else the working directory.  "~" is the home folder.
// While files are confined (maxhost::confine_files), every name resolves to
// its last component inside the confining folder.
#include "internal.h"
#include "platform.h"

#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

std::mutex path_lock;
std::vector<std::string> folders; // id = index + 1
std::string default_folder;
std::string confine_folder; // empty: names resolve anywhere

// Windows names folders with backslashes too and roots paths at drives
// ("C:/"); the host works with forward slashes throughout.
std::string slashes(std::string path)
{
#ifdef _WIN32
    for (char &c : path)
        if (c == '\\')
            c = '/';
#endif
    return path;
}

// Length of an absolute path's root ("/", or "C:/" on Windows); 0 when the
// path is relative.
size_t root_length(const std::string &path)
{
    if (!path.empty() && path[0] == '/')
        return 1;
#ifdef _WIN32
    if (path.size() >= 3 && isalpha((unsigned char)path[0]) && path[1] == ':' && path[2] == '/')
        return 3;
#endif
    return 0;
}

bool is_absolute(const std::string &path) { return root_length(path) > 0; }

std::string home()
{
    const char *h = getenv("HOME");
    return h && *h ? h : "/";
}

std::string cwd()
{
    char buf[PATH_MAX];
    return getcwd(buf, sizeof buf) ? slashes(buf) : "/";
}

// Folds "." and ".." and repeated slashes of an absolute path.
std::string normalise(const std::string &path)
{
    const size_t root = root_length(path);
    std::vector<std::string> parts;
    size_t i = root;
    while (i <= path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string::npos)
            j = path.size();
        std::string part = path.substr(i, j - i);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::string out = root ? path.substr(0, root) : "/";
    for (size_t k = 0; k < parts.size(); k++)
        out += (k ? "/" : "") + parts[k];
    return out;
}

// The confining folder, or "" when names are free.
std::string confined()
{
    std::lock_guard<std::mutex> guard(path_lock);
    return confine_folder;
}

// name's last component inside folder; "" when it has none that names a
// file ("", ".", "..", or a trailing slash).
std::string inside(const std::string &folder, const std::string &name)
{
    const size_t slash = name.find_last_of('/');
    const std::string last = slash == std::string::npos ? name : name.substr(slash + 1);
    if (last.empty() || last == "." || last == "..")
        return "";
    return folder + "/" + last;
}

} // namespace

void maxhost::confine_files(const std::string &folder)
{
    std::string f = slashes(folder);
    f = f.empty() ? f : normalise(is_absolute(f) ? f : cwd() + "/" + f);
    std::lock_guard<std::mutex> guard(path_lock);
    confine_folder = f;
}

void mh_set_default_folder(const std::string &folder)
{
    std::lock_guard<std::mutex> guard(path_lock);
    default_folder = slashes(folder);
}

std::string mh_default_folder()
{
    std::lock_guard<std::mutex> guard(path_lock);
    return default_folder.empty() ? cwd() : default_folder;
}

short mh_path_id_for_folder(const std::string &folder)
{
    std::string f = normalise(slashes(folder));
    std::lock_guard<std::mutex> guard(path_lock);
    for (size_t i = 0; i < folders.size(); i++)
        if (folders[i] == f)
            return (short)(i + 1);
    if (folders.size() >= 32000)
        return 0;
    folders.push_back(f);
    return (short)folders.size();
}

bool mh_path_folder(short id, std::string *folder)
{
    std::lock_guard<std::mutex> guard(path_lock);
    if (id < 1 || (size_t)id > folders.size())
        return false;
    if (folder)
        *folder = folders[id - 1];
    return true;
}

short path_nameconform(const char *src, char *dst, long style, long type)
{
    (void)style; // every style is a slash path on this system
    (void)type;  // every type resolves to an absolute path here
    if (!src || !dst || !*src)
        return 1;
    std::string s = slashes(src);
    std::string out;
    const std::string jail = confined();
    if (!jail.empty())
        out = inside(jail, s);
    else if (s[0] == '~' && (s.size() == 1 || s[1] == '/'))
        out = home() + s.substr(1);
    else if (is_absolute(s))
        out = s;
    else
        out = mh_default_folder() + "/" + s;
    if (out.empty())
        return 1;
    out = normalise(out);
    if (out.size() + 1 > MAX_PATH_CHARS)
        return 1;
    memcpy(dst, out.c_str(), out.size() + 1);
    return 0;
}

short path_frompotentialpathname(const char *name, short *path, char *filename)
{
    if (!name || !*name || !path || !filename)
        return 1;
    std::string s = slashes(name);
    if (!is_absolute(s) || !confined().empty()) {
        char conformed[MAX_PATH_CHARS];
        if (path_nameconform(name, conformed, PATH_STYLE_NATIVE, PATH_TYPE_ABSOLUTE))
            return 1;
        s = conformed;
    }
    size_t slash = s.find_last_of('/');
    std::string dir = slash + 1 == root_length(s) ? s.substr(0, slash + 1) : s.substr(0, slash);
    std::string file = s.substr(slash + 1);
    if (file.empty() || file.size() + 1 > MAX_FILENAME_CHARS || !mh_is_folder(dir))
        return 1;
    short id = mh_path_id_for_folder(dir);
    if (!id)
        return 1;
    *path = id;
    memcpy(filename, file.c_str(), file.size() + 1);
    return 0;
}

short path_topathname(const short path, const char *file, char *name)
{
    std::string folder;
    if (!name || !mh_path_folder(path, &folder) || !mh_is_folder(folder))
        return 1;
    const std::string jail = confined();
    if (!jail.empty())
        folder = jail;
    std::string full = folder.back() == '/' ? folder : folder + "/";
    if (file)
        full += file;
    if (full.size() + 1 > MAX_PATH_CHARS)
        return 1;
    memcpy(name, full.c_str(), full.size() + 1);
    return 0;
}
