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
//   driver check HWND ID 0|1             sets a check box's state (BM_SETCHECK)
//   driver browse-to HWND PATH           selects a folder in a folder browser
//   driver shortpath PATH                the short form of a path, as JSON
//   driver hold PATH MS ACCESS SHARE     holds a file open (see Hold)
//   driver load-library NAME             loads a DLL by name (see LoadByName)
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

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
    printf("{\"hwnd\":%lu,\"id\":%d,\"pid\":%lu,\"owner\":%lu,\"class\":",
           (unsigned long)(ULONG_PTR)window, GetDlgCtrlID(window), pid,
           (unsigned long)(ULONG_PTR)GetWindow(window, GW_OWNER));
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

static int Check(HWND window, int id, int state) {
    HWND control = GetDlgItem(window, id);
    if (!control) return 1;
    Ask(control, BM_SETCHECK, state, 0);
    return 0;
}

// The browser's tree view and the item selected in it.
static HTREEITEM SelectedTreeItem(HWND browser) {
    HWND tree = FindWindowExW(browser, NULL, WC_TREEVIEWW, NULL);
    return tree ? (HTREEITEM)Ask(tree, TVM_GETNEXTITEM, TVGN_CARET, 0) : NULL;
}

// BFFM_SETSELECTIONW takes a path by pointer, which must point into the
// browser's own process: the path is written there first. The message is
// sent without a time limit (expanding the tree down to the folder can take
// a while), since the memory must stay until the browser has read it.
static bool SendSelection(HWND browser, HANDLE process, const wchar_t* path) {
    SIZE_T size = (wcslen(path) + 1) * sizeof(wchar_t);
    void* remote = VirtualAllocEx(process, NULL, size, MEM_COMMIT, PAGE_READWRITE);
    if (!remote) return false;
    bool sent = WriteProcessMemory(process, remote, path, size, NULL);
    if (sent) SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, (LPARAM)remote);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return sent;
}

// Wine's browser may ignore a selection sent while it still fills its tree
// after opening, so the request is repeated until the selected item
// changes. Prints how many requests it took.
static int BrowseTo(HWND browser, const wchar_t* path) {
    DWORD pid = 0;
    GetWindowThreadProcessId(browser, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
    if (!process) return 1;
    HTREEITEM before = SelectedTreeItem(browser);
    int attempts = 0;
    bool moved = false;
    while (!moved && attempts < 120 && SendSelection(browser, process, path)) {
        ++attempts;
        moved = SelectedTreeItem(browser) != before;
        if (!moved) Sleep(250);
    }
    CloseHandle(process);
    printf("{\"attempts\":%d,\"moved\":%s}\n", attempts, moved ? "true" : "false");
    return moved ? 0 : 1;
}

static int ShortPath(const wchar_t* path) {
    static wchar_t shortForm[MAX_PATH];
    if (!GetShortPathNameW(path, shortForm, MAX_PATH)) return 1;
    PrintJsonString(shortForm);
    putchar('\n');
    return 0;
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

// Loads a DLL by its bare name with the default search order, as a program
// that does nothing to narrow the search would. Prints whether it loaded.
static int LoadByName(const wchar_t* name) {
    HMODULE module = LoadLibraryW(name);
    printf("{\"loaded\":%s}\n", module ? "true" : "false");
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
    else if (argc == 5 && !wcscmp(argv[1], L"check"))
        result = Check(WindowArgument(argv[2]), _wtoi(argv[3]), _wtoi(argv[4]));
    else if (argc == 4 && !wcscmp(argv[1], L"browse-to")) result = BrowseTo(WindowArgument(argv[2]), argv[3]);
    else if (argc == 3 && !wcscmp(argv[1], L"shortpath")) result = ShortPath(argv[2]);
    else if (argc == 6 && !wcscmp(argv[1], L"hold"))
        result = Hold(argv[2], wcstoul(argv[3], NULL, 10), argv[4], argv[5]);
    else if (argc == 3 && !wcscmp(argv[1], L"load-library")) result = LoadByName(argv[2]);
    else fputs("usage: driver windows | dump HWND | settext HWND ID TEXT | press HWND ID |"
               " select HWND ID INDEX 0|1 | check HWND ID 0|1 | browse-to HWND PATH |"
               " shortpath PATH | hold PATH MS read|write|delete share-read|share-none |"
               " load-library NAME\n", stderr);
    fflush(stdout);
    return result;
}
