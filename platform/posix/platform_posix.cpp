// POSIX side of the platform seam: the same contracts as the Win32 side,
// built on file descriptors. A handle carries the descriptor; the invalid
// handle is the same all-ones value Win32 uses. Names are converted at this
// boundary (platform/posix/native_names.h); the error code of the last
// failure is kept here as GetLastError keeps it.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/native_names.h"
#include "platform/posix/shell_requests.h"
#include "platform/posix/write_failures.h"

static uint32_t lastError;

static FileHandle HandleFromDescriptor(int fd) { return (FileHandle)(intptr_t)fd; }
static int DescriptorFromHandle(FileHandle file) { return (int)(intptr_t)file; }

static void RecordFailure() { lastError = errno ? (uint32_t)errno : (uint32_t)EIO; }

uint32_t LastSystemError() { return lastError; }

uint32_t OwnExecutablePath(char* buffer, uint32_t size) {
    if (size == 0) return 0;
    buffer[0] = 0;
    char native[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", native, sizeof native - 1);
    if (length < 0) return 0;
    native[length] = 0;
    char* core = CoreName(native);
    if (!core) return 0;
    uint32_t whole = (uint32_t)strlen(core);
    uint32_t kept = whole < size ? whole : size - 1;
    memcpy(buffer, core, kept);
    buffer[kept] = 0;
    free(core);
    return kept == whole ? whole : 0;
}

FileHandle OpenFileForReading(const char* path) {
    char* native = NativeName(path);
    int fd = native ? open(native, O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0) RecordFailure();
    free(native);
    return fd < 0 ? kInvalidFile : HandleFromDescriptor(fd);
}

bool CloseFile(FileHandle file) {
    if (file == kInvalidFile) return false;
    return close(DescriptorFromHandle(file)) == 0;
}

// The position a move starts from, or -1 when it cannot be known.
static off_t MoveOrigin(int fd, uint32_t method) {
    if (method == kFromStart) return 0;
    if (method == kFromCurrent) return lseek(fd, 0, SEEK_CUR);
    struct stat status;
    if (method == kFromEnd && fstat(fd, &status) == 0) return status.st_size;
    if (method > kFromEnd) errno = EINVAL;
    return -1;
}

uint32_t SetFilePosition(FileHandle file, uint32_t distance, uint32_t method) {
    int fd = DescriptorFromHandle(file);
    off_t origin = MoveOrigin(fd, method);
    if (origin < 0) {
        RecordFailure();
        return kInvalidPosition;
    }
    // The new position must fit in 32 bits; like Win32, a failed move
    // leaves the file pointer where it was.
    int64_t move = method == kFromStart ? (int64_t)distance : (int64_t)(int32_t)distance;
    int64_t target = (int64_t)origin + move;
    if (target < 0 || target > (int64_t)0xFFFFFFFF) {
        errno = EINVAL;
        RecordFailure();
        return kInvalidPosition;
    }
    if (lseek(fd, (off_t)target, SEEK_SET) < 0) {
        RecordFailure();
        return kInvalidPosition;
    }
    if (target == kInvalidPosition) lastError = 0;  // tells a real position from a failure
    return (uint32_t)target;
}

uint32_t ReadFromFile(FileHandle file, void* buffer, uint32_t count) {
    int fd = DescriptorFromHandle(file);
    uint32_t arrived = 0;
    while (arrived < count) {
        ssize_t got = read(fd, (char*)buffer + arrived, count - arrived);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) RecordFailure();
        if (got <= 0) break;
        arrived += (uint32_t)got;
    }
    return arrived;
}

// Like WriteFile on a disk file: keeps writing until every byte is taken
// or the system refuses (a full disk, a closed pipe, a file-size limit).
static int lastWriteFailure;
static void (*writeObserver)(uint32_t bytes);

int LastWriteFailure() { return lastWriteFailure; }

void ObserveWrites(void (*observer)(uint32_t bytes)) { writeObserver = observer; }

uint32_t WriteToFile(FileHandle file, const void* buffer, uint32_t count) {
    int fd = DescriptorFromHandle(file);
    uint32_t taken = 0;
    while (taken < count) {
        ssize_t put = write(fd, (const char*)buffer + taken, count - taken);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) {
            RecordFailure();
            lastWriteFailure = errno;
        }
        if (put <= 0) break;
        taken += (uint32_t)put;
    }
    if (writeObserver && taken > 0) writeObserver(taken);
    return taken;
}

uint32_t FileSize(FileHandle file) {
    struct stat status;
    if (fstat(DescriptorFromHandle(file), &status) != 0) {
        RecordFailure();
        return kInvalidPosition;
    }
    return (uint32_t)status.st_size;
}

// A symbolic link counts as what it points to, and as a file when it
// points nowhere: opening it for writing would write through it.
PathKind EntryAt(const char* path) {
    char* native = HasCharacterWindowsRefuses(path) ? 0 : NativeName(path);
    struct stat status;
    PathKind kind = kNoEntry;
    if (native && lstat(native, &status) == 0) {
        if (S_ISLNK(status.st_mode) && stat(native, &status) != 0) status.st_mode = S_IFREG;
        kind = S_ISDIR(status.st_mode) ? kDirectoryEntry : kFileEntry;
    }
    if (kind == kNoEntry) RecordFailure();
    free(native);
    return kind;
}

// Names Windows cannot hold are refused as Windows refuses them.
static char* NativeNameToCreate(const char* path) {
    if (!HasCharacterWindowsRefuses(path)) return NativeName(path);
    errno = EINVAL;
    return 0;
}

bool IsLinkedDirectory(const char* path) {
    char* native = NativeName(path);
    struct stat status;
    bool linked = native && lstat(native, &status) == 0 && S_ISLNK(status.st_mode);
    if (linked) lastError = ELOOP;
    free(native);
    return linked;
}

bool MakeDirectory(const char* path) {
    char* native = NativeNameToCreate(path);
    bool made = native && mkdir(native, 0777) == 0;
    if (!made) RecordFailure();
    free(native);
    return made;
}

uint32_t TemporaryDirectory(char* buffer, uint32_t size) {
    const char* native = getenv("TMPDIR");
    if (!native || !*native) native = "/tmp";
    char* core = CoreName(native);
    if (!core) {
        RecordFailure();
        return 0;
    }
    uint32_t length = (uint32_t)strlen(core);
    bool addSeparator = core[length - 1] != '\\';
    uint32_t needed = length + addSeparator + 1;
    if (needed > size) {
        free(core);
        return needed;
    }
    memcpy(buffer, core, length);
    if (addSeparator) buffer[length++] = '\\';
    buffer[length] = 0;
    free(core);
    return length;
}

void* AllocateBlock(uint32_t size) { return malloc(size ? size : 1); }

void ReleaseBlock(void* block) { free(block); }

void EndProcess() { exit(0); }

static char lastCreated[PATH_MAX];

const char* LastCreatedFile() { return lastCreated; }

// Opens a file for writing with `flags` (O_CREAT and others); the last
// component is never followed when it is a symbolic link.
static int CreateNative(const char* native, int flags, mode_t mode) {
    int fd = open(native, O_WRONLY | O_CLOEXEC | O_NOFOLLOW | flags, mode);
    if (fd >= 0 && strlen(native) < sizeof lastCreated) strcpy(lastCreated, native);
    return fd;
}

static FileHandle CreateWithFlags(const char* path, int flags, bool recordFailure) {
    char* native = NativeNameToCreate(path);
    int fd = native ? CreateNative(native, flags, 0666) : -1;
    if (fd < 0 && recordFailure) RecordFailure();
    free(native);
    return fd < 0 ? kInvalidFile : HandleFromDescriptor(fd);
}

FileHandle CreateFileForWriting(const char* path) { return CreateWithFlags(path, O_CREAT | O_TRUNC, true); }

FileHandle CreateNewFile(const char* path) { return CreateWithFlags(path, O_CREAT | O_EXCL, false); }

// Windows refuses to replace a read-only file; here that is a file without
// write permission (root may write it all the same, Windows would not).
bool CanReplaceFile(const char* path) {
    char* native = NativeName(path);
    struct stat status;
    bool found = native && lstat(native, &status) == 0;
    bool replaceable = found && S_ISREG(status.st_mode) && (status.st_mode & S_IWUSR);
    if (found && S_ISLNK(status.st_mode)) errno = ELOOP;  // a link is never written through
    else if (found && !replaceable) errno = EACCES;   // not errno's leftover from an earlier call
    if (!replaceable) RecordFailure();
    free(native);
    return replaceable;
}

FileHandle CreateFileBeside(const char* path, char* temporaryPath, uint32_t size) {
    char* native = NativeName(path);
    if (!native) return kInvalidFile;
    char* slash = strrchr(native, '/');
    size_t directory = slash ? (size_t)(slash - native) + 1 : 0;
    int fd = -1;
    static uint32_t counter;
    uint32_t value = (uint32_t)getpid() << 16 ^ (uint32_t)time(0) ^ counter++ * 2654435761u;
    char* candidate = (char*)malloc(directory + 16);
    for (int attempt = 0; candidate && fd < 0 && attempt < 64; ++attempt, value = value * 1103515245u + 12345u) {
        memcpy(candidate, native, directory);
        snprintf(candidate + directory, 16, "~dr%08x.tmp", value);
        fd = CreateNative(candidate, O_CREAT | O_EXCL, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    // A temporary path the core could not name again (longer than any path
    // there may be, or than the caller's buffer) is no use: the file goes at
    // once, as on Windows, where it cannot be made.
    char* core = fd >= 0 ? CoreName(candidate) : 0;
    char* again = core ? NativeName(core) : 0;
    if (again && strlen(core) < size) {
        strcpy(temporaryPath, core);
    } else if (fd >= 0) {
        close(fd);
        unlink(candidate);
        fd = -1;
        errno = ENAMETOOLONG;
    }
    if (fd < 0) RecordFailure();
    free(again);
    free(core);
    free(candidate);
    free(native);
    return fd < 0 ? kInvalidFile : HandleFromDescriptor(fd);
}

bool ReplaceFileWith(const char* existing, const char* replacement) {
    char* target = NativeName(existing);
    char* source = NativeName(replacement);
    bool replaced = target && source && rename(source, target) == 0;
    if (!replaced) RecordFailure();
    free(target);
    free(source);
    return replaced;
}

bool RemoveFile(const char* path) {
    char* native = NativeName(path);
    bool removed = native && unlink(native) == 0;
    if (!removed) RecordFailure();
    free(native);
    return removed;
}

// DOS date bits: 15-9 year since 1980, 8-5 month, 4-0 day; time bits:
// 15-11 hours, 10-5 minutes, 4-0 seconds divided by two. Fields out of
// range are refused, as DosDateTimeToFileTime refuses them; a day past its
// month's end, which that refuses too, runs on into the next month here.
void SetFileTimeFromDos(FileHandle file, uint32_t timeDate) {
    // Without TZ, mktime looks at /etc/localtime again on every call (one
    // stat per extracted file); naming that same zone file in TZ once lets
    // it keep the zone it has read.
    static bool zoneFixed = false;
    if (!zoneFixed) {
        zoneFixed = true;
        if (!getenv("TZ")) setenv("TZ", ":/etc/localtime", 0);
    }
    uint32_t date = timeDate >> 16, time = timeDate & 0xFFFF;
    struct tm local = {};
    local.tm_year = (int)(date >> 9) + 80;
    local.tm_mon = (int)((date >> 5) & 15) - 1;
    local.tm_mday = (int)(date & 31);
    local.tm_hour = (int)(time >> 11);
    local.tm_min = (int)((time >> 5) & 63);
    local.tm_sec = (int)(time & 31) * 2;
    local.tm_isdst = -1;
    if (local.tm_mon < 0 || local.tm_mon > 11 || local.tm_mday < 1 || local.tm_hour > 23 || local.tm_min > 59 ||
        local.tm_sec > 59)
        return;
    time_t seconds = mktime(&local);
    if (seconds == (time_t)-1) return;
    struct timespec times[2] = {{0, UTIME_OMIT}, {seconds, 0}};
    futimens(DescriptorFromHandle(file), times);
}

bool EnterDirectory(const char* path) {
    char* native = NativeName(path);
    bool entered = native && chdir(native) == 0;
    if (!entered) RecordFailure();
    free(native);
    return entered;
}

// A path is its own short form; the contract of GetShortPathNameW is kept:
// the length when it fits with its terminator, else the size it needs.
uint32_t ShortPathInPlace(char* path, uint32_t size) {
    char* native = NativeName(path);
    struct stat status;
    bool exists = native && stat(native, &status) == 0;
    if (!exists) RecordFailure();
    free(native);
    if (!exists) return 0;
    uint32_t length = (uint32_t)strlen(path);
    return length < size ? length : length + 1;
}

// The latest request, cut to the record's size.
static uint32_t shellOpenCount;
static char shellOpenFile[1024];
static char shellOpenParameters[1024];

static void KeepCopy(char* record, uint32_t size, const char* text) {
    strncpy(record, text ? text : "", size - 1);
    record[size - 1] = 0;
}

void OpenWithShell(const char* file, const char* parameters) {
    ++shellOpenCount;
    KeepCopy(shellOpenFile, sizeof shellOpenFile, file);
    KeepCopy(shellOpenParameters, sizeof shellOpenParameters, parameters);
}

uint32_t ShellOpenCount() { return shellOpenCount; }
const char* LastShellOpenFile() { return shellOpenFile; }
const char* LastShellOpenParameters() { return shellOpenParameters; }
