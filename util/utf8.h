#pragma once
// The one rule for telling UTF-8 text, shared by the stub and the tool.
#include <stdint.h>

// Whether `length` bytes are well-formed UTF-8 in the strict sense: no
// overlong forms, no surrogates (U+D800 to U+DFFF), nothing above U+10FFFF
// and no sequence cut short.
bool IsStrictUtf8(const char* bytes, uint32_t length);

// Whether any of `length` bytes lies outside ASCII.
bool HasNonAscii(const char* bytes, uint32_t length);
