#include "ui/centre_window.h"

void CentreWindow(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    int left = (GetSystemMetrics(SM_CXSCREEN) - (rect.right - rect.left)) / 2;
    int top = (GetSystemMetrics(SM_CYSCREEN) - (rect.bottom - rect.top)) / 2;
    SetWindowPos(window, NULL, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}
