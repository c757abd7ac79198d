#pragma once
// UTF-8, the core's text form, to and from UTF-16, the form of Windows'
// wide (W) calls. The stub converts here and nowhere else; every call that
// takes or returns text is a W call.
#include <windows.h>

#include <stdint.h>

#include "platform/platform.h"
#include "util/long_path.h"

// A NUL-terminated UTF-16 copy of a NUL-terminated UTF-8 text in a block
// from AllocateBlock (ReleaseBlock frees it); null when memory is short.
WCHAR* WideCopy(const char* utf8);

// A UTF-8 path in the form the wide file calls take, in a block of its
// own: made full by Windows' own rules (GetFullPathNameW), so that its
// length is the one Windows measures, and normalised; in the extended
// "\\?\" form when it is longer than `longestPlain`, the plain limit of
// the call it is for (util/long_path.h). Null, with the error a Windows
// call gives for a path that long, when it has no such form.
class WidePath {
public:
    explicit WidePath(const char* utf8, uint32_t longestPlain = kLongestPlainPath);
    ~WidePath() { ReleaseBlock(wide); }
    operator WCHAR*() const { return wide; }
    WidePath(const WidePath&) = delete;
    WidePath& operator=(const WidePath&) = delete;

private:
    WCHAR* wide;
};

// The UTF-8 form of `units` UTF-16 units (-1: up to the NUL) in `out`,
// NUL-terminated: its length in bytes. A text that does not fit `size`
// leaves `out` empty and returns 0.
uint32_t Utf8FromWide(const WCHAR* wide, int units, char* out, uint32_t size);

// Window and control texts, and message boxes, in UTF-8.
void SetWindowUtf8(HWND window, const char* text);
void SetItemUtf8(HWND dialog, int id, const char* text);
// The text of a window, at most `units` UTF-16 units of it, as UTF-8 in
// `out` (`size` bytes, enough for `units` units: three bytes each and the
// NUL); its length in bytes.
uint32_t ItemUtf8(HWND dialog, int id, char* out, uint32_t size, uint32_t units);
int MessageBoxUtf8(HWND owner, const char* text, const char* caption, UINT type);
