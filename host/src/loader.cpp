// The plug-in loader: finds NAME.mxl_x86_64 (NAME.mxe64 on Windows) on the
// search path, opens it and calls its exported ext_main once.
//
// Plug-ins built against the real SDK headers leave every host symbol
// undefined; they bind to libmaxhost, which the front-end executables link
// directly (so it precedes libc in the global scope, which matters for
// `error`, a name glibc also exports).
#include "internal.h"
#include "platform.h"

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

std::vector<std::string> paths()
{
    if (!env_read) {
        env_read = true;
        if (const char *env = getenv("MAXHOST_PATH")) {
            std::string s = env;
            size_t start = 0;
            while (start <= s.size()) {
                size_t end = s.find(mh_path_list_separator(), start);
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
        if (mh_is_path_name(name_or_path)) {
            file = name_or_path;
        } else {
            for (const std::string &dir : paths()) {
                std::string candidate = dir + "/" + name_or_path + mh_plugin_suffix();
                if (mh_is_regular_file(candidate)) {
                    file = candidate;
                    break;
                }
            }
        }
    }
    if (file.empty() || !mh_is_regular_file(file)) {
        if (err)
            *err = "no plug-in named " + name_or_path;
        return false;
    }
    std::string key = mh_real_path(file);
    {
        std::lock_guard<std::mutex> guard(loader_lock);
        if (loaded.count(key))
            return true;
        loaded.insert(key);
    }
    std::string why;
    mh_ext_main_fn entry = mh_library_main(key, &why);
    if (!entry) {
        if (err)
            *err = why;
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
