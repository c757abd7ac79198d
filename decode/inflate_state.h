#pragma once
// State and bit reader shared by the routines of the inflate decoder (not
// used outside it). The state lives for one member. Every routine copies
// BitBuffer, BitCount and WindowPos into locals on entry, works on those,
// and writes them back before it hands over to another routine or returns
// success. An error exit may return without writing them back: decoding
// ends there, and only WindowPos is read again, to write out what the
// window holds, which DecodeCodes and the stored-block copy keep current.
#include <stdint.h>

#include "decode/decode_table.h"
#include "decode/member_io.h"

enum : uint32_t {
    // The farthest a match reaches back, and the size of each write.
    kWindowSize = 32768,
    // The window buffer is a ring of two such halves: each half is written
    // out when it fills, and the other half then still holds the 32 KB
    // before it. Bytes just ahead of the write position are at least
    // kRingSize - kRingSlack back, beyond the reach of any match, so the
    // fast path may write past a match's end.
    kRingSize = 2 * kWindowSize,
    // Room after the ring: the fast path lets its last symbols run past the
    // end of a half, and its copies past their end (see decode_codes.cpp);
    // what lands beyond the ring's end moves to its start after the write.
    kRingSlack = 512,
    kMaxMatchLength = 258,
};

// What one member's decoding allocates: the ring and the code tables.
struct InflateBuffers {
    uint8_t Ring[kRingSize + kRingSlack];
    DecodeEntry LiteralTable[kLiteralTableSize];
    DecodeEntry DistanceTable[kDistanceTableSize];
};

struct InflateState {
    // Bits read but not yet consumed; the next bit of the stream is bit 0.
    // Bits above BitCount are zero or, after the input ran out, ones.
    uint32_t BitBuffer;
    uint16_t BitCount;

    // The position in the ring (Buffers->Ring): the sliding window, also
    // the output buffer.
    uint16_t WindowPos;  // below kRingSize; at kWindowSize the first half is written already
    // Whether a half has been written once: before that, bytes from
    // WindowPos on were never written, and no distance may reach them.
    bool WindowWrapped;

    // Bytes of all-ones that the bit reader appended after the member's
    // compressed bytes ran out. They may be looked at but not consumed.
    uint32_t PaddingBytes;

    InflateBuffers* Buffers;
    // Whether the tables hold the fixed codes, from an earlier fixed block
    // of the member with no dynamic block since.
    bool FixedTablesLoaded;
    uint8_t LiteralBits, DistanceBits;  // root bits of the tables as built
};
extern InflateState Inflater;

// Appends whole input bytes while no more than 23 bits are held: 24 to 31
// bits are then held, so the 32-bit buffer never overflows. Once the
// member's bytes are exhausted each byte is -1: ones fill the buffer from
// the held bits upward. Out of line: only the byte reader and block
// headers use it, and the stub is small.
void FillBits(uint32_t& bits, unsigned& count);

// Makes sure that at least `n` bits (n <= 16) are held.
inline void NeedBits(uint32_t& bits, unsigned& count, unsigned n) {
    if (count < n) FillBits(bits, count);
}

inline void DumpBits(uint32_t& bits, unsigned& count, unsigned n) {
    bits >>= n;
    count -= n;
}

// Whether the decoder has consumed bits that lie beyond the member's
// bytes: the padding bytes are always the most recently appended, so they
// are all still held exactly while the count covers them.
inline bool ConsumedPastEnd(unsigned count) { return Inflater.PaddingBytes * 8 > count; }

// After a write that ended at `position`: a full half is written out, and
// the position at the ring's end goes back to its start.
unsigned CompleteHalf(unsigned position);

// Stores one byte at the window position, writing out a full half.
inline void PutByte(unsigned& position, uint8_t byte) {
    Inflater.Buffers->Ring[position++] = byte;
    if ((position & (kWindowSize - 1)) == 0) position = CompleteHalf(position);
}

// Decodes literal/length and distance codes with Inflater's tables into
// the window until the end of the block.
InflateStatus DecodeCodes();
