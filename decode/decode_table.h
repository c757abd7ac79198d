#pragma once
// Multi-level lookup tables for the prefix codes of deflate. A root table
// indexed by the next `rootBits` bits of the stream decodes short codes in
// one look-up; longer codes go through link entries to sub-tables indexed
// by the bits that follow.
#include <stdint.h>

// How a table build or a decoding step ended.
enum InflateStatus : uint8_t {
    kInflateOk = 0,
    kDataError = 1,       // invalid or incomplete code, bad block
    kOverSubscribed = 2,  // code lengths that describe more codes than exist
    kOutOfMemory = 3,
};

// Values of DecodeEntry::Op besides 0 to 13 (a length or distance base
// followed by that many extra bits).
enum : uint8_t {
    kOpEndOfBlock = 15,
    kOpLiteral = 16,  // also the plain symbol of a code-length code
    kOpInvalid = 99,
    // 16 + n, n from 1 to 15: a link to a sub-table indexed by n more bits.
};

struct DecodeEntry {
    uint8_t Op;
    uint8_t Bits;        // bits this entry consumes at its level
    uint16_t Value;      // literal, symbol, or base length or distance
    DecodeEntry* Next;   // the sub-table of a link entry
};

// Builds the tables of the code whose `count` code lengths (0 to 15) are
// `lengths`. Symbols below `simpleCount` stand for themselves (literals,
// end of block at 256); symbol s + i stands for base[i] with extra[i]
// extra bits, and is invalid when i is beyond either table. `rootBits`
// holds the requested root size on entry and the actual one on return.
// `chainHead` links every allocation of the build for ReleaseDecodeTables;
// callers set it to null first. Returns kInflateOk; kDataError for an
// incomplete code (tables built, missing codes invalid) unless it is a
// single one-bit code; kOverSubscribed (nothing built); kOutOfMemory
// (nothing left allocated). A code without any lengths builds nothing and
// gives a null root with 0 root bits.
InflateStatus BuildDecodeTable(const uint16_t* lengths, uint16_t count, uint16_t simpleCount,
                               const uint16_t* base, uint16_t baseCount, const uint8_t* extra,
                               uint16_t extraCount, DecodeEntry*& root, DecodeEntry*& chainHead,
                               uint8_t& rootBits);

// Releases every table on a chain; null is an empty chain.
void ReleaseDecodeTables(DecodeEntry* chainHead);
