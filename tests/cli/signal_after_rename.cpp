// Loaded into vorm-cli by the tests (LD_PRELOAD): the first rename the program makes, which moves
// an earlier output aside, raises the signal VORM_TEST_SIGNAL names, as if the user had pressed
// Ctrl+C at that moment. The conversion after it is then interrupted wherever it first looks.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>

namespace {

void AfterRename(int AResult) {
    static bool raised = false;
    const char* signal = std::getenv("VORM_TEST_SIGNAL");
    if (AResult == 0 && signal && !raised) {
        raised = true;
        std::raise(std::atoi(signal));
    }
}

template <typename F> F Next(const char* AName) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, AName));
}

} // namespace

extern "C" int rename(const char* AOld, const char* ANew) {
    static const auto next = Next<int (*)(const char*, const char*)>("rename");
    const int r = next(AOld, ANew);
    const int saved = errno;
    AfterRename(r);
    errno = saved;
    return r;
}

extern "C" int renameat2(int AOldDir, const char* AOld, int ANewDir, const char* ANew,
                         unsigned AFlags) {
    static const auto next =
        Next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
    const int r = next(AOldDir, AOld, ANewDir, ANew, AFlags);
    const int saved = errno;
    AfterRename(r);
    errno = saved;
    return r;
}
