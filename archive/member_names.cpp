#include "archive/member_names.h"

static bool IsSeparator(char c) { return c == '\\' || c == '/'; }

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
    if (name.length == 0 || IsSeparator(name.bytes[0])) return false;
    uint32_t componentStart = 0;
    for (uint32_t i = 0; i <= name.length; ++i) {
        if (i < name.length && name.bytes[i] == ':') return false;
        if (i < name.length && !IsSeparator(name.bytes[i])) continue;
        if (!IsSafeComponent(name.bytes + componentStart, i - componentStart)) return false;
        componentStart = i + 1;
    }
    return true;
}
