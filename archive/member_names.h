#pragma once
// What a member's name becomes on this system, and which names may be
// joined to the target directory. Names end as UTF-8, the core's text form.
#include <stdint.h>

#include "util/text.h"

// UTF-16 units a member's whole name may have (all its parts); longer
// names are refused, never cut into another name. No code page 949 name is
// longer in UTF-16 than in bytes. Each part may have kLongestNamePart, as
// in any Windows file or folder name.
static const uint16_t kLongestMemberName = 1024;
static const uint16_t kLongestNamePart = 255;
// Bytes of a header's name that are read: no name of more bytes can make
// kLongestMemberName units, in UTF-8 (at most 3 bytes a unit) or in any
// ANSI code page (at most 2).
static const uint16_t kLongestRawMemberName = 3 * kLongestMemberName;
// Bytes of the work area DecodeMemberName takes: a code page byte becomes
// at most three UTF-8 bytes.
static const uint32_t kNameWorkBytes = 3 * kLongestRawMemberName;

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
// as the unit tests have them: `length` name bytes as declared,
// read no further than kLongestRawMemberName.
RawMemberName WholeRawName(const char* bytes, uint32_t length, uint16_t flags, const uint8_t* extra,
                           uint32_t extraLength);

// ---- Names without a UTF-8 mark -------------------------------------------
// A name with neither flag bit 11 nor a usable Unicode Path field may be
// UTF-8 (Info-ZIP zip in a UTF-8 locale) or in the ANSI code page of the
// system that made it. One name alone cannot tell: many code page 949
// names are valid UTF-8 and many short UTF-8 names valid code page 949,
// and in a single-byte code page every byte string is valid. So the choice
// is made once for the whole archive, from all its unmarked non-ASCII names.

struct UnmarkedNameEvidence {
    bool seen;             // some unmarked name holds non-ASCII bytes
    bool allUtf8;          // every such name is strict UTF-8
    bool someInvalidAnsi;  // at least one is invalid in the ANSI code page
};

// Starts the evidence of an archive: nothing seen yet.
UnmarkedNameEvidence NoUnmarkedNames();

// Adds one header's name to the evidence, unless it is marked as UTF-8.
// Needs Sfx.CrcTable.
void WeighUnmarkedName(const RawMemberName& raw, UnmarkedNameEvidence& evidence);

// Whether the archive's unmarked names are UTF-8: every non-ASCII one is
// strict UTF-8, and either the ANSI code page is single-byte or at least one
// of them is not valid in it. Otherwise they are in the ANSI code page.
bool UnmarkedNamesAreUtf8(const UnmarkedNameEvidence& evidence);

// ---- Decoding ---------------------------------------------------------------

// Whether the name comes out empty (a NUL first, or a usable Unicode Path
// field whose name is empty), which ends a walk; how unmarked names are read
// plays no part.
bool IsEmptyMemberName(const RawMemberName& raw);

// Makes the member's name in UTF-8, cut at its first NUL:
//   - flag bit 11: the bytes are UTF-8; bytes that are not fall back to the
//     ANSI reading when they are valid there;
//   - otherwise an Info-ZIP Unicode Path field (0x7075, version 1) whose
//     CRC-32 equals that of all the header's name bytes gives the name, cut
//     at its first NUL; when its name is not UTF-8, the header's name is
//     read as if there were no field;
//   - otherwise the name is UTF-8 when `unmarkedUtf8` (UnmarkedNamesAreUtf8)
//     and it is strict UTF-8, else it is read in the ANSI code page.
// Conjoining Hangul jamo are then composed (ComposeHangulJamo).
//
// Returns false when the name cannot be used as a path here: bytes invalid
// in the encoding they are read in, or more than kLongestMemberName UTF-16
// units. `name` then holds a form for showing only, in which a byte that
// cannot be read is "?" and a cut is marked with "…". `work` takes
// kNameWorkBytes bytes.
bool DecodeMemberName(const RawMemberName& raw, bool unmarkedUtf8, char* work, Text& name);

// False for a name that would put a file outside the target directory or
// somewhere other than its name says, or that no Windows name can be: one
// that starts with "\" or "/"; holds a ":" (a drive prefix, or an alternate
// data stream on Windows) or another character no Windows name may hold
// ("<", ">", '"', "|", "?", "*" or one below U+0020); has a component other
// than "." ending in a dot or a blank (Windows drops those, so ".." and
// forms such as "..." or ". ." climb up, and "a." would become "a"); or has
// a component that Windows takes for a device (CON, PRN, AUX, NUL, COM1 to
// COM9, LPT1 to LPT9, with or without an extension).
// The name is the final UTF-8 one: look-alikes of separators and dots
// (U+FF0F, U+2215, U+FF0E ...) are other characters and stay in the name.
bool IsSafeMemberName(const Text& name);
