#include "platform/posix/native_names.h"

#include <errno.h>
#include <iconv.h>
#include <stdlib.h>
#include <string.h>

// Converts a whole NUL-terminated text; `growth` bounds how many output
// bytes one input byte can need. Null on any conversion failure.
static char* Convert(const char* text, const char* from, const char* to, size_t growth) {
    iconv_t converter = iconv_open(to, from);
    if (converter == (iconv_t)-1) return 0;
    size_t inLeft = strlen(text);
    size_t capacity = inLeft * growth + 1;
    char* result = (char*)malloc(capacity);
    char* in = (char*)text;
    char* out = result;
    size_t outLeft = capacity - 1;
    bool converted = result && iconv(converter, &in, &inLeft, &out, &outLeft) != (size_t)-1;
    int error = errno;
    iconv_close(converter);
    if (!converted) {
        free(result);
        errno = error;
        return 0;
    }
    *out = 0;
    return result;
}

static void ReplaceAll(char* text, char from, char to) {
    for (; *text; ++text)
        if (*text == from) *text = to;
}

static bool HasDrivePrefix(const char* name) {
    char letter = (char)(name[0] | 0x20);
    return letter >= 'a' && letter <= 'z' && name[1] == ':';
}

char* NativeName(const char* coreName) {
    if (HasDrivePrefix(coreName)) {
        errno = ENOENT;
        return 0;
    }
    // A two-byte code page 949 character becomes at most three UTF-8 bytes.
    // Its trail byte is never 0x5C, so "\" is only ever a separator; the
    // separators are mapped after the conversion all the same.
    char* native = Convert(coreName, "CP949", "UTF-8", 2);
    if (native) ReplaceAll(native, '\\', '/');
    return native;
}

bool HasCharacterWindowsRefuses(const char* coreName) {
    for (const unsigned char* at = (const unsigned char*)coreName; *at; ++at)
        if (*at < 0x20 || strchr("*?<>|\"", *at)) return true;
    return false;
}

// Converts `length` bytes with `converter` into `out`; false when a
// sequence cannot be converted or the result does not fit.
static bool ConvertBytes(iconv_t converter, const char* in, size_t length, char*& out, size_t& outLeft) {
    char* input = (char*)in;
    return iconv(converter, &input, &length, &out, &outLeft) != (size_t)-1;
}

// Converts a counted text whole into `out`; its length, 0 on any failure.
static uint32_t ConvertCounted(const char* to, const char* from, const char* in, uint32_t length, char* out,
                               uint32_t size) {
    iconv_t converter = iconv_open(to, from);
    if (converter == (iconv_t)-1) return 0;
    char* end = out;
    size_t left = size;
    bool converted = length > 0 && ConvertBytes(converter, in, length, end, left);
    iconv_close(converter);
    return converted ? (uint32_t)(end - out) : 0;
}

// iconv's code page 949 knows no best fit: a character it lacks fails.
uint32_t Utf8ToAnsi(const char* utf8, uint32_t length, char* out, uint32_t size) {
    return ConvertCounted("CP949", "UTF-8", utf8, length, out, size);
}

uint32_t AnsiToUtf8(const char* ansi, uint32_t length, char* out, uint32_t size) {
    return ConvertCounted("UTF-8", "CP949", ansi, length, out, size);
}

// One character at a time, so that each one that fails becomes one "?".
uint32_t Utf8ToAnsiForDisplay(const char* utf8, uint32_t length, char* out, uint32_t size) {
    iconv_t converter = iconv_open("CP949", "UTF-8");
    if (converter == (iconv_t)-1) return 0;
    char* end = out;
    size_t left = size;
    bool fits = true;
    for (uint32_t at = 0; fits && at < length;) {
        uint32_t step = 1;
        while (at + step < length && ((unsigned char)utf8[at + step] & 0xC0) == 0x80 && step < 4) ++step;
        if (!ConvertBytes(converter, utf8 + at, step, end, left)) {
            fits = errno != E2BIG && left > 0;
            iconv(converter, 0, 0, 0, 0);
            if (fits) {
                *end++ = '?';
                --left;
            }
        }
        at += step;
    }
    iconv_close(converter);
    return fits ? (uint32_t)(end - out) : 0;
}

char* CoreName(const char* nativeName) {
    // No UTF-8 sequence becomes longer in code page 949.
    char* core = Convert(nativeName, "UTF-8", "CP949", 1);
    if (core) ReplaceAll(core, '/', '\\');
    return core;
}
