// The main dialog: target directory, member list, overwrite policy and the
// run-after-extraction check box.
#include "ui/main_dialog.h"

#include <string.h>

#include "archive/extraction_pass.h"
#include "archive/overwrite_policy.h"
#include "platform/win32/wide_text.h"
#include "startup/sfx_globals.h"
#include "ui/centre_window.h"
#include "ui/control_ids.h"
#include "ui/folder_browser.h"
#include "ui/new_dir_dialog.h"
#include "ui/texts.h"
#include "util/paths.h"
#include "util/run_command.h"
#include "util/utf8.h"

// The current directory into ExtractDir; one that does not fit its 255
// characters leaves it untouched.
static void TakeCurrentDirectory() {
    WCHAR wide[kLongestExtractDir + 1];
    DWORD units = GetCurrentDirectoryW(kLongestExtractDir + 1, wide);
    if (units > 0 && units <= kLongestExtractDir) Utf8FromWide(wide, (int)units, Sfx.ExtractDir, kPathBufferSize);
}

// The target directory the dialog starts with: the settings block's default
// directory, or else the current directory. A default directory that does
// not fit the 255 characters of ExtractDir is not cut (a cut path could name
// another existing directory); the current directory is used instead.
static void InitialExtractDir() {
    Sfx.ExtractDir[0] = 0;
    if (Sfx.HasDefaultDir && Utf16Units(Sfx.DefaultDirText, strlen(Sfx.DefaultDirText)) <= kLongestExtractDir) {
        strcpy(Sfx.ExtractDir, Sfx.DefaultDirText);
        return;
    }
    TakeCurrentDirectory();
}

static void ShowExtractDir(HWND dialog) {
    SetItemUtf8(dialog, IDC_EXTRACT_DIR, Sfx.ExtractDir);
    SendDlgItemMessageW(dialog, IDC_EXTRACT_DIR, EM_SETSEL, 0, 32767);
}

// The run check box names the program and the parameters' last component.
// It starts ticked; when the user may not choose it is hidden but stays
// ticked, so the command still runs. Building its text adds the trailing
// "\" to ExtractDir that the edit box then shows.
static void InitRunChoice(HWND dialog) {
    HWND box = GetDlgItem(dialog, IDC_RUN_AFTER);
    if (!Sfx.HasRunCommand) {
        ShowWindow(box, SW_HIDE);
        return;
    }
    Text caption = RunChoiceCaption();
    SetWindowUtf8(box, caption.bytes ? caption.bytes : "");
    ReleaseText(caption);
    SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
    if (!Sfx.ShowRunChoice) ShowWindow(box, SW_HIDE);
}

static void InitOverwriteChoice(HWND dialog) {
    SendDlgItemMessageW(dialog, Sfx.DefaultOverwriteButton, BM_SETCHECK, 1, 0);
    Sfx.OverwriteMode = OverwriteModeOfButton(Sfx.DefaultOverwriteButton);
    if (!Sfx.HideOverwriteChoice) return;
    static const int kOverwriteControls[] = {IDC_OVERWRITE, IDC_SKIP, IDC_ASK, IDC_OVERWRITE_GROUP};
    for (int id : kOverwriteControls) DestroyWindow(GetDlgItem(dialog, id));
}

static void SelectAllMembers(HWND dialog) {
    SendDlgItemMessageW(dialog, IDC_MEMBER_LIST, LB_SETSEL, TRUE, -1);
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
    // Set first: the questions of an automatic start, which runs below,
    // update the overwrite buttons of this dialog.
    Sfx.MainDialogHandle = dialog;
    InitialExtractDir();
    InitRunChoice(dialog);
    ShowExtractDir(dialog);
    InitOverwriteChoice(dialog);
    if (Sfx.HasTitle) SetWindowUtf8(dialog, Sfx.TitleText);
    CentreWindow(dialog);
    FillMemberLists(dialog);
    if (Sfx.AutoStart) {
        // Shown before its time, so that the progress in its title can be
        // seen while the automatic extraction runs.
        ShowWindow(dialog, SW_SHOW);
        UpdateWindow(dialog);
        SendMessageW(dialog, WM_COMMAND, IDC_START, 0);
    }
}

// The target directory as typed, without one trailing "\"; an empty field
// means the current directory, which the field then shows.
static void TakeExtractDir(HWND dialog) {
    ItemUtf8(dialog, IDC_EXTRACT_DIR, Sfx.ExtractDir, kPathBufferSize, kLongestExtractDir);
    RemoveTrailingBackslash(Sfx.ExtractDir);
    if (Sfx.ExtractDir[0]) return;
    TakeCurrentDirectory();
    SetItemUtf8(dialog, IDC_EXTRACT_DIR, Sfx.ExtractDir);
}

// Set while a pass runs. The pass lets window messages through, so Start
// and "..." can arrive meanwhile; both are ignored then: a nested pass would
// move the archive position and the open output file of the running one,
// and a new target directory would split the members between two folders.
static bool PassRunning;

// Start: one extraction pass over the selected members; after a pass that
// extracted them all, the run command and the end of the dialog.
static void OnStart(HWND dialog) {
    if (PassRunning) return;
    PassRunning = true;
    if (!Sfx.AllowMemberChoice) {
        SelectAllMembers(dialog);
        ShowWindow(GetDlgItem(dialog, IDC_MEMBER_LIST_FIXED), SW_HIDE);
        ShowWindow(GetDlgItem(dialog, IDC_MEMBER_LIST), SW_SHOW);
    }
    TakeExtractDir(dialog);
    // The pass shows its progress in the title bar; the title comes back
    // afterwards.
    WCHAR title[kSettingsTextRead];
    GetWindowTextW(dialog, title, kSettingsTextRead);
    ExtractionPass(dialog, IDC_MEMBER_LIST, false);
    SetWindowTextW(dialog, title);
    PassRunning = false;
    if (Sfx.AllExtracted) {
        RunAfterExtraction(SendDlgItemMessageW(dialog, IDC_RUN_AFTER, BM_GETCHECK, 0, 0));
        EndDialog(dialog, IDC_START);
    }
    if (Sfx.AutoStart) SendMessageW(dialog, WM_COMMAND, IDC_CLOSE, 0);
}

// "...": the folder browser, then the new-subdirectory dialog when the
// browser was ended with its new-folder button. A cancelled new-subdirectory
// dialog leaves the target as typed in the edit box; in every case the edit
// box then shows the target, so a cancelled browser puts it back too.
static void OnBrowse(HWND dialog) {
    if (PassRunning) return;
    if (BrowseForExtractDir(dialog, Sfx.ExtractDir) &&
        DialogBoxParamW(GetModuleHandleW(NULL), L"DLGNEW", dialog, NewDirDialogProc, 0) != IDOK)
        ItemUtf8(dialog, IDC_EXTRACT_DIR, Sfx.ExtractDir, kPathBufferSize, kLongestExtractDir);
    SetItemUtf8(dialog, IDC_EXTRACT_DIR, Sfx.ExtractDir);
}

// The dialog procedure's answer to WM_COMMAND: true for Close, false for
// every other command. Close always ends the dialog; Start ends it too
// when everything was extracted (OnStart calls EndDialog). The answer only
// tells the dialog manager whether the command was handled; EndDialog ends
// the dialog either way.
static bool OnCommand(HWND dialog, int id) {
    switch (id) {
        case IDC_OVERWRITE:
        case IDC_SKIP:
        case IDC_ASK:
            Sfx.OverwriteMode = OverwriteModeOfButton(id);
            return false;
        case IDC_BROWSE:
            OnBrowse(dialog);
            return false;
        case IDC_ABOUT:
            MessageBoxUtf8(dialog, TEXT_ABOUT, TEXT_ABOUT_CAPTION, MB_OK);
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
