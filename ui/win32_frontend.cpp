// The stub's front end: real message boxes and dialogs, none of them owned
// by the main dialog, so that it stays enabled while they are up.
#include <windows.h>

#include <string.h>

#include "platform/platform.h"
#include "platform/win32/wide_text.h"
#include "ui/main_dialog.h"
#include "ui/question_dialogs.h"
#include "ui/texts.h"

// Every dialog is created through the wide calls, so that its Korean texts
// reach the controls as Unicode whatever the system's code page.
static INT_PTR RunDialog(const WCHAR* name, DLGPROC procedure) {
    return DialogBoxParamW(GetModuleHandleW(NULL), name, NULL, procedure, 0);
}

void ShowError(const char* text, const char* caption) { MessageBoxUtf8(NULL, text, caption, MB_ICONERROR); }

void ShowNotice(const char* text, const char* caption) { MessageBoxUtf8(NULL, text, caption, MB_OK); }

void AskPassword() { RunDialog(L"PASSWD", PasswordDialogProc); }

void AskOverwrite() { RunDialog(L"FileExist", FileExistDialogProc); }

void PumpOneMessage() {
    MSG message;
    if (!PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
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
    SetWindowUtf8((HWND)dialog, text);
}

void RunMainDialog() { RunDialog(L"MAINDIALOG", MainDialogProc); }
