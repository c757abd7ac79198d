#include "platform/win32/wide_text.h"

#include "platform/platform.h"

WCHAR* WideCopy(const char* utf8) {
    int units = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, NULL, 0);
    WCHAR* wide = units > 0 ? (WCHAR*)AllocateBlock((uint32_t)units * sizeof(WCHAR)) : NULL;
    if (wide) MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, units);
    return wide;
}

#ifdef DOROMI_LOG_PATHS
// Test builds only: every path handed to a file call, one UTF-8 line each,
// appended to the file that DOROMI_PATH_LOG names.
static void LogPath(const WCHAR* wide) {
    WCHAR logName[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"DOROMI_PATH_LOG", logName, MAX_PATH);
    if (!wide || length == 0 || length >= MAX_PATH) return;
    DWORD error = GetLastError();
    HANDLE log = CreateFileW(logName, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, NULL);
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, NULL, 0, NULL, NULL);
    char* line = log != INVALID_HANDLE_VALUE && bytes > 0 ? (char*)AllocateBlock((uint32_t)bytes) : NULL;
    if (line) {
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, line, bytes, NULL, NULL);
        line[bytes - 1] = '\n';
        DWORD written;
        WriteFile(log, line, (DWORD)bytes, &written, NULL);
    }
    ReleaseBlock(line);
    if (log != INVALID_HANDLE_VALUE) CloseHandle(log);
    SetLastError(error);
}
#else
static void LogPath(const WCHAR*) {}
#endif

// The full form of a path by Windows' own rules, which resolve a relative
// path and drop the trailing dots and blanks that the extended form would
// keep; then, when it is longer than `longestPlain`, its extended form.
// Null when there is none.
static WCHAR* SystemPath(const WCHAR* path, uint32_t longestPlain) {
    DWORD size = GetFullPathNameW(path, 0, NULL, NULL);
    uint32_t capacity = size + kExtendedPrefixGrowth;
    WCHAR* full = size > 0 ? (WCHAR*)AllocateBlock(capacity * sizeof(WCHAR)) : NULL;
    DWORD length = full ? GetFullPathNameW(path, size, full, NULL) : 0;
    if (length > 0 && length < size && SystemPathForm(full, length, capacity, longestPlain) > 0) return full;
    ReleaseBlock(full);
    return NULL;
}

WidePath::WidePath(const char* utf8, uint32_t longestPlain) : wide(NULL) {
    WCHAR* given = WideCopy(utf8);
    // Most paths are a full target directory and a checked member name,
    // well within the plain limit: those go to the call as they are, which
    // normalises a plain path itself, sparing two GetFullPathNameW calls and
    // a block for every file a pass touches. A relative target, or a long
    // path, takes the way below.
    if (given && IsShortFullPath(given, (uint32_t)lstrlenW(given), longestPlain)) {
        wide = given;
        LogPath(wide);
        return;
    }
    if (given) wide = SystemPath(given, longestPlain);
    ReleaseBlock(given);
    if (!wide) SetLastError(given ? ERROR_FILENAME_EXCED_RANGE : ERROR_NOT_ENOUGH_MEMORY);
    LogPath(wide);
}

uint32_t Utf8FromWide(const WCHAR* wide, int units, char* out, uint32_t size) {
    int length = WideCharToMultiByte(CP_UTF8, 0, wide, units, out, (int)size, NULL, NULL);
    // With -1 the count includes the terminator, which was converted too.
    if (units < 0 && length > 0) --length;
    if (length <= 0 || (uint32_t)length >= size) length = 0;
    if (size > 0) out[length] = 0;
    return (uint32_t)length;
}

void SetWindowUtf8(HWND window, const char* text) {
    WCHAR* wide = WideCopy(text);
    SetWindowTextW(window, wide ? wide : L"");
    ReleaseBlock(wide);
}

void SetItemUtf8(HWND dialog, int id, const char* text) { SetWindowUtf8(GetDlgItem(dialog, id), text); }

uint32_t ItemUtf8(HWND dialog, int id, char* out, uint32_t size, uint32_t units) {
    WCHAR* wide = (WCHAR*)AllocateBlock((units + 1) * sizeof(WCHAR));
    out[0] = 0;
    if (!wide) return 0;
    int length = GetDlgItemTextW(dialog, id, wide, (int)units + 1);
    uint32_t converted = length > 0 ? Utf8FromWide(wide, length, out, size) : 0;
    ReleaseBlock(wide);
    return converted;
}

int MessageBoxUtf8(HWND owner, const char* text, const char* caption, UINT type) {
    WCHAR* wideText = WideCopy(text);
    WCHAR* wideCaption = WideCopy(caption);
    int answer = MessageBoxW(owner, wideText ? wideText : L"", wideCaption ? wideCaption : L"", type);
    ReleaseBlock(wideText);
    ReleaseBlock(wideCaption);
    return answer;
}
