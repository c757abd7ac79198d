/* Fault injection for the doromi tool's tests, loaded with LD_PRELOAD.
 * Files whose path holds $SHIM_PATH are watched: reads from them fail with
 * EIO once $SHIM_READ_LIMIT bytes have been read, writes to them fail with
 * errno $SHIM_WRITE_ERRNO, and every read or write of them first sleeps
 * $SHIM_DELAY_US microseconds. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static char watched[1024];
static long readSoFar;

static long Setting(const char* name) {
    const char* value = getenv(name);
    return value ? atol(value) : -1;
}

static int Watch(int fd, const char* path) {
    const char* marker = getenv("SHIM_PATH");
    if (fd >= 0 && fd < 1024 && marker && strstr(path, marker)) watched[fd] = 1;
    else if (fd >= 0 && fd < 1024) watched[fd] = 0;
    return fd;
}

static int Watched(int fd) { return fd >= 0 && fd < 1024 && watched[fd]; }

static void Delay(int fd) {
    long delay = Setting("SHIM_DELAY_US");
    if (Watched(fd) && delay > 0) usleep((useconds_t)delay);
}

int open(const char* path, int flags, ...) {
    static int (*real)(const char*, int, ...);
    if (!real) real = dlsym(RTLD_NEXT, "open");
    va_list list;
    va_start(list, flags);
    mode_t mode = (flags & O_CREAT) ? va_arg(list, mode_t) : 0;
    va_end(list);
    return Watch(real(path, flags, mode), path);
}

int open64(const char* path, int flags, ...) {
    static int (*real)(const char*, int, ...);
    if (!real) real = dlsym(RTLD_NEXT, "open64");
    va_list list;
    va_start(list, flags);
    mode_t mode = (flags & O_CREAT) ? va_arg(list, mode_t) : 0;
    va_end(list);
    return Watch(real(path, flags, mode), path);
}

ssize_t read(int fd, void* buffer, size_t count) {
    static ssize_t (*real)(int, void*, size_t);
    if (!real) real = dlsym(RTLD_NEXT, "read");
    Delay(fd);
    long limit = Setting("SHIM_READ_LIMIT");
    if (Watched(fd) && limit >= 0) {
        if (readSoFar >= limit) {
            errno = EIO;
            return -1;
        }
        if ((long)count > limit - readSoFar) count = (size_t)(limit - readSoFar);
    }
    ssize_t got = real(fd, buffer, count);
    if (Watched(fd) && got > 0) readSoFar += got;
    return got;
}

ssize_t write(int fd, const void* buffer, size_t count) {
    static ssize_t (*real)(int, const void*, size_t);
    if (!real) real = dlsym(RTLD_NEXT, "write");
    Delay(fd);
    long error = Setting("SHIM_WRITE_ERRNO");
    if (Watched(fd) && error > 0) {
        errno = (int)error;
        return -1;
    }
    return real(fd, buffer, count);
}
