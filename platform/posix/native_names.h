#pragma once
#include <stdint.h>

// Conversion of names between the core's form (code page 949, "\" between
// components, as on Windows) and the POSIX form (UTF-8, "/").

// The native form of a core name in a block from malloc, or null (with
// errno set) when it has none: a drive prefix such as "C:" names nothing
// on POSIX, and bytes that are not code page 949 are refused.
char* NativeName(const char* coreName);

// The core form of a native name in a block from malloc, or null (with
// errno set) when the name cannot be written in code page 949.
char* CoreName(const char* nativeName);

// Whether a core name holds a character that Windows file names cannot
// hold ("*", "?", "<", ">", "|", '"' or a control character): the POSIX
// side refuses to create such names, as Windows does.
bool HasCharacterWindowsRefuses(const char* coreName);

// The ANSI code page that AnsiCodePage reports natively: 949, the core's
// encoding, unless a test sets another (65001 to take Windows' UTF-8 mode).
void SetAnsiCodePage(uint32_t codePage);
