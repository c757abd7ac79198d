// The new-subdirectory dialog: its base folder is the one the folder
// browser chose, which is also the current directory while it is open.
#include "ui/new_dir_dialog.h"

#include <string.h>

#include "startup/sfx_globals.h"
#include "ui/centre_window.h"
#include "ui/control_ids.h"
#include "ui/texts.h"
#include "util/paths.h"
#include "util/subdirectory.h"

static const int kNameBufferSize = 258;

static void InitNewDirDialog(HWND dialog) {
    AddTrailingBackslash(Sfx.ExtractDir);
    CentreWindow(dialog);
    SetDlgItemTextA(dialog, IDC_BASE_FOLDER, Sfx.ExtractDir);
    SetFocus(GetDlgItem(dialog, IDC_NEW_DIR_NAME));
}

// The name exactly as typed goes after the base folder when the two fit
// the 256-byte buffer with room to spare; otherwise the target stays the
// base folder.
static void AppendToExtractDir(const char* name) {
    uint32_t baseLength = TextLength(Sfx.ExtractDir);
    uint32_t nameLength = TextLength(name);
    if (baseLength + nameLength + 1 >= kPathBufferSize) return;
    memcpy(Sfx.ExtractDir + baseLength, name, nameLength + 1);
}

// An empty name ends the dialog without making anything; a name that
// cannot be made keeps it open for another try or Cancel.
static void OnMakeDirectory(HWND dialog) {
    char name[kNameBufferSize];
    UINT length = GetDlgItemTextA(dialog, IDC_NEW_DIR_NAME, name, kNameBufferSize);
    name[length < kNameBufferSize ? length : kNameBufferSize - 1] = 0;
    if (name[0] && !MakeSubdirectory(Sfx.ExtractDir, name)) {
        MessageBoxA(dialog, TEXT_DIRECTORY_ERROR, TEXT_ERROR_CAPTION, MB_ICONERROR | MB_OK);
        return;
    }
    if (name[0]) AppendToExtractDir(name);
    EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK NewDirDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) InitNewDirDialog(dialog);
    if (message != WM_COMMAND) return FALSE;
    if (LOWORD(wParam) == IDOK) OnMakeDirectory(dialog);
    if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, IDCANCEL);
    return FALSE;
}
