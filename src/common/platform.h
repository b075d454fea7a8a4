// The few operating-system services the program uses beyond Qt, behind one seam so that a port
// to another system changes only platform.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Whether the stream is a terminal, where a progress bar can be redrawn in place.
bool IsTerminal(std::FILE* AStream);

// An identifier of the running process: a forked child has another one.
long CurrentProcessId();

// Memory for one large buffer, aligned for and, where the system allows, backed by huge pages,
// which a fresh 100 MB bitmap faults in much faster than ordinary pages. Null when the memory
// cannot be had. Freed by FreeLargeBuffer.
void* AllocateLargeBuffer(std::size_t ABytes);
void FreeLargeBuffer(void* AData);

// The memory this process may have, in bytes: the machine's physical memory, or less when a
// control group (a container) limits it; 0 when the system does not say.
std::int64_t PhysicalMemoryBytes();

// Maps the pages of [AData, AData + ABytes), a part of a buffer of this process, without
// changing a byte, so that a writer on another thread finds them mapped. Does nothing where the
// system cannot.
void MapPagesAhead(void* AData, std::size_t ABytes);

// Files by name, never following a symbolic link in the last part of a name: a link is itself
// what is found, moved or taken. Names are in the system's encoding. The functions that return
// an int give 0 or the system's error number.

// Whether something, even a broken symbolic link, has the name.
bool NameTaken(const std::string& APath);

// Whether the name (following links) is a regular file; false when it is missing, a folder, a
// FIFO, a device or a socket. Reading any of those but a regular file could block or wake a
// device, so nothing is opened to find out.
bool IsRegularFile(const std::string& APath);
// Whether something that is not a regular file has the name.
bool IsSpecialFile(const std::string& APath);

// Renames AFrom to ATo unless ATo is taken, which gives EEXIST; never replaces anything.
int RenameNoReplace(const std::string& AFrom, const std::string& ATo);

// A file being written in the folder of its final name, not yet under that name. Where the
// system allows, it has no name at all until it is published, and vanishes with the process
// however that ends.
struct TPendingFile {
    int Fd = -1;
    std::string TempPath; // empty while the file has no name
};

// Opens a pending file for ATarget. AAnonymous allows a file without a name.
int CreatePendingFile(const std::string& ATarget, bool AAnonymous, TPendingFile& AFile);
int WritePendingFile(TPendingFile& AFile, const void* AData, std::size_t ASize);
// Everything written reaches the disk.
int SyncPendingFile(TPendingFile& AFile);
// Gives the pending file the name ATarget: without replacing anything (EEXIST when the name is
// taken), or replacing whatever has it with AReplace. On success the pending file is closed.
int PublishPendingFile(TPendingFile& AFile, const std::string& ATarget, bool AReplace);
// Closes and removes a pending file that was not published; harmless on one that was.
void DiscardPendingFile(TPendingFile& AFile);
