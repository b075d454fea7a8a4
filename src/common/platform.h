// The few operating-system services the program uses beyond Qt, behind one seam so that a port
// to another system changes only platform.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

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
