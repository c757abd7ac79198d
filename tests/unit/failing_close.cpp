#include "failing_close.h"

#include <errno.h>

static bool failNext = false;

void FailNextClose() { failNext = true; }

extern "C" int __real_close(int fd);

extern "C" int __wrap_close(int fd) {
    int result = __real_close(fd);
    if (!failNext) return result;
    failNext = false;
    errno = EIO;
    return -1;
}
