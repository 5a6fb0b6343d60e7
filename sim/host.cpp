// host.cpp - library folder, environment and reports, for Windows and POSIX systems.
#include "host.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace korva::sim::host {

namespace {
void anchor() {} // an address inside this library
} // namespace

std::string library_folder()
{
    std::string path;
#ifdef _WIN32
    HMODULE module = nullptr;
    char buffer[MAX_PATH];
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCSTR>(&anchor), &module)) {
        DWORD n = GetModuleFileNameA(module, buffer, sizeof buffer);
        if (n > 0 && n < sizeof buffer)
            path.assign(buffer, n);
    }
#else
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&anchor), &info) && info.dli_fname != nullptr)
        path = info.dli_fname;
#endif
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

void pin_library()
{
#ifdef _WIN32
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCSTR>(&anchor), &module);
#else
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&anchor), &info) && info.dli_fname != nullptr)
        dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
#endif
}

bool exists(const std::string& path)
{
#ifdef _WIN32
    // Windows has no FIFOs among files: opening one never waits.
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f != nullptr)
        std::fclose(f);
    return f != nullptr;
#else
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
#endif
}

std::FILE* create_file(const std::string& path, std::string& why)
{
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        why = "it is a symbolic link";
        return nullptr;
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        why = std::strerror(errno);
    return f;
#else
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK |
                                            O_CLOEXEC, 0666);
    if (fd < 0) {
        why = errno == ELOOP ? "it is a symbolic link" : std::strerror(errno);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK); // a FIFO's reader waits on us
    std::FILE* f = ::fdopen(fd, "wb");
    if (f == nullptr) {
        why = std::strerror(errno);
        ::close(fd);
    }
    return f;
#endif
}

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

void report(const std::string& line)
{
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
#ifdef _WIN32
    OutputDebugStringA((line + "\n").c_str());
#endif
}

} // namespace korva::sim::host
