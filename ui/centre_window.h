#pragma once
#include <windows.h>

// Places a window in the middle of the screen, keeping its size and z-order.
void CentreWindow(HWND window);
