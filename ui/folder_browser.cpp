// The shell's folder browser with one added push button. The button ends
// the browser as OK does and tells the caller that the user wants a new
// subdirectory below the chosen folder. Everything here is static and
// reused: only one browser is open at a time.
#include "ui/folder_browser.h"

#include <commctrl.h>
#include <shlobj.h>
#include <string.h>

#include "platform/win32/wide_text.h"
#include "startup/sfx_globals.h"
#include "ui/control_ids.h"
#include "ui/texts.h"

static const int kNewFolderGap = 90;  // from the OK button's left edge to the new button's
static const int kNewFolderWidth = 75;
static const DWORD kNewFolderStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP;

// The texts of this file as UTF-16 literals: "L" joined to a UTF-8 literal
// makes the compiler store it as UTF-16.
#define WIDE(text) L"" text

static BROWSEINFOW BrowseRequest;
static bool NewFolderRequested;
static HWND NewFolderButton;

static bool IsSelectionChange(const NMHDR* notification) {
    return notification->code == TVN_SELCHANGEDA || notification->code == TVN_SELCHANGEDW;
}

static void MatchNewFolderToOk(HWND browser) {
    EnableWindow(NewFolderButton, IsWindowEnabled(GetDlgItem(browser, IDOK)));
}

// The new button posts OK to the browser, so that the browser ends with
// the current selection exactly as its own OK would end it. Everything else
// goes to the browser; after it has handled a selection change in its
// tree, the new button is matched to OK once more, for browsers (Wine's)
// that set OK for a new selection only after calling BrowseCallback.
static LRESULT CALLBACK BrowseWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && wParam == IDC_NEW_FOLDER) {
        NewFolderRequested = true;
        PostMessageW(window, WM_COMMAND, IDOK, 0);
        return 1;
    }
    LRESULT result = DefDlgProcW(window, message, wParam, lParam);
    if (message == WM_NOTIFY && IsSelectionChange((const NMHDR*)lParam)) MatchNewFolderToOk(window);
    return result;
}

// Puts the new button on the OK button's row, 90 pixels left of it, with
// its height and font, disabled until the first selection change, and
// takes over the browser's window procedure to hear the button.
static void AddNewFolderButton(HWND browser) {
    SetWindowTextW(browser, WIDE(TEXT_BROWSE_CAPTION));
    HWND ok = GetDlgItem(browser, IDOK);
    RECT okRect;
    GetWindowRect(ok, &okRect);
    POINT topLeft = {okRect.left, okRect.top};
    ScreenToClient(browser, &topLeft);
    NewFolderButton = CreateWindowExW(0, L"BUTTON", WIDE(TEXT_NEW_FOLDER_BUTTON), kNewFolderStyle,
                                      topLeft.x - kNewFolderGap, topLeft.y, kNewFolderWidth,
                                      okRect.bottom - okRect.top, browser, (HMENU)IDC_NEW_FOLDER,
                                      GetModuleHandleW(NULL), NULL);
    LRESULT font = SendMessageW(ok, WM_GETFONT, 0, 0);
    PostMessageW(NewFolderButton, WM_SETFONT, (WPARAM)font, 1);
    EnableWindow(NewFolderButton, FALSE);
    SetWindowLongPtrW(browser, GWLP_WNDPROC, (LONG_PTR)BrowseWindowProc);
}

// OK is disabled for an item without a file-system path; the new button
// always follows OK.
static void FollowSelection(HWND browser, LPCITEMIDLIST item) {
    HWND ok = GetDlgItem(browser, IDOK);
    if (!SHGetPathFromIDListW(item, BrowseRequest.pszDisplayName)) EnableWindow(ok, FALSE);
    MatchNewFolderToOk(browser);
}

static int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM argument, LPARAM) {
    if (message == BFFM_INITIALIZED) AddNewFolderButton(browser);
    if (message == BFFM_SELCHANGED) FollowSelection(browser, (LPCITEMIDLIST)argument);
    return 0;
}

// The chosen folder's path, when it fits the 255 characters of the target
// buffer; it then becomes the current directory. A longer path is refused
// as a whole rather than cut, since a cut path could name another folder;
// the browse then counts as cancelled.
static bool TakeChosenPath(LPITEMIDLIST chosen, char* pathBuffer) {
    WCHAR path[MAX_PATH];
    path[0] = 0;
    if (!SHGetPathFromIDListW(chosen, path)) return false;
    path[MAX_PATH - 1] = 0;
    if (lstrlenW(path) > (int)kLongestExtractDir || !Utf8FromWide(path, -1, pathBuffer, kPathBufferSize)) return false;
    SetCurrentDirectoryW(path);
    return true;
}

// The display-name buffer, which the selection test also uses as scratch,
// lives on the stack for the browse only: a static one would lie in .bss,
// taking no room in the image, but its uses would take more code.
bool BrowseForExtractDir(HWND owner, char* pathBuffer) {
    WCHAR displayName[MAX_PATH];
    BrowseRequest.hwndOwner = owner;
    BrowseRequest.pidlRoot = NULL;
    BrowseRequest.pszDisplayName = displayName;
    BrowseRequest.lpszTitle = WIDE(TEXT_BROWSE_TITLE);
    BrowseRequest.ulFlags = BIF_RETURNONLYFSDIRS;
    BrowseRequest.lpfn = BrowseCallback;
    BrowseRequest.lParam = 0;
    NewFolderRequested = false;

    LPITEMIDLIST chosen = SHBrowseForFolderW(&BrowseRequest);
    NewFolderButton = NULL;  // went with the browser window
    if (!chosen) return false;
    bool taken = TakeChosenPath(chosen, pathBuffer);
    ILFree(chosen);  // the shell allocated it
    return taken && NewFolderRequested;
}
