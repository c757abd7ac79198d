// The main dialog: target directory, member list, overwrite policy and the
// run-after-extraction check box.
#include "ui/main_dialog.h"

#include "ui/control_ids.h"

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_CLOSE) {
        EndDialog(dialog, IDC_CLOSE);
        return TRUE;
    }
    return FALSE;
}
