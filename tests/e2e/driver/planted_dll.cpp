// Test helper: a DLL that a test places beside the stub under the name of a
// system DLL. If a process loads it, it appends the path of that process's
// program and its own path to "planted-loaded.txt" beside itself, then
// refuses to stay loaded, so that the process never calls into it.
#include <windows.h>

static void Append(HANDLE file, const wchar_t* text) {
    char bytes[2 * MAX_PATH * 3];
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, NULL, NULL);
    DWORD written;
    if (length > 1) WriteFile(file, bytes, (DWORD)(length - 1), &written, NULL);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t own[MAX_PATH + 32], program[MAX_PATH];
    DWORD length = GetModuleFileNameW(self, own, MAX_PATH);
    program[0] = 0;
    GetModuleFileNameW(NULL, program, MAX_PATH);
    wchar_t record[MAX_PATH + 32];
    lstrcpyW(record, own);
    while (length > 0 && record[length - 1] != L'\\') --length;
    lstrcpyW(record + length, L"planted-loaded.txt");
    HANDLE file = CreateFileW(record, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        Append(file, L"program=");
        Append(file, program);
        Append(file, L"\ndll=");
        Append(file, own);
        Append(file, L"\n");
        CloseHandle(file);
    }
    return FALSE;
}
