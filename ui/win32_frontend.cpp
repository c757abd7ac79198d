// The stub's front end: real message boxes and dialogs, none of them owned
// by the main dialog, so that it stays enabled while they are up.
#include <windows.h>

#include <string.h>

#include "platform/platform.h"
#include "ui/main_dialog.h"
#include "ui/question_dialogs.h"
#include "ui/texts.h"

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
// The main dialog puts its title back after the pass. A new title costs a
// repaint of the caption, under Wine about 0.7 ms: more than writing a
// small file. So the member being written is shown at most ten times a
// second (a member written in the meantime is not named); any other text
// at once.
void ShowProgress(WindowHandle dialog, const char* text) {
    static const char memberPrefix[] = TEXT_EXTRACTING;
    static const DWORD kMemberInterval = 100;  // milliseconds
    static DWORD lastMemberShown;
    static bool memberShown;
    bool isMember = memcmp(text, memberPrefix, sizeof memberPrefix - 1) == 0;
    DWORD now = GetTickCount();
    if (isMember && memberShown && now - lastMemberShown < kMemberInterval) return;
    memberShown = isMember;
    lastMemberShown = now;
    SetWindowTextA((HWND)dialog, text);
}

void RunMainDialog() { DialogBoxParamA(Module(), "MAINDIALOG", NULL, MainDialogProc, 0); }
