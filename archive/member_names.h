#pragma once
// What a member's name becomes on this system, and which names may be
// joined to the target directory.
#include <stdint.h>

#include "util/text.h"

// Bytes a member's name may have once it is in the ANSI code page; longer
// names are refused, never cut into another name.
static const uint16_t kLongestMemberName = 256;
// Bytes of a header's name that are read: a UTF-8 name of up to three
// bytes per byte of its ANSI form can still fit kLongestMemberName.
static const uint16_t kLongestRawMemberName = 3 * kLongestMemberName;

// A member's name as its local header holds it.
struct RawMemberName {
    const char* bytes;        // the name bytes that arrived
    uint32_t length;          // how many arrived, at most kLongestRawMemberName
    uint32_t declaredLength;  // the header's name length
    uint16_t flags;           // the header's general-purpose flags
    const uint8_t* extra;     // the extra-field bytes that arrived
    uint32_t extraLength;
};

// The raw name of a header whose name and extra field are at hand whole,
// as the tool and the tests have them: `length` name bytes as declared,
// read no further than kLongestRawMemberName.
RawMemberName WholeRawName(const char* bytes, uint32_t length, uint16_t flags, const uint8_t* extra,
                           uint32_t extraLength);

// Makes the member's name in the ANSI code page, cut at its first NUL.
// The name is UTF-8 when flag bit 11 says so; or, with the bit clear, when
// an Info-ZIP Unicode Path field (0x7075, version 1) holds a CRC-32 equal
// to that of all the header's name bytes (its UTF-8 name is then used, and
// when it cannot be converted the header's name stands); or, with neither,
// when the name holds non-ASCII bytes and is strict UTF-8. Any other name
// is taken in the ANSI code page as it stands. Needs Sfx.CrcTable.
//
// Returns false when the name cannot be used as a path here: UTF-8 that is
// not valid, a character the ANSI code page lacks, or more than
// kLongestMemberName bytes. `name` then holds a form for showing only, in
// which what cannot be shown is "?". `work` takes kLongestRawMemberName
// bytes.
bool DecodeMemberName(const RawMemberName& raw, char* work, Text& name);

// False for a name that would put a file outside the target directory or
// somewhere other than its name says: one that starts with "\" or "/";
// holds a ":" (a drive prefix, or an alternate data stream on Windows); has
// a component other than "." ending in a dot or a blank (Windows drops
// those, so ".." and forms such as "..." or ". ." climb up, and "a." would
// become "a"); or
// has a component that Windows takes for a device (CON, PRN, AUX, NUL,
// COM1 to COM9, LPT1 to LPT9, with or without an extension).
bool IsSafeMemberName(const Text& name);
