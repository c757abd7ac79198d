// Win32 side of the platform seam: thin wrappers over the kernel calls.
#include <windows.h>

#include "platform/platform.h"

uint32_t OwnExecutablePath(char* buffer, uint32_t size) {
    DWORD length = GetModuleFileNameA(NULL, buffer, size);
    // Windows XP does not terminate a path that fills the buffer exactly.
    if (size > 0) buffer[length < size ? length : size - 1] = 0;
    return length < size ? length : 0;
}

FileHandle OpenFileForReading(const char* path) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, NULL);
}

bool CloseFile(FileHandle file) { return CloseHandle(file) != 0; }

void* AllocateBlock(uint32_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }

void ReleaseBlock(void* block) {
    if (block) HeapFree(GetProcessHeap(), 0, block);
}

void EndProcess() { ExitProcess(0); }
