#include "platform/posix/native_names.h"

#include <errno.h>
#include <iconv.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "platform/platform.h"
#include "util/long_path.h"
#include "util/utf8.h"

static char* CopyWithSeparator(const char* name, char from, char to) {
    char* copy = strdup(name);
    if (!copy) return 0;
    for (char* at = copy; *at; ++at)
        if (*at == from) *at = to;
    return copy;
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
    // Windows' own limit; Linux has others (4,096 bytes a path, 255 a
    // component), which fail the call itself with ENAMETOOLONG.
    if (Utf16Units(coreName, (uint32_t)strlen(coreName)) > kLongestSystemPath) {
        errno = ENAMETOOLONG;
        return 0;
    }
    return CopyWithSeparator(coreName, '\\', '/');
}

char* CoreName(const char* nativeName) {
    if (!IsStrictUtf8(nativeName, (uint32_t)strlen(nativeName))) {
        errno = EILSEQ;
        return 0;
    }
    return CopyWithSeparator(nativeName, '/', '\\');
}

bool HasCharacterWindowsRefuses(const char* coreName) {
    for (const unsigned char* at = (const unsigned char*)coreName; *at; ++at)
        if (*at < 0x20 || strchr("*?<>|\"", *at)) return true;
    return false;
}

// ---- Code pages ---------------------------------------------------------------

static uint32_t ansiCodePage = kKoreanCodePage;

uint32_t AnsiCodePage() { return ansiCodePage; }

void SetAnsiCodePage(uint32_t codePage) { ansiCodePage = codePage; }

// The code pages whose characters take more than one byte, among those the
// tests set; every other Windows ANSI code page is single-byte.
bool AnsiCodePageIsSingleByte() {
    static const uint32_t kMultiByte[] = {932, 936, 949, 950, 1361, kUtf8CodePage};
    for (uint32_t codePage : kMultiByte)
        if (ansiCodePage == codePage) return false;
    return true;
}

// iconv's name of a Windows code page.
static void IconvName(uint32_t codePage, char* name, size_t size) {
    if (codePage == kAnsiCodePage) codePage = ansiCodePage;
    if (codePage == kUtf8CodePage) snprintf(name, size, "UTF-8");
    else snprintf(name, size, "CP%u", codePage);
}

// Converts a counted text whole into `out`; its length, 0 on any failure.
// iconv knows no best fit: a character the target lacks fails.
static uint32_t Convert(uint32_t toPage, uint32_t fromPage, const char* in, uint32_t length, char* out,
                        uint32_t size) {
    char to[16], from[16];
    IconvName(toPage, to, sizeof to);
    IconvName(fromPage, from, sizeof from);
    iconv_t converter = iconv_open(to, from);
    if (converter == (iconv_t)-1) return 0;
    char* input = (char*)in;
    size_t inLeft = length, outLeft = size;
    char* end = out;
    bool converted = length > 0 && iconv(converter, &input, &inLeft, &end, &outLeft) != (size_t)-1;
    iconv_close(converter);
    return converted ? (uint32_t)(end - out) : 0;
}

// Windows' code page 1252 gives the five bytes its table leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) the C1 controls of the same value, both
// ways, so that every byte string is valid in it as in any single-byte code
// page; iconv's CP1252 refuses them. They are converted here, and the runs
// between them by iconv.
static const uint32_t kWesternCodePage = 1252;

static bool IsUndefinedIn1252(uint8_t byte) {
    return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
}

// Where the next such character starts: a byte of code page 1252, or its
// two-byte UTF-8 form (0xC2 and the byte).
static uint32_t NextUndefinedIn1252(const char* text, uint32_t length, bool utf8) {
    uint32_t at = 0;
    const uint8_t* bytes = (const uint8_t*)text;
    if (utf8)
        while (at < length && !(bytes[at] == 0xC2 && at + 1 < length && IsUndefinedIn1252(bytes[at + 1]))) ++at;
    else
        while (at < length && !IsUndefinedIn1252(bytes[at])) ++at;
    return at;
}

// Converts between code page 1252 and UTF-8 (`toUtf8` gives the direction).
static uint32_t Convert1252(bool toUtf8, const char* in, uint32_t length, char* out, uint32_t size) {
    uint32_t to = toUtf8 ? kUtf8CodePage : kWesternCodePage, from = toUtf8 ? kWesternCodePage : kUtf8CodePage;
    uint32_t written = 0;
    for (uint32_t at = 0; at < length;) {
        uint32_t run = NextUndefinedIn1252(in + at, length - at, !toUtf8);
        if (run > 0) {
            uint32_t made = Convert(to, from, in + at, run, out + written, size - written);
            if (made == 0) return 0;
            written += made;
            at += run;
        }
        if (at == length) break;
        uint32_t need = toUtf8 ? 2 : 1;
        if (size - written < need) return 0;
        if (toUtf8) out[written++] = (char)0xC2;
        out[written++] = in[toUtf8 ? at : at + 1];
        at += toUtf8 ? 1 : 2;
    }
    return written;
}

static bool Is1252(uint32_t codePage) {
    return (codePage == kAnsiCodePage ? ansiCodePage : codePage) == kWesternCodePage;
}

uint32_t CodePageToUtf8(uint32_t codePage, const char* in, uint32_t length, char* out, uint32_t size) {
    if (Is1252(codePage)) return Convert1252(true, in, length, out, size);
    return Convert(kUtf8CodePage, codePage, in, length, out, size);
}

uint32_t Utf8ToCodePage(uint32_t codePage, const char* utf8, uint32_t length, char* out, uint32_t size) {
    if (!IsStrictUtf8(utf8, length)) return 0;
    if (Is1252(codePage)) return Convert1252(false, utf8, length, out, size);
    return Convert(codePage, kUtf8CodePage, utf8, length, out, size);
}
