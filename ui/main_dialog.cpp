// The main dialog: target directory, member list, overwrite policy and the
// run-after-extraction check box.
#include "ui/main_dialog.h"

#include <string.h>

#include "archive/extraction_pass.h"
#include "startup/sfx_globals.h"
#include "ui/centre_window.h"
#include "ui/control_ids.h"
#include "util/paths.h"

// The target directory the dialog starts with: the settings block's default
// directory, or else the current directory. A default directory that does
// not fit the 255 characters of ExtractDir is not cut (a cut path could name
// another existing directory); the current directory is used instead.
static void InitialExtractDir() {
    Sfx.ExtractDir[0] = 0;
    if (Sfx.HasDefaultDir && strlen(Sfx.DefaultDirText) < kPathBufferSize) {
        strcpy(Sfx.ExtractDir, Sfx.DefaultDirText);
        return;
    }
    // A current directory that does not fit leaves the buffer untouched.
    GetCurrentDirectoryA(kPathBufferSize, Sfx.ExtractDir);
    Sfx.ExtractDir[kPathBufferSize - 1] = 0;
}

static void ShowExtractDir(HWND dialog) {
    SendDlgItemMessageA(dialog, IDC_EXTRACT_DIR, WM_SETTEXT, 0, (LPARAM)Sfx.ExtractDir);
    SendDlgItemMessageA(dialog, IDC_EXTRACT_DIR, EM_SETSEL, 0, 32767);
}

static void InitOverwriteChoice(HWND dialog) {
    SendDlgItemMessageA(dialog, Sfx.DefaultOverwriteButton, BM_SETCHECK, 1, 0);
    Sfx.OverwriteMode = (uint8_t)(Sfx.DefaultOverwriteButton - IDC_OVERWRITE);
    if (!Sfx.HideOverwriteChoice) return;
    static const int kOverwriteControls[] = {IDC_OVERWRITE, IDC_SKIP, IDC_ASK, IDC_OVERWRITE_GROUP};
    for (int id : kOverwriteControls) DestroyWindow(GetDlgItem(dialog, id));
}

static void SelectAllMembers(HWND dialog) {
    SendDlgItemMessageA(dialog, IDC_MEMBER_LIST, LB_SETSEL, TRUE, -1);
}

// Lists the members; when the user may not choose, a second, inert list
// stands in front of the real one until Start.
static void FillMemberLists(HWND dialog) {
    ExtractionPass(dialog, IDC_MEMBER_LIST, true);
    if (Sfx.AllowMemberChoice) {
        ShowWindow(GetDlgItem(dialog, IDC_MEMBER_LIST_FIXED), SW_HIDE);
    } else {
        ShowWindow(GetDlgItem(dialog, IDC_MEMBER_LIST), SW_HIDE);
        ExtractionPass(dialog, IDC_MEMBER_LIST_FIXED, true);
    }
    SelectAllMembers(dialog);
}

static void InitMainDialog(HWND dialog) {
    InitialExtractDir();
    if (!Sfx.HasRunCommand) ShowWindow(GetDlgItem(dialog, IDC_RUN_AFTER), SW_HIDE);
    ShowExtractDir(dialog);
    InitOverwriteChoice(dialog);
    if (Sfx.HasTitle) SetWindowTextA(dialog, Sfx.TitleText);
    CentreWindow(dialog);
    FillMemberLists(dialog);
    if (Sfx.AutoStart) SendMessageA(dialog, WM_COMMAND, IDC_START, 0);
    Sfx.MainDialogHandle = dialog;
}

// The target directory as typed, without one trailing ""; an empty field
// means the current directory, which the field then shows.
static void TakeExtractDir(HWND dialog) {
    UINT length = GetDlgItemTextA(dialog, IDC_EXTRACT_DIR, Sfx.ExtractDir, kPathBufferSize);
    Sfx.ExtractDir[length < kPathBufferSize ? length : kPathBufferSize - 1] = 0;
    RemoveTrailingBackslash(Sfx.ExtractDir);
    if (Sfx.ExtractDir[0]) return;
    GetCurrentDirectoryA(kPathBufferSize, Sfx.ExtractDir);
    Sfx.ExtractDir[kPathBufferSize - 1] = 0;
    SendDlgItemMessageA(dialog, IDC_EXTRACT_DIR, WM_SETTEXT, 0, (LPARAM)Sfx.ExtractDir);
}

// Start. The pass lets window messages through, so a second Start can
// arrive while it runs; it is ignored, since a nested pass would move the
// archive position and the open output file of the running one.
static void OnStart(HWND dialog) {
    static bool passRunning;
    if (passRunning) return;
    passRunning = true;
    if (!Sfx.AllowMemberChoice) {
        SelectAllMembers(dialog);
        ShowWindow(GetDlgItem(dialog, IDC_MEMBER_LIST_FIXED), SW_HIDE);
        ShowWindow(GetDlgItem(dialog, IDC_MEMBER_LIST), SW_SHOW);
    }
    TakeExtractDir(dialog);
    ExtractionPass(dialog, IDC_MEMBER_LIST, false);
    passRunning = false;
    if (Sfx.AllExtracted) EndDialog(dialog, IDC_START);
    if (Sfx.AutoStart) SendMessageA(dialog, WM_COMMAND, IDC_CLOSE, 0);
}

// Returns true only for Close, as the dialog manager expects of a command
// that ended the dialog.
static bool OnCommand(HWND dialog, int id) {
    switch (id) {
        case IDC_OVERWRITE:
        case IDC_SKIP:
        case IDC_ASK:
            Sfx.OverwriteMode = (uint8_t)(id - IDC_OVERWRITE);
            return false;
        case IDC_START:
            OnStart(dialog);
            return false;
        case IDC_CLOSE:
            EndDialog(dialog, IDC_CLOSE);
            return true;
    }
    return false;
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            InitMainDialog(dialog);
            return FALSE;  // the dialog sets no focus of its own
        case WM_COMMAND:
            return OnCommand(dialog, LOWORD(wParam));
    }
    return FALSE;
}
