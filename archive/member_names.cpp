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

// "…", which marks a name shown cut.
static const char kCutMark[] = "\xE2\x80\xA6";

static uint32_t NulFreeLength(const char* bytes, uint32_t length) {
    uint32_t kept = 0;
    while (kept < length && bytes[kept]) ++kept;
    return kept;
}

// The UTF-8 name of a Unicode Path field whose CRC matches the header's
// name, cut at its first NUL. A field whose CRC does not match was written
// for another name (a tool renamed the member and left the field) and is
// not used. The CRC covers every name byte, so a name that did not arrive
// whole has none.
static bool FindUnicodePath(const RawMemberName& raw, const char** utf8, uint32_t* length) {
    const uint8_t* field;
    uint32_t size;
    if (raw.length != raw.declaredLength ||
        !FindExtraField(raw.extra, raw.extraLength, kExtraUnicodePath, &field, &size))
        return false;
    if (size < kUnicodePathHeader || field[0] != kUnicodePathVersion) return false;
    if (ReadLittleEndian(field + 1, 4) != CrcOfBytes((const uint8_t*)raw.bytes, raw.length)) return false;
    *utf8 = (const char*)field + kUnicodePathHeader;
    *length = NulFreeLength(*utf8, size - kUnicodePathHeader);
    return true;
}

// A field whose name is UTF-8 (or empty) decides the name; any other is
// passed over, and the header's name read as if it were not there.
static bool FindUsableUnicodePath(const RawMemberName& raw, const char** utf8, uint32_t* length) {
    return FindUnicodePath(raw, utf8, length) && IsStrictUtf8(*utf8, *length);
}

// The name read as UTF-8 into `work`: its length, 0 when it is not UTF-8.
static uint32_t Utf8Form(const char* bytes, uint32_t length, char* work) {
    if (!IsStrictUtf8(bytes, length)) return 0;
    memcpy(work, bytes, length);
    return length;
}

// The name read in the ANSI code page, as UTF-8 in `work`: its length, 0
// when it is not valid there. ASCII is the same in every ANSI code page.
static uint32_t AnsiForm(const char* bytes, uint32_t length, char* work) {
    if (!HasNonAscii(bytes, length)) return Utf8Form(bytes, length, work);
    return CodePageToUtf8(kAnsiCodePage, bytes, length, work, kNameWorkBytes);
}

UnmarkedNameEvidence NoUnmarkedNames() { return UnmarkedNameEvidence{false, true, false}; }

void WeighUnmarkedName(const RawMemberName& raw, UnmarkedNameEvidence& evidence) {
    const char* field;
    uint32_t fieldLength;
    if ((raw.flags & kFlagUtf8Name) || raw.length != raw.declaredLength ||
        FindUsableUnicodePath(raw, &field, &fieldLength))
        return;
    uint32_t length = NulFreeLength(raw.bytes, raw.length);
    if (!HasNonAscii(raw.bytes, length)) return;
    evidence.seen = true;
    if (!IsStrictUtf8(raw.bytes, length)) {
        evidence.allUtf8 = false;
    } else if (!evidence.someInvalidAnsi) {
        char converted[kNameWorkBytes];
        evidence.someInvalidAnsi = AnsiForm(raw.bytes, length, converted) == 0;
    }
}

bool UnmarkedNamesAreUtf8(const UnmarkedNameEvidence& evidence) {
    return evidence.seen && evidence.allUtf8 && (AnsiCodePageIsSingleByte() || evidence.someInvalidAnsi);
}

RawMemberName WholeRawName(const char* bytes, uint32_t length, uint16_t flags, const uint8_t* extra,
                           uint32_t extraLength) {
    uint32_t arrived = length < kLongestRawMemberName ? length : kLongestRawMemberName;
    return RawMemberName{bytes, arrived, length, flags, extra, extraLength};
}

// The UTF-8 form of the name in `work`, its length; 0 when the name cannot
// be read or is empty.
static uint32_t ReadName(const RawMemberName& raw, bool unmarkedUtf8, char* work) {
    uint32_t length = NulFreeLength(raw.bytes, raw.length);
    const char* field;
    uint32_t fieldLength;
    uint32_t made = 0;
    if (raw.flags & kFlagUtf8Name) made = Utf8Form(raw.bytes, length, work);
    else if (FindUsableUnicodePath(raw, &field, &fieldLength)) return Utf8Form(field, fieldLength, work);
    else if (unmarkedUtf8) made = Utf8Form(raw.bytes, length, work);
    return made ? made : AnsiForm(raw.bytes, length, work);
}

bool IsEmptyMemberName(const RawMemberName& raw) {
    const char* field;
    uint32_t fieldLength;
    if (!(raw.flags & kFlagUtf8Name) && FindUsableUnicodePath(raw, &field, &fieldLength)) return fieldLength == 0;
    return NulFreeLength(raw.bytes, raw.length) == 0;
}

// A form of a name that cannot be used, for the list and the box, in
// `work`: a byte that is not part of a UTF-8 character becomes "?", and a
// name longer than any usable one, or not read whole, is cut and marked.
static Text ShownForm(const char* bytes, uint32_t length, bool cut, char* work) {
    uint32_t shown = 0;
    for (uint32_t at = 0; at < length;) {
        uint32_t step = 1;
        while (step <= 4 && at + step <= length && !IsStrictUtf8(bytes + at, step)) ++step;
        bool character = step <= 4 && at + step <= length;
        if (!character) step = 1;
        if (work + shown != bytes + at) memmove(work + shown, bytes + at, step);
        if (!character) work[shown] = '?';
        shown += step;
        at += step;
    }
    if (cut || Utf16Units(work, shown) > kLongestMemberName) {
        shown = BytesWithinUnits(work, shown, kLongestMemberName - 1);
        memcpy(work + shown, kCutMark, sizeof kCutMark - 1);
        shown += sizeof kCutMark - 1;
    }
    return MakeText(work, shown);
}

bool DecodeMemberName(const RawMemberName& raw, bool unmarkedUtf8, char* work, Text& name) {
    if (IsEmptyMemberName(raw)) {
        name = MakeText(0, 0);
        return true;
    }
    bool whole = raw.length == raw.declaredLength;
    uint32_t made = ReadName(raw, unmarkedUtf8, work);
    if (made == 0) {
        name = ShownForm(raw.bytes, NulFreeLength(raw.bytes, raw.length), !whole, work);
        return false;
    }
    made = ComposeHangulJamo(work, made);
    if (whole && Utf16Units(work, made) <= kLongestMemberName) {
        name = MakeText(work, made);
        return true;
    }
    name = ShownForm(work, made, true, work);
    return false;
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
    if (length == 0) return true;                         // "a//b", or the end of a directory name
    if (length == 1 && component[0] == '.') return true;  // "./a" stays where it is
    char last = component[length - 1];
    return last != '.' && last != ' ' && !NamesDevice(component, length);
}

// Characters no Windows file or folder name may hold (":" among them, which
// would also name a drive or a stream). Refused in every part alike, so
// that a folder part with one fails its member, not the whole pass.
static bool IsReservedCharacter(char c) {
    return (uint8_t)c < 0x20 || c == ':' || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*';
}

bool IsSafeMemberName(const Text& name) {
    if (name.length == 0 || IsPathSeparator(name.bytes[0])) return false;
    uint32_t componentStart = 0;
    for (uint32_t i = 0; i <= name.length; ++i) {
        if (i < name.length && IsReservedCharacter(name.bytes[i])) return false;
        if (i < name.length && !IsPathSeparator(name.bytes[i])) continue;
        if (!IsSafeComponent(name.bytes + componentStart, i - componentStart)) return false;
        componentStart = i + 1;
    }
    return true;
}
