// The plug-in loader: finds NAME.mxl_x86_64 on the search path, opens it and
// calls its exported ext_main once.
//
// Plug-ins built against the real SDK headers leave every host symbol
// undefined; they bind to libmaxhost, which the front-end executables link
// directly (so it precedes libc in the global scope, which matters for
// `error`, a name glibc also exports).
#include "internal.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <mutex>
#include <set>

#ifndef MAXHOST_DEFAULT_EXTERNALS_DIR
#define MAXHOST_DEFAULT_EXTERNALS_DIR ""
#endif

namespace {

std::mutex loader_lock;
std::vector<std::string> search_paths;
std::set<std::string> loaded;
bool env_read = false;

std::string suffix() { return ".mxl_x86_64"; }

bool is_file(const std::string &p)
{
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::vector<std::string> paths()
{
    if (!env_read) {
        env_read = true;
        if (const char *env = getenv("MAXHOST_PATH")) {
            std::string s = env;
            size_t start = 0;
            while (start <= s.size()) {
                size_t end = s.find(':', start);
                if (end == std::string::npos)
                    end = s.size();
                if (end > start)
                    search_paths.push_back(s.substr(start, end - start));
                start = end + 1;
            }
        }
        if (*MAXHOST_DEFAULT_EXTERNALS_DIR)
            search_paths.push_back(MAXHOST_DEFAULT_EXTERNALS_DIR);
    }
    return search_paths;
}

} // namespace

void mh_register_std_classes(); // stdobjects.cpp

std::vector<std::string> mh_search_paths()
{
    std::lock_guard<std::mutex> guard(loader_lock);
    return paths();
}

namespace maxhost {

void add_search_path(const std::string &folder)
{
    std::lock_guard<std::mutex> guard(loader_lock);
    paths();
    search_paths.insert(search_paths.begin(), folder);
}

bool load_external(const std::string &name_or_path, std::string *err)
{
    std::string file;
    {
        std::lock_guard<std::mutex> guard(loader_lock);
        if (name_or_path.find('/') != std::string::npos) {
            file = name_or_path;
        } else {
            for (const std::string &dir : paths()) {
                std::string candidate = dir + "/" + name_or_path + suffix();
                if (is_file(candidate)) {
                    file = candidate;
                    break;
                }
            }
        }
    }
    if (file.empty() || !is_file(file)) {
        if (err)
            *err = "no plug-in named " + name_or_path;
        return false;
    }
    char real[PATH_MAX];
    std::string key = realpath(file.c_str(), real) ? real : file;
    {
        std::lock_guard<std::mutex> guard(loader_lock);
        if (loaded.count(key))
            return true;
        loaded.insert(key);
    }
    void *handle = dlopen(key.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        if (err)
            *err = dlerror();
        return false;
    }
    typedef void (*main_fn)(void *);
    main_fn entry = (main_fn)dlsym(handle, "ext_main");
    if (!entry) {
        if (err)
            *err = key + " has no ext_main";
        return false;
    }
    entry(nullptr);
    return true;
}

t_class *find_box_class(const std::string &name)
{
    mh_register_std_classes();
    t_class *c = mh_find_class(CLASS_BOX, gensym(name.c_str()));
    if (c)
        return c;
    if (!load_external(name))
        return nullptr;
    return mh_find_class(CLASS_BOX, gensym(name.c_str()));
}

} // namespace maxhost
