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

char* CoreName(const char* nativeName) {
    // No UTF-8 sequence becomes longer in code page 949.
    char* core = Convert(nativeName, "UTF-8", "CP949", 1);
    if (core) ReplaceAll(core, '/', '\\');
    return core;
}
