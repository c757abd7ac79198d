#pragma once
// State and bit reader shared by the routines of the inflate decoder (not
// used outside it). The state lives for one member. Every routine copies
// BitBuffer, BitCount and WindowPos into locals on entry, works on those,
// and writes them back before it returns or hands over to another routine.
#include <stdint.h>

#include "decode/decode_table.h"
#include "decode/member_io.h"

enum : uint32_t {
    kWindowSize = 32768,
    kWindowBufferSize = kWindowSize + 2,
    kMaxMatchLength = 258,
};

struct InflateState {
    // Bits read but not yet consumed; the next bit of the stream is bit 0.
    // Bits above BitCount are zero or, after the input ran out, ones.
    uint32_t BitBuffer;
    uint16_t BitCount;

    // The sliding window, also the output buffer: it is written to the file
    // each time it fills, and a match reaches up to 32,768 bytes back.
    uint8_t* Window;
    uint16_t WindowPos;
    // Whether the window has been filled once: before that, bytes from
    // WindowPos on were never written, and no distance may reach them.
    bool WindowWrapped;

    // Bytes of all-ones that the bit reader appended after the member's
    // compressed bytes ran out. They may be looked at but not consumed.
    uint32_t PaddingBytes;

    // Tables of the fixed codes, built at the member's first fixed block.
    DecodeEntry* FixedLiteralTable;
    DecodeEntry* FixedDistanceTable;
    DecodeEntry* FixedLiteralChain;
    DecodeEntry* FixedDistanceChain;
    uint8_t FixedLiteralBits;
    uint8_t FixedDistanceBits;
};
extern InflateState Inflater;

// Appends whole input bytes until at least `n` bits (n <= 16) are held;
// at most 23 bits are then held, so the 32-bit buffer never overflows.
// Once the member's bytes are exhausted each byte is -1: ones fill the
// buffer from the held bits upward. Out of line: only the byte reader and
// block headers use it, and the stub is small.
void NeedBits(uint32_t& bits, unsigned& count, unsigned n);

inline void DumpBits(uint32_t& bits, unsigned& count, unsigned n) {
    bits >>= n;
    count -= n;
}

// Whether the decoder has consumed bits that lie beyond the member's
// bytes: the padding bytes are always the most recently appended, so they
// are all still held exactly while the count covers them.
inline bool ConsumedPastEnd(unsigned count) { return Inflater.PaddingBytes * 8 > count; }

// Writes the full window and starts it again from position 0.
void FlushFullWindow();

// Decodes literal/length and distance codes into the window until the end
// of the block. A null literal table is an empty code, which fails at the
// first symbol; a null distance table fails at the first length.
InflateStatus DecodeCodes(const DecodeEntry* literalTable, const DecodeEntry* distanceTable,
                          unsigned literalBits, unsigned distanceBits);
