#include "archive/member_names.h"

#include <string.h>

#include "archive/extra_fields.h"
#include "archive/zip_format.h"
#include "decode/crc32.h"
#include "platform/platform.h"
#include "startup/sfx_globals.h"
#include "util/paths.h"
#include "util/utf8.h"

// ---- Decoding ---------------------------------------------------------------

static const uint8_t kUnicodePathVersion = 1;
enum : uint32_t { kUnicodePathHeader = 5 };  // version, then the CRC-32 of the header's name

// The UTF-8 name of a Unicode Path field whose CRC matches the header's
// name. A field whose CRC does not match was written for another name (a
// tool renamed the member and left the field) and is not used. The CRC
// covers every name byte, so a name that did not arrive whole has none.
static bool FindUnicodePath(const RawMemberName& raw, const char** utf8, uint32_t* length) {
    const uint8_t* field;
    uint32_t size;
    if (raw.length != raw.declaredLength ||
        !FindExtraField(raw.extra, raw.extraLength, kExtraUnicodePath, &field, &size))
        return false;
    if (size < kUnicodePathHeader || field[0] != kUnicodePathVersion) return false;
    if (ReadLittleEndian(field + 1, 4) != CrcOfBytes((const uint8_t*)raw.bytes, raw.length)) return false;
    *utf8 = (const char*)field + kUnicodePathHeader;
    *length = size - kUnicodePathHeader;
    return true;
}

// The ANSI form of a UTF-8 name in `work`, its length; 0 when the name is
// not strict UTF-8, holds a character the code page lacks, or is too long.
// Where the ANSI code page is UTF-8 itself, the name is its own form.
static uint32_t AnsiFromUtf8(const char* utf8, uint32_t length, char* work) {
    if (length == 0 || !IsStrictUtf8(utf8, length)) return 0;
    if (!HasNonAscii(utf8, length) || AnsiCodePage() == kUtf8CodePage) {
        if (length > kLongestMemberName) return 0;
        memcpy(work, utf8, length);
        return length;
    }
    return Utf8ToAnsi(utf8, length, work, kLongestMemberName);
}

// A form of a refused UTF-8 name for the list and the box, cut to
// kLongestMemberName bytes.
static Text DisplayForm(const char* utf8, uint32_t length, char* work) {
    uint32_t shown;
    if (AnsiCodePage() == kUtf8CodePage) {
        bool valid = IsStrictUtf8(utf8, length);
        for (uint32_t i = 0; i < length; ++i) work[i] = valid || (uint8_t)utf8[i] < 0x80 ? utf8[i] : '?';
        shown = length;
    } else {
        shown = Utf8ToAnsiForDisplay(utf8, length, work, kLongestRawMemberName);
    }
    return MakeText(work, shown < kLongestMemberName ? shown : kLongestMemberName);
}

// The header's name taken as it stands, shown no longer than the longest
// name there may be; usable unless it is longer.
static bool TakeAsAnsi(const RawMemberName& raw, uint32_t length, Text& name) {
    name = MakeText(raw.bytes, length < kLongestMemberName ? length : kLongestMemberName);
    return raw.declaredLength <= kLongestMemberName;
}

RawMemberName WholeRawName(const char* bytes, uint32_t length, uint16_t flags, const uint8_t* extra,
                           uint32_t extraLength) {
    uint32_t arrived = length < kLongestRawMemberName ? length : kLongestRawMemberName;
    return RawMemberName{bytes, arrived, length, flags, extra, extraLength};
}

bool DecodeMemberName(const RawMemberName& raw, char* work, Text& name) {
    uint32_t length = 0;
    while (length < raw.length && raw.bytes[length]) ++length;
    bool utf8 = (raw.flags & kFlagUtf8Name) != 0;
    if (!utf8) {
        const char* field;
        uint32_t fieldLength;
        if (FindUnicodePath(raw, &field, &fieldLength)) {
            uint32_t converted = AnsiFromUtf8(field, fieldLength, work);
            if (converted == 0) return TakeAsAnsi(raw, length, name);
            name = MakeText(work, converted);
            return true;
        }
        utf8 = HasNonAscii(raw.bytes, length) && IsStrictUtf8(raw.bytes, length);
    }
    if (!utf8 || !HasNonAscii(raw.bytes, length)) return TakeAsAnsi(raw, length, name);
    uint32_t converted = raw.length == raw.declaredLength ? AnsiFromUtf8(raw.bytes, length, work) : 0;
    name = converted ? MakeText(work, converted) : DisplayForm(raw.bytes, length, work);
    return converted != 0;
}

// ---- Safety -----------------------------------------------------------------

static char Upper(char c) { return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c; }

// Whether the first `length` characters of `text` spell `word` in any case.
static bool Spells(const char* text, unsigned length, const char* word) {
    unsigned i = 0;
    for (; i < length && word[i]; ++i)
        if (Upper(text[i]) != word[i]) return false;
    return i == length && !word[i];
}

// The part before the first dot, without trailing blanks, names a device.
static bool NamesDevice(const char* component, unsigned length) {
    unsigned base = 0;
    while (base < length && component[base] != '.') ++base;
    while (base > 0 && component[base - 1] == ' ') --base;
    if (Spells(component, base, "CON") || Spells(component, base, "PRN") || Spells(component, base, "AUX") ||
        Spells(component, base, "NUL"))
        return true;
    bool numbered = base == 4 && component[3] >= '1' && component[3] <= '9';
    return numbered && (Spells(component, 3, "COM") || Spells(component, 3, "LPT"));
}

static bool IsSafeComponent(const char* component, unsigned length) {
    if (length == 0) return true;  // "a//b", or the end of a directory name
    if (length == 1 && component[0] == '.') return true;  // "./a" stays where it is
    char last = component[length - 1];
    return last != '.' && last != ' ' && !NamesDevice(component, length);
}

bool IsSafeMemberName(const Text& name) {
    if (name.length == 0 || IsPathSeparator(name.bytes[0])) return false;
    uint32_t componentStart = 0;
    for (uint32_t i = 0; i <= name.length; ++i) {
        if (i < name.length && name.bytes[i] == ':') return false;
        if (i < name.length && !IsPathSeparator(name.bytes[i])) continue;
        if (!IsSafeComponent(name.bytes + componentStart, i - componentStart)) return false;
        componentStart = i + 1;
    }
    return true;
}
