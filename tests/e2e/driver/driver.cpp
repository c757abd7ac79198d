// Test driver for the end-to-end tests: a small Win32 console program run
// under the same Wine server as the stub. It finds windows, reports their
// controls as JSON (ASCII only, other characters as \u escapes) and acts on
// them with window messages, never with pixel clicks.
//
//   driver windows                       top-level windows
//   driver dump HWND                     a window and its child controls
//   driver settext HWND ID TEXT          sets a control's text
//   driver press HWND ID                 posts WM_COMMAND for a button id
//   driver select HWND ID INDEX 0|1      sets one list-box item's selection
//   driver hold PATH MS ACCESS SHARE     holds a file open (see Hold)
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

static const UINT kTimeoutMs = 3000;

static void PrintJsonString(const wchar_t* text) {
    putchar('"');
    for (; *text; ++text) {
        wchar_t c = *text;
        if (c == '"' || c == '\\') printf("\\%c", (char)c);
        else if (c >= 0x20 && c < 0x7f) putchar((char)c);
        else printf("\\u%04x", (unsigned)c);
    }
    putchar('"');
}

static void PrintHexBytes(const char* bytes) {
    putchar('"');
    for (; *bytes; ++bytes) printf("%02x", (unsigned char)*bytes);
    putchar('"');
}

// WM_GETTEXT works across processes, unlike GetWindowText for controls.
static void PrintWindowTexts(HWND window) {
    static wchar_t wide[4096];
    static char ansi[8192];
    DWORD_PTR ignored;
    wide[0] = 0;
    ansi[0] = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 4096, (LPARAM)wide, SMTO_ABORTIFHUNG, kTimeoutMs, &ignored);
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof ansi, (LPARAM)ansi, SMTO_ABORTIFHUNG, kTimeoutMs, &ignored);
    printf("\"text\":");
    PrintJsonString(wide);
    printf(",\"ansi\":");
    PrintHexBytes(ansi);
}

static LRESULT Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kTimeoutMs, &result);
    return (LRESULT)result;
}

static void PrintListBox(HWND list) {
    int count = (int)Ask(list, LB_GETCOUNT, 0, 0);
    printf(",\"items\":[");
    for (int i = 0; i < count; ++i) {
        static wchar_t item[1024];
        item[0] = 0;
        if (Ask(list, LB_GETTEXTLEN, i, 0) < 1024) Ask(list, LB_GETTEXT, i, (LPARAM)item);
        if (i) putchar(',');
        PrintJsonString(item);
    }
    printf("],\"selected\":[");
    bool first = true;
    for (int i = 0; i < count; ++i) {
        if (Ask(list, LB_GETSEL, i, 0) > 0) {
            printf(first ? "%d" : ",%d", i);
            first = false;
        }
    }
    putchar(']');
}

static void PrintWindow(HWND window) {
    wchar_t className[256];
    GetClassNameW(window, className, 256);
    RECT rect;
    GetWindowRect(window, &rect);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    printf("{\"hwnd\":%lu,\"id\":%d,\"pid\":%lu,\"class\":", (unsigned long)(ULONG_PTR)window,
           GetDlgCtrlID(window), pid);
    PrintJsonString(className);
    putchar(',');
    PrintWindowTexts(window);
    printf(",\"visible\":%s,\"enabled\":%s,\"style\":%lu,\"rect\":[%ld,%ld,%ld,%ld]",
           IsWindowVisible(window) ? "true" : "false", IsWindowEnabled(window) ? "true" : "false",
           (unsigned long)GetWindowLongW(window, GWL_STYLE), rect.left, rect.top, rect.right,
           rect.bottom);
    if (!_wcsicmp(className, L"Button"))
        printf(",\"checked\":%d", (int)Ask(window, BM_GETCHECK, 0, 0));
    if (!_wcsicmp(className, L"ListBox")) PrintListBox(window);
}

static BOOL CALLBACK PrintTopLevel(HWND window, LPARAM count) {
    if (!IsWindowVisible(window)) return TRUE;
    if ((*(int*)count)++) putchar(',');
    PrintWindow(window);
    putchar('}');
    return TRUE;
}

static BOOL CALLBACK PrintChild(HWND window, LPARAM count) {
    if (GetParent(window) == NULL) return TRUE;
    if ((*(int*)count)++) putchar(',');
    PrintWindow(window);
    putchar('}');
    return TRUE;
}

static HWND WindowArgument(const wchar_t* text) { return (HWND)(ULONG_PTR)wcstoul(text, NULL, 10); }

static int ListWindows() {
    int count = 0;
    putchar('[');
    EnumWindows(PrintTopLevel, (LPARAM)&count);
    puts("]");
    return 0;
}

static int Dump(HWND window) {
    if (!IsWindow(window)) {
        puts("null");
        return 1;
    }
    PrintWindow(window);
    printf(",\"children\":[");
    int count = 0;
    EnumChildWindows(window, PrintChild, (LPARAM)&count);
    puts("]}");
    return 0;
}

static int SetText(HWND window, int id, const wchar_t* text) {
    HWND control = GetDlgItem(window, id);
    if (!control) return 1;
    Ask(control, WM_SETTEXT, 0, (LPARAM)text);
    return 0;
}

// Posted, not sent: the command may run a modal loop (a pass, a dialog).
static int Press(HWND window, int id) {
    HWND control = GetDlgItem(window, id);
    return PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)control) ? 0 : 1;
}

static int Select(HWND window, int id, int index, int selected) {
    HWND control = GetDlgItem(window, id);
    if (!control) return 1;
    return Ask(control, LB_SETSEL, selected, index) == LB_ERR ? 1 : 0;
}

// `access` is "read", "write" or "delete" (the access a renaming updater
// holds); the file is shared with no one, or only with readers when `share`
// is "share-read".
static int Hold(const wchar_t* path, DWORD milliseconds, const wchar_t* access, const wchar_t* share) {
    DWORD accessMask = !wcscmp(access, L"write")    ? GENERIC_WRITE
                       : !wcscmp(access, L"delete") ? DELETE
                                                    : GENERIC_READ;
    DWORD shareMode = !wcscmp(share, L"share-read") ? FILE_SHARE_READ : 0;
    HANDLE file = CreateFileW(path, accessMask, shareMode, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        puts("{\"held\":false}");
        return 1;
    }
    puts("{\"held\":true}");
    fflush(stdout);
    Sleep(milliseconds);
    CloseHandle(file);
    return 0;
}

int wmain(int argc, wchar_t** argv) {
    setvbuf(stdout, NULL, _IOFBF, 1 << 16);
    int result = 2;
    if (argc == 2 && !wcscmp(argv[1], L"windows")) result = ListWindows();
    else if (argc == 3 && !wcscmp(argv[1], L"dump")) result = Dump(WindowArgument(argv[2]));
    else if (argc == 5 && !wcscmp(argv[1], L"settext"))
        result = SetText(WindowArgument(argv[2]), _wtoi(argv[3]), argv[4]);
    else if (argc == 4 && !wcscmp(argv[1], L"press")) result = Press(WindowArgument(argv[2]), _wtoi(argv[3]));
    else if (argc == 6 && !wcscmp(argv[1], L"select"))
        result = Select(WindowArgument(argv[2]), _wtoi(argv[3]), _wtoi(argv[4]), _wtoi(argv[5]));
    else if (argc == 6 && !wcscmp(argv[1], L"hold"))
        result = Hold(argv[2], wcstoul(argv[3], NULL, 10), argv[4], argv[5]);
    else fputs("usage: driver windows | dump HWND | settext HWND ID TEXT | press HWND ID |"
               " select HWND ID INDEX 0|1 | hold PATH MS read|write|delete share-read|share-none\n", stderr);
    fflush(stdout);
    return result;
}
