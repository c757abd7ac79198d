#pragma once
#include <windows.h>

// Lets the user pick the target directory with the shell's folder browser,
// which gains a "새로 만들기..." button beside its OK button. A chosen
// folder is written into `pathBuffer` (kPathBufferSize bytes, UTF-8) and
// becomes the current directory. Returns true only when the new-folder button ended the
// browser; false when it was cancelled or ended with OK.
bool BrowseForExtractDir(HWND owner, char* pathBuffer);
