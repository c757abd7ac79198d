#pragma once
#include <windows.h>

// The procedure of DLGNEW, run modally over the main dialog after the
// folder browser was ended with its new-folder button. It shows the chosen
// folder (Sfx.ExtractDir), makes the typed subdirectory and extends
// Sfx.ExtractDir by it. Ends with 1 when a directory was made or the name
// was left empty, with 2 when the user cancelled.
INT_PTR CALLBACK NewDirDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
