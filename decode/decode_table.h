#pragma once
// Lookup tables for the prefix codes of deflate, one 32-bit entry per
// index. A root table indexed by the next `rootBits` bits of the stream
// decodes every code of up to that many bits in one look-up; a longer code
// goes through a link entry to a sub-table, which lies after the root in
// the same array and is indexed by the bits that follow.
#include <stdint.h>

// How a table build or a decoding step ended.
enum InflateStatus : uint8_t {
    kInflateOk = 0,
    kDataError = 1,       // invalid or incomplete code, bad block
    kOverSubscribed = 2,  // code lengths that describe more codes than exist
    kOutOfMemory = 3,
};

// An entry:
//   bits 0-7    the bits it consumes: the code's bits at its level, plus
//               the extra bits of a length or distance, which follow the
//               code in the stream; for a link, the root's bits
//   bits 8-11   the code's bits at its level, so that the extra bits are
//               the consumed bits above these; for a link, the index bits
//               of its sub-table
//   bits 13-15  flags below; an entry with only kEntryExceptional is
//               invalid (a code no symbol has) and consumes nothing
//   bits 16-31  the value: a literal or a plain symbol (bits 16-23, with
//               kEntryLiteral), a base length or distance, or where a
//               link's sub-table starts in the array
// A length or distance is the value plus the extra bits. The consumed
// count comes first so that a decoder takes a code and its extra bits at
// once and finds the extra bits among the bits it held before.
typedef uint32_t DecodeEntry;
enum : uint32_t {
    kEntryLiteral = 0x80000000,
    kEntryExceptional = 0x8000,  // end of block, link or invalid
    kEntryLink = 0x4000,
    kEntryEndOfBlock = 0x2000,
    kEntryInvalid = kEntryExceptional,
};

inline unsigned EntryConsumedBits(DecodeEntry entry) { return entry & 0xFF; }
inline unsigned EntryCodeBits(DecodeEntry entry) { return (entry >> 8) & 0xF; }
// The value of any entry but a literal's (whose value is its low byte).
inline unsigned EntryValue(DecodeEntry entry) { return entry >> 16; }
inline bool EntryIsInvalid(DecodeEntry entry) {
    return (entry & (kEntryExceptional | kEntryLink | kEntryEndOfBlock)) == kEntryExceptional;
}

// What the symbols of a code stand for. Symbols below `simpleCount` stand
// for themselves (literals, or plain symbols of the code-length code; end
// of block at 256); symbol simpleCount + i stands for base[i] with extra[i]
// extra bits, and is invalid when i is `extendedCount` or more (literal/
// length symbols 286 and 287, distance symbols 30 and 31).
struct SymbolMeaning {
    uint16_t simpleCount;
    const uint16_t* base;
    const uint8_t* extra;
    uint16_t extendedCount;
};

enum : unsigned {
    kLiteralRootBits = 11,
    kDistanceRootBits = 8,
    kCodeLengthRootBits = 7,
    kFixedLiteralRootBits = 9,
    kFixedDistanceRootBits = 5,
    // Entries a table of such a code needs at most, with up to 288, 32 or 19
    // symbols and codes of up to 15 bits (7 for the code-length code). A
    // complete sub-table of 2^k entries holds k + 1 codes or more, and only
    // the last sub-table of an incomplete code is not complete: the root,
    // then as many sub-tables of the largest size as the other symbols
    // allow, then one more of the largest size.
    kLiteralTableSize = 2048 + 57 * 16 + 2 + 16,  // 2,978
    kDistanceTableSize = 256 + 3 * 128 + 64 + 128,  // 832
    kCodeLengthTableSize = 128,
};

// Builds the table of the code whose `count` code lengths (0 to 15) are
// `lengths` into `table`, which has room for `capacity` entries. The root
// has `rootBits` index bits as requested, fewer when the longest code is
// shorter; `rootBits` returns them. Returns kInflateOk; kDataError for an
// incomplete code (table built, the missing codes invalid) unless it is a
// single one-bit code; kOverSubscribed (nothing built); kOutOfMemory when
// the table would need more than `capacity` entries. A code without any
// lengths builds a root of 0 bits whose one entry is invalid.
InflateStatus BuildDecodeTable(const uint16_t* lengths, unsigned count, const SymbolMeaning& meaning,
                               DecodeEntry* table, unsigned capacity, unsigned& rootBits);
