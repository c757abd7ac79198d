#pragma once
// What the POSIX side's file writes did, for the native tool: the core
// only sees a short write, which fails the member's CRC check.
#include <stdint.h>

// Why the latest write failed (an errno value), 0 when none has failed.
int LastWriteFailure();

// Called with the number of bytes after each write that took some; null
// (the start) calls nothing.
void ObserveWrites(void (*observer)(uint32_t bytes));

// The native path of the file the core created for writing last (a
// member's file, or the temporary file of one that replaces a file), kept
// in a fixed buffer so that a signal handler can remove a member cut short;
// empty before the first.
const char* LastCreatedFile();
