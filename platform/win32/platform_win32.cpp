// Win32 side of the platform seam: thin wrappers over the kernel calls, in
// their wide forms, with the core's UTF-8 converted at the boundary.
#include <windows.h>
#include <shellapi.h>

#include <string.h>

#include "platform/platform.h"
#include "platform/win32/wide_text.h"

uint32_t OwnExecutablePath(char* buffer, uint32_t size) {
    WCHAR wide[MAX_PATH + 1];
    DWORD length = GetModuleFileNameW(NULL, wide, MAX_PATH + 1);
    // A path that fills the buffer was cut (and Windows XP leaves it
    // unterminated): it is shown, but cannot be opened.
    bool whole = length > 0 && length <= MAX_PATH;
    wide[whole ? length : MAX_PATH] = 0;
    uint32_t converted = Utf8FromWide(wide, -1, buffer, size);
    return whole ? converted : 0;
}

FileHandle OpenFileForReading(const char* path) {
    WidePath wide(path);
    if (!wide) return kInvalidFile;
    return CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
}

bool CloseFile(FileHandle file) { return CloseHandle(file) != 0; }

uint32_t SetFilePosition(FileHandle file, uint32_t distance, uint32_t method) {
    LARGE_INTEGER move, reached, before;
    move.QuadPart = method == kFromStart ? (LONGLONG)distance : (LONGLONG)(int32_t)distance;
    before.QuadPart = 0;
    if (method != kFromStart && !SetFilePointerEx(file, before, &before, FILE_CURRENT)) return kInvalidPosition;
    if (!SetFilePointerEx(file, move, &reached, method)) return kInvalidPosition;
    if ((ULONGLONG)reached.QuadPart > 0xFFFFFFFFu) {  // beyond 32 bits: back to where the move began
        SetFilePointerEx(file, before, NULL, FILE_BEGIN);
        SetLastError(ERROR_INVALID_PARAMETER);
        return kInvalidPosition;
    }
    if (reached.QuadPart == 0xFFFFFFFFu) SetLastError(0);  // tells a real position from a failure
    return (uint32_t)reached.QuadPart;
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

// The attributes of what `path` names; INVALID_FILE_ATTRIBUTES when there
// is nothing or the path has no form the calls take.
static DWORD AttributesOf(const char* path) {
    WidePath wide(path);
    return wide ? GetFileAttributesW(wide) : INVALID_FILE_ATTRIBUTES;
}

PathKind EntryAt(const char* path) {
    DWORD attributes = AttributesOf(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return kNoEntry;
    return attributes & FILE_ATTRIBUTE_DIRECTORY ? kDirectoryEntry : kFileEntry;
}

bool IsLinkedDirectory(const char* path) {
    DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool MakeDirectory(const char* path) {
    WidePath wide(path, kLongestPlainDirectory);
    return wide && CreateDirectoryW(wide, NULL) != 0;
}

uint32_t TemporaryDirectory(char* buffer, uint32_t size) {
    WCHAR wide[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, wide);
    if (length == 0 || length > MAX_PATH) return 0;
    char* utf8 = (char*)AllocateBlock(3 * MAX_PATH + 1);
    uint32_t converted = utf8 ? Utf8FromWide(wide, (int)length, utf8, 3 * MAX_PATH + 1) : 0;
    if (converted > 0 && converted < size) memcpy(buffer, utf8, converted + 1);
    ReleaseBlock(utf8);
    return converted < size ? converted : size;
}

void* AllocateBlock(uint32_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }

void ReleaseBlock(void* block) {
    if (block) HeapFree(GetProcessHeap(), 0, block);
}

static FileHandle CreateForWriting(const char* path, DWORD disposition) {
    WidePath wide(path);
    if (!wide) return kInvalidFile;
    return CreateFileW(wide, GENERIC_WRITE, 0, NULL, disposition, FILE_ATTRIBUTE_NORMAL, NULL);
}

FileHandle CreateFileForWriting(const char* path) { return CreateForWriting(path, CREATE_ALWAYS); }

FileHandle CreateNewFile(const char* path) { return CreateForWriting(path, CREATE_NEW); }

void SetFileTimeFromDos(FileHandle file, uint32_t timeDate) {
    FILETIME local, universal;
    if (!DosDateTimeToFileTime(HIWORD(timeDate), LOWORD(timeDate), &local)) return;
    if (!LocalFileTimeToFileTime(&local, &universal)) return;
    SetFileTime(file, NULL, NULL, &universal);
}

bool CanReplaceFile(const char* path) {
    WidePath wide(path);
    if (!wide) return false;
    DWORD attributes = GetFileAttributesW(wide);
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    HANDLE probe = CreateFileW(wide, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (probe == INVALID_HANDLE_VALUE) return false;
    CloseHandle(probe);
    return true;
}

// "~dr", eight hexadecimal digits, ".tmp": the digits of `value`.
static void PutTemporaryName(char* at, uint32_t value) {
    static const char kDigits[] = "0123456789abcdef";
    at[0] = '~', at[1] = 'd', at[2] = 'r';
    for (int digit = 0; digit < 8; ++digit) at[3 + digit] = kDigits[value >> (28 - 4 * digit) & 15];
    memcpy(at + 11, ".tmp", 5);
}

FileHandle CreateFileBeside(const char* path, char* temporaryPath, uint32_t size) {
    uint32_t directory = (uint32_t)strlen(path);
    while (directory > 0 && path[directory - 1] != '\\' && path[directory - 1] != '/') --directory;
    if (directory + kTemporaryNameLength >= size) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return kInvalidFile;
    }
    memcpy(temporaryPath, path, directory);
    uint32_t value = GetTickCount() ^ GetCurrentProcessId() << 16;
    for (int attempt = 0; attempt < 64; ++attempt, value = value * 1103515245u + 12345u) {
        PutTemporaryName(temporaryPath + directory, value);
        WidePath wide(temporaryPath);
        if (!wide) break;
        HANDLE file = CreateFileW(wide, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, NULL);
        if (file != INVALID_HANDLE_VALUE) return file;
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return kInvalidFile;
}

bool ReplaceFileWith(const char* existing, const char* replacement) {
    WidePath target(existing), source(replacement);
    if (!target || !source) return false;
    // Windows gives the result the old file's attributes; Wine keeps the
    // replacement's, which would leave the file hidden (and refused as such
    // the next time). They are put back either way.
    DWORD attributes = GetFileAttributesW(target);
    if (ReplaceFileW(target, source, NULL, REPLACEFILE_IGNORE_MERGE_ERRORS, NULL, NULL)) {
        if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(target, attributes);
        return true;
    }
    SetFileAttributesW(source, FILE_ATTRIBUTE_NORMAL);
    return MoveFileExW(source, target, MOVEFILE_REPLACE_EXISTING) != 0;
}

bool RemoveFile(const char* path) {
    WidePath wide(path);
    return wide && DeleteFileW(wide) != 0;
}

bool EnterDirectory(const char* path) {
    WidePath wide(path);
    return wide && SetCurrentDirectoryW(wide) != 0;
}

uint32_t ShortPathInPlace(char* path, uint32_t size) {
    WCHAR shortForm[MAX_PATH];
    WidePath wide(path);
    if (!wide) return 0;
    DWORD units = GetShortPathNameW(wide, shortForm, MAX_PATH);
    if (units == 0 || units >= MAX_PATH) return 0;
    char* utf8 = (char*)AllocateBlock(3 * MAX_PATH + 1);
    uint32_t length = utf8 ? Utf8FromWide(shortForm, (int)units, utf8, 3 * MAX_PATH + 1) : 0;
    if (length > 0 && length < size) memcpy(path, utf8, length + 1);
    ReleaseBlock(utf8);
    return length == 0 ? 0 : length < size ? length : length + 1;
}

void OpenWithShell(const char* file, const char* parameters) {
    WCHAR* wideFile = WideCopy(file);
    WCHAR* wideParameters = WideCopy(parameters);
    if (wideFile && wideParameters) ShellExecuteW(NULL, L"open", wideFile, wideParameters, L"", SW_SHOW);
    ReleaseBlock(wideFile);
    ReleaseBlock(wideParameters);
}

void EndProcess() { ExitProcess(0); }

uint32_t AnsiCodePage() { return GetACP(); }

bool AnsiCodePageIsSingleByte() {
    CPINFO info;
    return GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 1;
}

static bool IsUtf8(uint32_t codePage) {
    return codePage == kUtf8CodePage || (codePage == kAnsiCodePage && GetACP() == kUtf8CodePage);
}

// Text from one code page to another through UTF-16, which never needs more
// units than the text has bytes. Strict both ways: an invalid sequence
// fails, and so does a character the target lacks (the "used default"
// answer, which UTF-8, having every character, cannot give and may not be
// asked for), instead of becoming "?" or a best-fit look-alike.
static uint32_t Recode(uint32_t from, uint32_t to, const char* in, uint32_t length, char* out, uint32_t size) {
    if (length == 0 || size == 0) return 0;
    WCHAR* wide = (WCHAR*)AllocateBlock(length * sizeof(WCHAR));
    if (!wide) return 0;
    int units = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, in, (int)length, wide, (int)length);
    BOOL usedDefault = FALSE;
    bool toUtf8 = IsUtf8(to);
    int written = units > 0 ? WideCharToMultiByte(to, toUtf8 ? 0 : WC_NO_BEST_FIT_CHARS, wide, units, out, (int)size,
                                                  NULL, toUtf8 ? NULL : &usedDefault)
                            : 0;
    ReleaseBlock(wide);
    return written > 0 && !usedDefault ? (uint32_t)written : 0;
}

uint32_t CodePageToUtf8(uint32_t codePage, const char* in, uint32_t length, char* out, uint32_t size) {
    return Recode(codePage, CP_UTF8, in, length, out, size);
}

uint32_t Utf8ToCodePage(uint32_t codePage, const char* utf8, uint32_t length, char* out, uint32_t size) {
    return Recode(CP_UTF8, codePage, utf8, length, out, size);
}
