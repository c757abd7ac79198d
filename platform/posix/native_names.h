#pragma once
#include <stdint.h>

// Conversion of names between the core's form (UTF-8 with "\" between
// components, as on Windows) and the POSIX form (UTF-8 with "/"), and the
// code pages the core asks for, through iconv.

// The native form of a core name in a block from malloc, or null (with
// errno set) when it has none: a drive prefix such as "C:" names nothing
// on POSIX, and a path of more than 32,767 UTF-16 units is refused, as
// Windows refuses it even in its extended form.
char* NativeName(const char* coreName);

// The core form of a native name in a block from malloc, or null (with
// errno set) when the name is not UTF-8.
char* CoreName(const char* nativeName);

// Whether a core name holds a character that Windows file names cannot
// hold ("*", "?", "<", ">", "|", '"' or a control character): the POSIX
// side refuses to create such names, as Windows does.
bool HasCharacterWindowsRefuses(const char* coreName);

// The ANSI code page that AnsiCodePage reports natively: 949, the code page
// of the Korean Windows the stub was made for, unless a test sets another
// (1252 for a single-byte one, 932, or 65001 for Windows' UTF-8 mode).
void SetAnsiCodePage(uint32_t codePage);
