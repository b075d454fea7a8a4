#include "platform.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#if defined(__unix__) || defined(__APPLE__)
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <random>
#include <sys/mman.h>
#include <sys/stat.h>
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

#ifndef _WIN32
bool NameTaken(const std::string& APath) {
    struct stat st {};
    return lstat(APath.c_str(), &st) == 0;
}

bool IsRegularFile(const std::string& APath) {
    struct stat st {};
    return stat(APath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsSpecialFile(const std::string& APath) {
    struct stat st {};
    return stat(APath.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

int RenameNoReplace(const std::string& AFrom, const std::string& ATo) {
#ifdef RENAME_NOREPLACE
    if (renameat2(AT_FDCWD, AFrom.c_str(), AT_FDCWD, ATo.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
#endif
    // A file system without the flag: a second name, then the first removed. Neither call
    // follows a link.
    if (linkat(AT_FDCWD, AFrom.c_str(), AT_FDCWD, ATo.c_str(), 0) == 0) {
        if (unlink(AFrom.c_str()) != 0) {
            const int error = errno;
            unlink(ATo.c_str());
            return error;
        }
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS)
        return errno;
    // Nor links (FAT, as on USB sticks): a test, then a rename that would replace. This is racy
    // only against another writer of the same name at the same instant.
    if (NameTaken(ATo))
        return EEXIST;
    return rename(AFrom.c_str(), ATo.c_str()) == 0 ? 0 : errno;
}

namespace {
std::string FolderOf(const std::string& APath) {
    const std::size_t slash = APath.rfind('/');
    return slash == std::string::npos ? std::string(".") : APath.substr(0, slash + 1);
}

// ".vorm-" and twelve random letters: short, so that no file name is too long for it.
std::string RandomTempName() {
    static std::atomic<unsigned> counter{0};
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device device;
    std::mt19937_64 random(device() ^ (uint64_t(getpid()) << 32) ^ counter.fetch_add(1));
    std::string name = ".vorm-";
    for (int i = 0; i < 12; ++i)
        name += kLetters[random() % (sizeof kLetters - 1)];
    return name + ".tmp";
}
} // namespace

int CreatePendingFile(const std::string& ATarget, bool AAnonymous, TPendingFile& AFile) {
    DiscardPendingFile(AFile);
    const std::string folder = FolderOf(ATarget);
#ifdef O_TMPFILE
    // A nameless file is published through /proc/self/fd; without /proc it could never be.
    if (AAnonymous && access("/proc/self/fd", X_OK) == 0) {
        const int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0) {
            AFile.Fd = fd;
            return 0;
        }
        // Not every file system has nameless files: then one with a name.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return errno;
    }
#else
    (void)AAnonymous;
#endif
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = (folder == "." ? std::string() : folder) + RandomTempName();
        const int fd =
            open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            AFile.Fd = fd;
            AFile.TempPath = path;
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

int WritePendingFile(TPendingFile& AFile, const void* AData, std::size_t ASize) {
    const char* p = static_cast<const char*>(AData);
    while (ASize > 0) {
        const ssize_t n = write(AFile.Fd, p, ASize);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        p += n;
        ASize -= std::size_t(n);
    }
    return 0;
}

int SyncPendingFile(TPendingFile& AFile) {
    // EINVAL: a file system that cannot sync, where there is nothing more to wait for.
    return fsync(AFile.Fd) == 0 || errno == EINVAL ? 0 : errno;
}

int PublishPendingFile(TPendingFile& AFile, const std::string& ATarget, bool AReplace) {
    int result = 0;
    if (AFile.TempPath.empty()) {
        // A nameless file gets its first name; a link never replaces.
        const std::string self = "/proc/self/fd/" + std::to_string(AFile.Fd);
        if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, ATarget.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            result = errno;
            if (result == ENOENT &&
                linkat(AFile.Fd, "", AT_FDCWD, ATarget.c_str(), AT_EMPTY_PATH) == 0)
                result = 0; // no /proc, but the right to link a descriptor
        }
    } else if (AReplace) {
        result = rename(AFile.TempPath.c_str(), ATarget.c_str()) == 0 ? 0 : errno;
    } else {
        result = RenameNoReplace(AFile.TempPath, ATarget);
    }
    if (result != 0)
        return result;
    AFile.TempPath.clear();
    close(AFile.Fd);
    AFile.Fd = -1;
    return 0;
}

void DiscardPendingFile(TPendingFile& AFile) {
    if (AFile.Fd >= 0)
        close(AFile.Fd);
    if (!AFile.TempPath.empty())
        unlink(AFile.TempPath.c_str());
    AFile = {};
}
#endif
