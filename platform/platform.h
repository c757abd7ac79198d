#pragma once
// The one seam between the core and the operating system. Each function
// behaves as the Win32 call the core was designed around; the POSIX side
// reproduces that behaviour for the native tool, the unit tests and the
// fuzz targets.
#include <stdint.h>

typedef void* FileHandle;
typedef void* WindowHandle;

// The value an open returns on failure (Win32's INVALID_HANDLE_VALUE).
#define kInvalidFile ((FileHandle)(intptr_t)-1)

// Writes the NUL-terminated full path of the running executable into
// `buffer` (cut to fit `size`) and returns its length, 0 on failure.
uint32_t OwnExecutablePath(char* buffer, uint32_t size);

// Opens an existing file for reading while others may read it too
// (GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING).
FileHandle OpenFileForReading(const char* path);

// Closes a file handle; false when the system reports a failure.
bool CloseFile(FileHandle file);

// Heap blocks; ReleaseBlock accepts null.
void* AllocateBlock(uint32_t size);
void ReleaseBlock(void* block);

// Ends the process at once with exit code 0.
[[noreturn]] void EndProcess();
