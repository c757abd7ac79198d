#pragma once
#include <windows.h>

// The main dialog's procedure, run modally on the template MAINDIALOG.
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
