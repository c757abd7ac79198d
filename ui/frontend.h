#pragma once
// The questions and notices the core hands to whoever faces the user: the
// Win32 dialogs in the stub, the terminal in the doromi tool and scripted
// answers in tests. One definition of each is linked into each program.
#include "platform/platform.h"

// A message box without owner window and with the error icon.
void ShowError(const char* text, const char* caption);

// A message box without owner window, icon or choice but OK.
void ShowNotice(const char* text, const char* caption);

// Asks for a password; leaves the text in Sfx.PasswordBuffer (at most 79
// characters, NUL-terminated) and its length in Sfx.PasswordLength.
void AskPassword();

// Asks whether to overwrite the existing file Sfx.ExistingFileName; the
// answer goes through RecordOverwriteAnswer.
void AskOverwrite();

// Lets one pending window message through, so the window stays alive
// between members of a long extraction.
void PumpOneMessage();

// Shows what a pass is doing: "압축 풀기: " and the target path while a
// member is written, the failure sentence after a failed pass.
void ShowProgress(WindowHandle dialog, const char* text);

// Runs the main dialog modally until it ends.
void RunMainDialog();
