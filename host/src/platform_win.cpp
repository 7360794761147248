// The host's operating-system layer on Windows: plug-ins open with
// LoadLibraryW, files are replaced with MoveFileExW, critical regions are
// Windows critical sections (recursive, as the SDK's are).  Every path
// crosses into Windows as UTF-16 converted from UTF-8, so names outside the
// ANSI code page work.
#include "platform.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <atomic>
#include <cerrno>

// A critical region is a critical section: the pointer the SDK hands out is
// the section's own address, as LPCRITICAL_SECTION is in Max on Windows.
struct _critical {
    CRITICAL_SECTION section;
};

namespace {

std::wstring wide(const std::string &utf8)
{
    if (utf8.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), nullptr, 0);
    std::wstring w((size_t)n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), &w[0], n);
    return w;
}

std::string utf8(const std::wstring &w)
{
    if (w.empty())
        return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0, nullptr, nullptr);
    std::string s((size_t)n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), &s[0], n, nullptr, nullptr);
    return s;
}

// The system's message for an error code, without its trailing line break.
std::string message(DWORD code)
{
    wchar_t *text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, (LPWSTR)&text, 0, nullptr);
    std::string s = n ? utf8(std::wstring(text, n)) : "error " + std::to_string(code);
    if (text)
        LocalFree(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == '.'))
        s.pop_back();
    return s;
}

DWORD attributes(const std::string &path)
{
    return path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(wide(path).c_str());
}

} // namespace

const char *mh_plugin_suffix() { return ".mxe64"; }

char mh_path_list_separator() { return ';'; }

bool mh_is_path_name(const std::string &name) { return name.find_first_of("/\\:") != std::string::npos; }

mh_ext_main_fn mh_library_main(const std::string &path, std::string *err)
{
    HMODULE module = LoadLibraryW(wide(path).c_str());
    if (!module) {
        *err = path + ": " + message(GetLastError());
        return nullptr;
    }
    mh_ext_main_fn entry = (mh_ext_main_fn)GetProcAddress(module, "ext_main");
    if (!entry)
        *err = path + " has no ext_main";
    return entry;
}

bool mh_is_regular_file(const std::string &path)
{
    DWORD a = attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool mh_is_folder(const std::string &path)
{
    DWORD a = attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string mh_real_path(const std::string &path)
{
    std::wstring w = wide(path);
    DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    if (!n)
        return path;
    std::wstring full((size_t)n, L'\0');
    n = GetFullPathNameW(w.c_str(), n, &full[0], nullptr);
    full.resize(n);
    return n ? utf8(full) : path;
}

int mh_temp_file_beside(const std::string &target, std::string *temp)
{
    static std::atomic<unsigned> counter{0};
    size_t slash = target.find_last_of("/\\");
    std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    if (base.size() > 200)
        base.resize(200);
    for (int attempt = 0; attempt < 100; attempt++) {
        *temp = folder + "." + base + ".tmp" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(counter++);
        int fd = _wopen(wide(*temp).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                        _S_IREAD | _S_IWRITE);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool mh_sync_file(int fd) { return _commit(fd) == 0; }

bool mh_replace_file(const std::string &temp, const std::string &target)
{
    if (MoveFileExW(wide(temp).c_str(), wide(target).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        errno = ENOENT;
        break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        errno = EACCES;
        break;
    case ERROR_DISK_FULL:
        errno = ENOSPC;
        break;
    default:
        errno = EIO;
    }
    return false;
}

bool mh_remove_file(const std::string &path) { return _wunlink(wide(path).c_str()) == 0; }

int64_t mh_file_tell(FILE *f)
{
    return (int64_t)_ftelli64(f);
}

bool mh_file_seek(FILE *f, int64_t offset, int whence)
{
    return _fseeki64(f, offset, whence) == 0;
}

unsigned long long mh_physical_memory()
{
    static const unsigned long long bytes = [] {
        MEMORYSTATUSEX status;
        status.dwLength = sizeof status;
        return GlobalMemoryStatusEx(&status) && status.ullTotalPhys ? (unsigned long long)status.ullTotalPhys
                                                                    : 1ULL << 40;
    }();
    return bytes;
}

t_critical mh_region_new()
{
    t_critical region = new _critical;
    InitializeCriticalSection(&region->section);
    return region;
}

void mh_region_lock(t_critical region) { EnterCriticalSection(&region->section); }

bool mh_region_trylock(t_critical region) { return TryEnterCriticalSection(&region->section) != 0; }

bool mh_region_unlock(t_critical region)
{
    // Leaving a section the thread does not hold is undefined on Windows;
    // the section records its owner, so such a call changes nothing.
    if ((DWORD)(ULONG_PTR)region->section.OwningThread != GetCurrentThreadId())
        return false;
    LeaveCriticalSection(&region->section);
    return true;
}

void mh_region_free(t_critical region)
{
    DeleteCriticalSection(&region->section);
    delete region;
}
