// The stub's front end: real message boxes and dialogs, none of them owned
// by the main dialog, so that it stays enabled while they are up.
#include <windows.h>

#include "ui/frontend.h"
#include "ui/main_dialog.h"
#include "ui/question_dialogs.h"

static HINSTANCE Module() { return GetModuleHandleA(NULL); }

void ShowError(const char* text, const char* caption) {
    MessageBoxA(NULL, text, caption, MB_ICONERROR);
}

void ShowNotice(const char* text, const char* caption) { MessageBoxA(NULL, text, caption, MB_OK); }

void AskPassword() { DialogBoxParamA(Module(), "PASSWD", NULL, PasswordDialogProc, 0); }

void AskOverwrite() { DialogBoxParamA(Module(), "FileExist", NULL, FileExistDialogProc, 0); }

void PumpOneMessage() {
    MSG message;
    if (!PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) return;
    TranslateMessage(&message);
    DispatchMessageA(&message);
}

// In the title bar: the dialog's layout has no room for a progress line.
// The main dialog puts its title back after the pass.
void ShowProgress(WindowHandle dialog, const char* text) { SetWindowTextA((HWND)dialog, text); }

void RunMainDialog() { DialogBoxParamA(Module(), "MAINDIALOG", NULL, MainDialogProc, 0); }
