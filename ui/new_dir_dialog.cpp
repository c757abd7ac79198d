// The new-subdirectory dialog: its base folder is the one the folder
// browser chose, which is also the current directory while it is open.
#include "ui/new_dir_dialog.h"

#include <string.h>

#include "platform/win32/wide_text.h"
#include "startup/sfx_globals.h"
#include "ui/centre_window.h"
#include "ui/control_ids.h"
#include "ui/texts.h"
#include "util/paths.h"
#include "util/subdirectory.h"
#include "util/utf8.h"

// The longest name taken from the box, in UTF-16 units.
static const uint32_t kLongestNewName = 257;

static void InitNewDirDialog(HWND dialog) {
    AddTrailingBackslash(Sfx.ExtractDir);
    CentreWindow(dialog);
    SetItemUtf8(dialog, IDC_BASE_FOLDER, Sfx.ExtractDir);
    SetFocus(GetDlgItem(dialog, IDC_NEW_DIR_NAME));
}

// The name exactly as typed goes after the base folder when the two fit
// ExtractDir's 255 characters with room to spare; otherwise the target
// stays the base folder.
static void AppendToExtractDir(const char* name) {
    uint32_t baseLength = PathBufferLength(Sfx.ExtractDir);
    uint32_t nameLength = (uint32_t)strlen(name);
    if (Utf16Units(Sfx.ExtractDir, baseLength) + Utf16Units(name, nameLength) >= kLongestExtractDir) return;
    memcpy(Sfx.ExtractDir + baseLength, name, nameLength + 1);
}

// An empty name ends the dialog without making anything; a name that
// cannot be made keeps it open for another try or Cancel.
static void OnMakeDirectory(HWND dialog) {
    char name[3 * kLongestNewName + 1];
    ItemUtf8(dialog, IDC_NEW_DIR_NAME, name, sizeof name, kLongestNewName);
    if (name[0] && !MakeSubdirectory(Sfx.ExtractDir, name)) {
        MessageBoxUtf8(dialog, TEXT_DIRECTORY_ERROR, TEXT_ERROR_CAPTION, MB_ICONERROR | MB_OK);
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
