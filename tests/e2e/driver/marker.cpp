// Test helper: a GUI program (no console window) that a combined file
// carries as its run command. Each start appends to "ran.txt" beside the
// program, in UTF-8: a line "cwd=<current directory>" and one line
// "arg=<argument>" per command-line argument after the program's name,
// then a line "end".
#include <windows.h>
#include <shellapi.h>

static void WriteUtf8(HANDLE file, const wchar_t* text) {
    char bytes[4096];
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, NULL, NULL);
    DWORD written;
    if (length > 1) WriteFile(file, bytes, (DWORD)(length - 1), &written, NULL);
}

static void WriteLine(HANDLE file, const wchar_t* key, const wchar_t* value) {
    WriteUtf8(file, key);
    WriteUtf8(file, value);
    WriteUtf8(file, L"\n");
}

static HANDLE OpenRecordBesideProgram() {
    wchar_t path[MAX_PATH + 16];
    DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
    while (length > 0 && path[length - 1] != L'\\') --length;
    lstrcpyW(path + length, L"ran.txt");
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    return file;
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    HANDLE record = OpenRecordBesideProgram();
    if (record == INVALID_HANDLE_VALUE) return 1;
    wchar_t directory[MAX_PATH];
    directory[0] = 0;
    GetCurrentDirectoryW(MAX_PATH, directory);
    WriteLine(record, L"cwd=", directory);
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; arguments && i < count; ++i) WriteLine(record, L"arg=", arguments[i]);
    WriteUtf8(record, L"end\n");
    CloseHandle(record);
    return 0;
}
