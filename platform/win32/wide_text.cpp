#include "platform/win32/wide_text.h"

#include "platform/platform.h"

WCHAR* WideCopy(const char* utf8) {
    int units = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, NULL, 0);
    WCHAR* wide = units > 0 ? (WCHAR*)AllocateBlock((uint32_t)units * sizeof(WCHAR)) : NULL;
    if (wide) MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, units);
    return wide;
}

bool WidePath(const char* utf8, WCHAR* wide) {
    if (MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, MAX_PATH) > 0) return true;
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
}

uint32_t Utf8FromWide(const WCHAR* wide, int units, char* out, uint32_t size) {
    int length = WideCharToMultiByte(CP_UTF8, 0, wide, units, out, (int)size, NULL, NULL);
    // With -1 the count includes the terminator, which was converted too.
    if (units < 0 && length > 0) --length;
    if (length <= 0 || (uint32_t)length >= size) length = 0;
    if (size > 0) out[length] = 0;
    return (uint32_t)length;
}

void SetWindowUtf8(HWND window, const char* text) {
    WCHAR* wide = WideCopy(text);
    SetWindowTextW(window, wide ? wide : L"");
    ReleaseBlock(wide);
}

void SetItemUtf8(HWND dialog, int id, const char* text) { SetWindowUtf8(GetDlgItem(dialog, id), text); }

uint32_t ItemUtf8(HWND dialog, int id, char* out, uint32_t size, uint32_t units) {
    WCHAR* wide = (WCHAR*)AllocateBlock((units + 1) * sizeof(WCHAR));
    out[0] = 0;
    if (!wide) return 0;
    int length = GetDlgItemTextW(dialog, id, wide, (int)units + 1);
    uint32_t converted = length > 0 ? Utf8FromWide(wide, length, out, size) : 0;
    ReleaseBlock(wide);
    return converted;
}

int MessageBoxUtf8(HWND owner, const char* text, const char* caption, UINT type) {
    WCHAR* wideText = WideCopy(text);
    WCHAR* wideCaption = WideCopy(caption);
    int answer = MessageBoxW(owner, wideText ? wideText : L"", wideCaption ? wideCaption : L"", type);
    ReleaseBlock(wideText);
    ReleaseBlock(wideCaption);
    return answer;
}
