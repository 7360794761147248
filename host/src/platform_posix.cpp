// The host's operating-system layer on POSIX systems (Linux): plug-ins open
// with dlopen, files are replaced by rename, critical regions are recursive
// pthread mutexes.
#include "platform.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <vector>

const char *mh_plugin_suffix() { return ".mxl_x86_64"; }

char mh_path_list_separator() { return ':'; }

bool mh_is_path_name(const std::string &name) { return name.find('/') != std::string::npos; }

mh_ext_main_fn mh_library_main(const std::string &path, std::string *err)
{
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        *err = dlerror();
        return nullptr;
    }
    mh_ext_main_fn entry = (mh_ext_main_fn)dlsym(handle, "ext_main");
    if (!entry)
        *err = path + " has no ext_main";
    return entry;
}

bool mh_is_regular_file(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool mh_is_folder(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string mh_real_path(const std::string &path)
{
    char real[PATH_MAX];
    return realpath(path.c_str(), real) ? real : path;
}

namespace {

// Permission bits for a new file: the old file's, else what the umask allows.
mode_t file_mode(const std::string &target)
{
    struct stat st;
    if (stat(target.c_str(), &st) == 0)
        return st.st_mode & 07777;
    mode_t mask = 022;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, 6, "Umask:") == 0)
            mask = (mode_t)strtol(line.c_str() + 6, nullptr, 8);
    return 0666 & ~mask;
}

std::string folder_of(const std::string &path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

int mh_temp_file_beside(const std::string &target, std::string *temp)
{
    size_t slash = target.find_last_of('/');
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    if (base.size() > 200)
        base.resize(200);
    std::string name = (slash == std::string::npos ? "" : target.substr(0, slash + 1)) + "." + base + ".XXXXXX";
    std::vector<char> templ(name.begin(), name.end());
    templ.push_back(0);
    int fd = mkostemp(templ.data(), O_CLOEXEC);
    if (fd < 0)
        return -1;
    fchmod(fd, file_mode(target));
    *temp = templ.data();
    return fd;
}

bool mh_sync_file(int fd) { return fsync(fd) == 0; }

bool mh_replace_file(const std::string &temp, const std::string &target)
{
    if (rename(temp.c_str(), target.c_str()) != 0)
        return false;
    // Makes the rename durable; failing here loses nothing already written.
    int fd = open(folder_of(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
    return true;
}

bool mh_remove_file(const std::string &path) { return unlink(path.c_str()) == 0; }

int64_t mh_file_tell(FILE *f)
{
    return (int64_t)ftello(f);
}

bool mh_file_seek(FILE *f, int64_t offset, int whence)
{
    return fseeko(f, (off_t)offset, whence) == 0;
}

unsigned long long mh_physical_memory()
{
    static const unsigned long long bytes = [] {
        long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGE_SIZE);
        return pages > 0 && page > 0 ? (unsigned long long)pages * (unsigned long long)page : 1ULL << 40;
    }();
    return bytes;
}

t_critical mh_region_new()
{
    pthread_mutex_t *m = new pthread_mutex_t;
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(m, &attr);
    pthread_mutexattr_destroy(&attr);
    return m;
}

void mh_region_lock(t_critical region) { pthread_mutex_lock(region); }

bool mh_region_trylock(t_critical region) { return pthread_mutex_trylock(region) == 0; }

bool mh_region_unlock(t_critical region) { return pthread_mutex_unlock(region) == 0; }

void mh_region_free(t_critical region)
{
    pthread_mutex_destroy(region);
    delete region;
}
