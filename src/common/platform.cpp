#include "platform.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#if defined(__unix__) || defined(__APPLE__)
#include <sys/mman.h>
#include <unistd.h>
#endif

#ifdef _WIN32
#include <io.h>
#include <malloc.h>
#include <process.h>
#include <windows.h>
#endif

namespace {
constexpr std::size_t kHugePage = std::size_t(2) << 20;
}

bool IsTerminal(std::FILE* AStream) {
#ifdef _WIN32
    return _isatty(_fileno(AStream)) != 0;
#else
    return isatty(fileno(AStream)) != 0;
#endif
}

long CurrentProcessId() {
#ifdef _WIN32
    return long(_getpid());
#else
    return long(getpid());
#endif
}

void* AllocateLargeBuffer(std::size_t ABytes) {
    const std::size_t rounded = (ABytes + kHugePage - 1) / kHugePage * kHugePage;
    if (rounded < ABytes)
        return nullptr;
#ifdef _WIN32
    return _aligned_malloc(rounded, kHugePage);
#else
    void* data = std::aligned_alloc(kHugePage, rounded);
#ifdef MADV_HUGEPAGE
    if (data)
        madvise(data, rounded, MADV_HUGEPAGE);
#endif
    return data;
#endif
}

void FreeLargeBuffer(void* AData) {
#ifdef _WIN32
    _aligned_free(AData);
#else
    std::free(AData);
#endif
}

#ifdef __linux__
namespace {
// A control group's memory limit (version 2, then version 1); 0 when there is none.
std::int64_t CgroupMemoryLimit() {
    for (const char* path :
         {"/sys/fs/cgroup/memory.max", "/sys/fs/cgroup/memory/memory.limit_in_bytes"}) {
        if (std::FILE* f = std::fopen(path, "r")) {
            long long limit = 0;
            const bool read = std::fscanf(f, "%lld", &limit) == 1; // "max" reads as none
            std::fclose(f);
            if (read && limit > 0)
                return limit;
        }
    }
    return 0;
}
} // namespace
#endif

std::int64_t PhysicalMemoryBytes() {
#ifdef _WIN32
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? std::int64_t(status.ullTotalPhys) : 0;
#elif defined(_SC_PHYS_PAGES) && defined(_SC_PAGESIZE)
    const long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGESIZE);
    std::int64_t bytes = pages > 0 && size > 0 ? std::int64_t(pages) * size : 0;
#ifdef __linux__
    if (const std::int64_t limit = CgroupMemoryLimit(); limit > 0 && (bytes == 0 || limit < bytes))
        bytes = limit;
#endif
    return bytes;
#else
    return 0;
#endif
}

void MapPagesAhead(void* AData, std::size_t ABytes) {
#ifdef MADV_POPULATE_WRITE
    // In steps, so that the writer can use the first pages while later ones are mapped.
    constexpr std::uintptr_t kStep = std::uintptr_t(4) << 20;
    const std::uintptr_t page = std::uintptr_t(sysconf(_SC_PAGESIZE));
    const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(AData) + ABytes;
    for (std::uintptr_t p = reinterpret_cast<std::uintptr_t>(AData) & ~(page - 1); p < end;
         p += kStep)
        if (madvise(reinterpret_cast<void*>(p), std::min(kStep, end - p), MADV_POPULATE_WRITE) != 0)
            return; // an older kernel: the writer's first writes map them
#else
    (void)AData;
    (void)ABytes;
#endif
}
