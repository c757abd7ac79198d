// POSIX side of the platform seam: the same contracts as the Win32 side,
// built on file descriptors. A handle carries the descriptor; the invalid
// handle is the same all-ones value Win32 uses.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include "platform/platform.h"

static FileHandle HandleFromDescriptor(int fd) { return (FileHandle)(intptr_t)fd; }
static int DescriptorFromHandle(FileHandle file) { return (int)(intptr_t)file; }

uint32_t OwnExecutablePath(char* buffer, uint32_t size) {
    if (size == 0) return 0;
    ssize_t length = readlink("/proc/self/exe", buffer, size - 1);
    if (length < 0) length = 0;
    buffer[length] = 0;
    return (uint32_t)length;
}

FileHandle OpenFileForReading(const char* path) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    return fd < 0 ? kInvalidFile : HandleFromDescriptor(fd);
}

bool CloseFile(FileHandle file) {
    if (file == kInvalidFile) return false;
    return close(DescriptorFromHandle(file)) == 0;
}

void* AllocateBlock(uint32_t size) { return malloc(size ? size : 1); }

void ReleaseBlock(void* block) { free(block); }

void EndProcess() { exit(0); }
