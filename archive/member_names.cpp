#include "archive/member_names.h"

static bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// A component made of dots and blanks only, with at least two dots.
static bool ClimbsUp(const char* component, uint32_t length) {
    uint32_t dots = 0;
    for (uint32_t i = 0; i < length; ++i) {
        if (component[i] == '.') ++dots;
        else if (component[i] != ' ') return false;
    }
    return dots >= 2;
}

bool IsSafeMemberName(const Text& name) {
    if (name.length == 0 || IsSeparator(name.bytes[0])) return false;
    uint32_t componentStart = 0;
    for (uint32_t i = 0; i <= name.length; ++i) {
        if (i < name.length && name.bytes[i] == ':') return false;
        if (i < name.length && !IsSeparator(name.bytes[i])) continue;
        if (ClimbsUp(name.bytes + componentStart, i - componentStart)) return false;
        componentStart = i + 1;
    }
    return true;
}
