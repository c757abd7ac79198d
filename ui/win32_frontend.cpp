// The stub's front end: real message boxes and dialogs.
#include <windows.h>

#include "ui/frontend.h"
#include "ui/main_dialog.h"

void ShowError(const char* text, const char* caption) {
    MessageBoxA(NULL, text, caption, MB_ICONERROR);
}

void RunMainDialog() {
    DialogBoxParamA(GetModuleHandleA(NULL), "MAINDIALOG", NULL, MainDialogProc, 0);
}
