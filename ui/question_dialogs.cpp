// The two questions a pass may ask: overwrite an existing file, and the
// password of an encrypted member. Both hand their answers back through
// the shared state, not through the dialog result.
#include "ui/question_dialogs.h"

#include <string.h>

#include "platform/platform.h"
#include "platform/win32/wide_text.h"
#include "startup/sfx_globals.h"
#include "ui/centre_window.h"
#include "ui/control_ids.h"
#include "ui/texts.h"

// "<file name>파일이 이미 존재합니다, 겹쳐 쓰시겠습니까?" with no blank between.
static void ShowExistsQuestion(HWND dialog) {
    static const char question[] = TEXT_FILE_EXISTS;
    uint32_t nameLength = Sfx.ExistingFileName.length;
    char* text = (char*)AllocateBlock(nameLength + sizeof question);
    if (!text) return;
    if (nameLength) memcpy(text, Sfx.ExistingFileName.bytes, nameLength);
    memcpy(text + nameLength, question, sizeof question);
    SetItemUtf8(dialog, IDC_EXISTS_QUESTION, text);
    ReleaseBlock(text);
}

// With "never ask again" the main dialog's radio buttons follow the new
// policy. The buttons are gone when the overwrite choice is hidden; the
// messages then do nothing.
static void ShowNewPolicy(bool overwrite) {
    HWND main = (HWND)Sfx.MainDialogHandle;
    SendDlgItemMessageW(main, IDC_ASK, BM_SETCHECK, 0, 0);
    SendDlgItemMessageW(main, overwrite ? IDC_OVERWRITE : IDC_SKIP, BM_SETCHECK, 1, 0);
}

INT_PTR CALLBACK FileExistDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        CentreWindow(dialog);
        ShowExistsQuestion(dialog);
        return FALSE;
    }
    if (message != WM_COMMAND) return FALSE;
    int id = LOWORD(wParam);
    if (id != IDOK && id != IDCANCEL) return FALSE;
    bool overwrite = id == IDOK;
    bool neverAskAgain = SendDlgItemMessageW(dialog, IDC_NEVER_ASK_AGAIN, BM_GETCHECK, 0, 0) == 1;
    if (neverAskAgain) ShowNewPolicy(overwrite);
    RecordOverwriteAnswer(overwrite, neverAskAgain);
    EndDialog(dialog, id);
    return TRUE;
}

INT_PTR CALLBACK PasswordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        CentreWindow(dialog);
        SetFocus(GetDlgItem(dialog, IDC_PASSWORD));
        return FALSE;
    }
    // Only 확인 (or Enter) leaves the prompt; Esc and the rest are ignored.
    // The box takes Unicode; the cipher tries the text's forms in the code
    // pages archivers use (archive/passwords.h).
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        uint32_t length = ItemUtf8(dialog, IDC_PASSWORD, Sfx.PasswordBuffer, kPasswordBufferSize, kLongestPassword);
        Sfx.PasswordLength = (int32_t)length;
        EndDialog(dialog, IDOK);
    }
    return FALSE;
}
