#pragma once
// The questions and notices the core hands to whoever faces the user: the
// Win32 dialogs in the stub, command-line options in the doromi tool and
// scripted answers in tests. One definition is linked into each program.

// A message box without owner window and with the error icon.
void ShowError(const char* text, const char* caption);

// Runs the main dialog modally until it ends.
void RunMainDialog();
