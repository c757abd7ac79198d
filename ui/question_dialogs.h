#pragma once
#include <windows.h>

// The overwrite question, run on the template "FileExist".
INT_PTR CALLBACK FileExistDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The password prompt, run on the template "PASSWD".
INT_PTR CALLBACK PasswordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
