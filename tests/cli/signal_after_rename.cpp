// Loaded into vorm-cli by the tests (LD_PRELOAD): raises the signal VORM_TEST_SIGNAL names, once,
// as if the user had pressed Ctrl+C at a chosen moment. VORM_TEST_SIGNAL_AT chooses it:
//   rename  (the default) right after the first rename, which moves an earlier output aside;
//   write   just before the first write to a file, while the output is being written;
//   publish right after the finished output gets its name.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/types.h>

namespace {

bool At(const char* AMoment) {
    const char* at = std::getenv("VORM_TEST_SIGNAL_AT");
    return std::strcmp(at && *at ? at : "rename", AMoment) == 0;
}

void Raise() {
    static bool raised = false;
    const char* signal = std::getenv("VORM_TEST_SIGNAL");
    if (signal && !raised) {
        raised = true;
        std::raise(std::atoi(signal));
    }
}

// A pending output is published under its name from a temporary ".vorm-…" one.
bool IsPublish(const char* AOld) {
    const char* slash = std::strrchr(AOld, '/');
    return std::strncmp(slash ? slash + 1 : AOld, ".vorm-", 6) == 0;
}

void AfterRename(int AResult, const char* AOld) {
    if (AResult == 0 && At(IsPublish(AOld) ? "publish" : "rename"))
        Raise();
}

template <typename F> F Next(const char* AName) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, AName));
}

} // namespace

extern "C" int rename(const char* AOld, const char* ANew) {
    static const auto next = Next<int (*)(const char*, const char*)>("rename");
    const int r = next(AOld, ANew);
    const int saved = errno;
    AfterRename(r, AOld);
    errno = saved;
    return r;
}

extern "C" int renameat2(int AOldDir, const char* AOld, int ANewDir, const char* ANew,
                         unsigned AFlags) {
    static const auto next =
        Next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
    const int r = next(AOldDir, AOld, ANewDir, ANew, AFlags);
    const int saved = errno;
    AfterRename(r, AOld);
    errno = saved;
    return r;
}

// A nameless output is published by a link to its descriptor.
extern "C" int linkat(int AOldDir, const char* AOld, int ANewDir, const char* ANew, int AFlags) {
    static const auto next = Next<int (*)(int, const char*, int, const char*, int)>("linkat");
    const int r = next(AOldDir, AOld, ANewDir, ANew, AFlags);
    const int saved = errno;
    if (r == 0 && std::strncmp(AOld, "/proc/self/fd/", 14) == 0 && At("publish"))
        Raise();
    errno = saved;
    return r;
}

extern "C" ssize_t write(int AFd, const void* AData, size_t ASize) {
    static const auto next = Next<ssize_t (*)(int, const void*, size_t)>("write");
    struct stat st {};
    if (At("write") && fstat(AFd, &st) == 0 && S_ISREG(st.st_mode))
        Raise();
    return next(AFd, AData, ASize);
}
