// Win32 side of the platform seam: thin wrappers over the kernel calls.
#include <windows.h>
#include <shellapi.h>

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

uint32_t SetFilePosition(FileHandle file, int32_t distance, uint32_t method) {
    return SetFilePointer(file, distance, NULL, method);
}

uint32_t ReadFromFile(FileHandle file, void* buffer, uint32_t count) {
    DWORD arrived = 0;
    if (!ReadFile(file, buffer, count, &arrived, NULL)) return 0;
    return arrived;
}

uint32_t WriteToFile(FileHandle file, const void* buffer, uint32_t count) {
    DWORD written = 0;
    if (!WriteFile(file, buffer, count, &written, NULL)) return 0;
    return written;
}

uint32_t FileSize(FileHandle file) { return GetFileSize(file, NULL); }

uint32_t LastSystemError() { return GetLastError(); }

PathKind EntryAt(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return kNoEntry;
    return attributes & FILE_ATTRIBUTE_DIRECTORY ? kDirectoryEntry : kFileEntry;
}

bool MakeDirectory(const char* path) { return CreateDirectoryA(path, NULL) != 0; }

uint32_t TemporaryDirectory(char* buffer, uint32_t size) { return GetTempPathA(size, buffer); }

void* AllocateBlock(uint32_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }

void ReleaseBlock(void* block) {
    if (block) HeapFree(GetProcessHeap(), 0, block);
}

FileHandle CreateFileForWriting(const char* path) {
    return CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
}

FileHandle CreateNewFile(const char* path) {
    return CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
}

void SetFileTimeFromDos(FileHandle file, uint32_t timeDate) {
    FILETIME local, universal;
    if (!DosDateTimeToFileTime(HIWORD(timeDate), LOWORD(timeDate), &local)) return;
    if (!LocalFileTimeToFileTime(&local, &universal)) return;
    SetFileTime(file, NULL, NULL, &universal);
}

bool EnterDirectory(const char* path) { return SetCurrentDirectoryA(path) != 0; }

uint32_t ShortPathInPlace(char* path, uint32_t size) { return GetShortPathNameA(path, path, size); }

void OpenWithShell(const char* file, const char* parameters) {
    ShellExecuteA(NULL, "open", file, parameters, "", SW_SHOW);
}

void EndProcess() { ExitProcess(0); }

uint32_t AnsiCodePage() { return GetACP(); }

// Text from one code page to another through UTF-16, which never needs
// more units than the text has bytes. `strict`: an invalid sequence, or a
// character the target lacks (the "used default" answer, which code pages
// such as UTF-8 cannot give), fails instead of becoming "?".
static uint32_t Recode(UINT from, UINT to, DWORD toFlags, bool strict, const char* in, uint32_t length, char* out,
                       uint32_t size) {
    if (length == 0 || size == 0) return 0;
    WCHAR* wide = (WCHAR*)AllocateBlock(length * sizeof(WCHAR));
    if (!wide) return 0;
    int units = MultiByteToWideChar(from, strict ? MB_ERR_INVALID_CHARS : 0, in, (int)length, wide, (int)length);
    BOOL usedDefault = FALSE;
    BOOL* defaultAnswer = strict && to != CP_UTF8 ? &usedDefault : NULL;
    int written = units > 0 ? WideCharToMultiByte(to, toFlags, wide, units, out, (int)size, NULL, defaultAnswer) : 0;
    ReleaseBlock(wide);
    return written > 0 && !usedDefault ? (uint32_t)written : 0;
}

uint32_t Utf8ToAnsi(const char* utf8, uint32_t length, char* out, uint32_t size) {
    return Recode(CP_UTF8, CP_ACP, WC_NO_BEST_FIT_CHARS, true, utf8, length, out, size);
}

uint32_t Utf8ToAnsiForDisplay(const char* utf8, uint32_t length, char* out, uint32_t size) {
    return Recode(CP_UTF8, CP_ACP, WC_NO_BEST_FIT_CHARS, false, utf8, length, out, size);
}

uint32_t AnsiToUtf8(const char* ansi, uint32_t length, char* out, uint32_t size) {
    return Recode(CP_ACP, CP_UTF8, 0, true, ansi, length, out, size);
}
