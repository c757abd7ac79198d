// The inner loop of the inflate decoder: literal/length and distance codes
// into the window. Two readers share one bit state:
//  - the fast path, taken while the input buffer holds a safe margin of
//    bytes: it reads the buffer directly, a machine word at a time, takes
//    each code with its extra bits in one step, looks the next code up
//    while it refills, copies matches a word at a time past their end, and
//    runs to the end of the ring's half and a little past it without
//    checking the room left;
//  - the byte reader, for everything near the end of the input buffer or
//    of the member: one symbol at a time through NextCompressedByte.
#include <string.h>

#include "decode/deflate_tables.h"
#include "decode/inflate_state.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the fast path loads words little-endian");

// The fast path's bit buffer: a machine word of the target, 64 bits on
// x86-64 (natively and in the 64-bit stub) and 32 in the 32-bit stub.
// DOROMI_FAST_BITS_32 gives the 32-bit width natively, so that the fuzz
// targets exercise that variant too.
#ifdef DOROMI_FAST_BITS_32
typedef uint32_t BitWord;
#else
typedef uintptr_t BitWord;
#endif
enum : unsigned { kWordBits = sizeof(BitWord) * 8 };
static const bool kWideBits = kWordBits >= 64;

// Internal to this file: neither success nor failure yet.
static const InflateStatus kKeepGoing = (InflateStatus)0xFF;

// Bytes the fast path wants buffered before an iteration. An iteration
// consumes at most 48 bits (a length code and its extra bits, a distance
// code and its extra bits), so its refills advance the input by 7 bytes
// at most, and the last one loads a word from there.
enum : uint32_t { kFastInputMargin = 32 };

struct CodeTables {
    const DecodeEntry* literal;
    const DecodeEntry* distance;
    unsigned literalBits;
    unsigned distanceBits;
};

// ---- The byte reader ----------------------------------------------------

static inline unsigned LowBits(uint32_t bits, unsigned n) { return bits & BitMask[n]; }

// Looks the next code up, through a link when it is longer than the root,
// and consumes its bits, not the extra bits after it. False on an invalid
// code.
static bool TakeCode(const DecodeEntry* table, unsigned rootBits, uint32_t& bits, unsigned& count,
                     DecodeEntry& found) {
    NeedBits(bits, count, rootBits);
    DecodeEntry entry = table[LowBits(bits, rootBits)];
    if (entry & kEntryLink) {
        DumpBits(bits, count, EntryConsumedBits(entry));
        unsigned subBits = EntryCodeBits(entry);
        NeedBits(bits, count, subBits);
        entry = table[EntryValue(entry) + LowBits(bits, subBits)];
    }
    if (EntryIsInvalid(entry)) return false;
    DumpBits(bits, count, EntryCodeBits(entry));
    found = entry;
    return true;
}

// A base value plus its extra bits.
static unsigned TakeExtra(DecodeEntry entry, uint32_t& bits, unsigned& count) {
    unsigned extra = EntryConsumedBits(entry) - EntryCodeBits(entry);
    NeedBits(bits, count, extra);
    unsigned value = EntryValue(entry) + LowBits(bits, extra);
    DumpBits(bits, count, extra);
    return value;
}

// Copies a match in pieces that stop at the ring's end for the source and
// at a half's end for the destination, writing out each full half. A
// source before the member's first byte is refused: that part of the ring
// was never written.
static InflateStatus CopyMatch(unsigned& position, unsigned distance, unsigned length) {
    if (distance > position && !Inflater.WindowWrapped) return kDataError;
    uint8_t* window = Inflater.Buffers->Ring;
    unsigned from = (position - distance) & (kRingSize - 1);
    while (length > 0) {
        unsigned run = kWindowSize - (position & (kWindowSize - 1));
        if (run > kRingSize - from) run = kRingSize - from;
        if (run > length) run = length;
        length -= run;
        // Forward, byte by byte: an overlapping source repeats its bytes.
        for (unsigned i = 0; i < run; ++i) window[position + i] = window[from + i];
        position = CompleteHalf(position + run);
        from = (from + run) & (kRingSize - 1);
    }
    return kInflateOk;
}

// Decodes one literal, match or end of block.
static InflateStatus DecodeSymbolByBytes(const CodeTables& codes, uint32_t& bits, unsigned& count,
                                         unsigned& position) {
    DecodeEntry entry;
    if (!TakeCode(codes.literal, codes.literalBits, bits, count, entry)) return kDataError;
    if (ConsumedPastEnd(count)) return kDataError;  // the member ended inside this code
    if (entry & kEntryLiteral) {
        PutByte(position, (uint8_t)(entry >> 16));
        return kKeepGoing;
    }
    if (entry & kEntryEndOfBlock) return kInflateOk;

    unsigned length = TakeExtra(entry, bits, count);
    if (!TakeCode(codes.distance, codes.distanceBits, bits, count, entry)) return kDataError;
    unsigned distance = TakeExtra(entry, bits, count);
    if (ConsumedPastEnd(count)) return kDataError;
    InflateStatus status = CopyMatch(position, distance, length);
    return status == kInflateOk ? kKeepGoing : status;
}

// ---- The fast path ------------------------------------------------------

static inline BitWord LoadWord(const uint8_t* at) {
    BitWord word;
    memcpy(&word, at, sizeof word);
    return word;
}

// Tops the bit buffer up to kWordBits - 8 bits or a few more without a
// branch: a whole word is loaded, and the input advances by the bytes that
// fitted, as many as the count lacks of kWordBits - 8 in whole bytes, so
// that the count keeps its low three bits. Bits above the count then hold
// the next stream bits, which a later refill ORs in again unchanged.
static inline void Refill(BitWord& bits, unsigned& count, const uint8_t*& in) {
    bits |= LoadWord(in) << count;
    in += sizeof(BitWord) - 1 - (count >> 3);
    count |= kWordBits - 8;
}

static inline BitWord Mask(unsigned n) { return ((BitWord)1 << n) - 1; }

// Consumes the bits of an entry: its code's and any extra bits.
static inline void Consume(BitWord& bits, unsigned& count, DecodeEntry entry) {
    bits >>= EntryConsumedBits(entry);
    count -= EntryConsumedBits(entry);
}

// The extra bits of a length or distance entry, from the bits held before
// it was consumed.
static inline unsigned ExtraBits(BitWord before, DecodeEntry entry) {
    return (unsigned)((before & Mask(EntryConsumedBits(entry))) >> (uint8_t)(entry >> 8));
}

// The root entry of the next code, with a refill: the look-up goes first
// where enough bits are held for it (64 bits: at least 28 at each use
// below), so that it need not wait for the refill.
static inline DecodeEntry LookUpAndRefill(const DecodeEntry* table, BitWord mask, BitWord& bits,
                                          unsigned& count, const uint8_t*& in) {
    if (!kWideBits) Refill(bits, count, in);
    DecodeEntry entry = table[bits & mask];
    if (kWideBits) Refill(bits, count, in);
    return entry;
}

static inline void CopyWord(uint8_t* to, const uint8_t* from) { memcpy(to, from, 8); }

// Copies a match of `length` bytes to `to` from `from`, which lies `gap`
// bytes before it (as an unsigned difference: a source ahead of the
// destination, from the ring's other half, gives a huge gap, and is far
// enough). Writes up to 39 bytes past the match's end, in the ring's slack
// or over bytes beyond the reach of matches.
static inline void CopyWithOverrun(uint8_t* to, const uint8_t* from, size_t gap, unsigned length) {
    uint8_t* end = to + length;
    if (gap >= 8) {  // each word's source is written already
        do {
            CopyWord(to, from);
            CopyWord(to + 8, from + 8);
            CopyWord(to + 16, from + 16);
            CopyWord(to + 24, from + 24);
            CopyWord(to + 32, from + 32);
            to += 40;
            from += 40;
        } while (to < end);
    } else if (gap == 1) {  // one byte repeated
        uint64_t byte = 0x0101010101010101ull * *from;
        do {
            memcpy(to, &byte, 8);
            memcpy(to + 8, &byte, 8);
            to += 16;
        } while (to < end);
    } else {  // 2 to 7: each word repeats the pattern, and its first `gap` bytes are right
        do {
            CopyWord(to, from);
            to += gap;
            from += gap;
        } while (to < end);
    }
}

// The last symbol before a half's end starts below it and is a match of
// at most kMaxMatchLength bytes, whose copy runs on by up to 39 more.
static_assert(kRingSlack >= kMaxMatchLength + 39, "the slack takes the fast path's run past a half");

// A match whose source crosses the ring's end: rare, byte by byte.
static void CopyAcrossRingEnd(uint8_t* window, uint8_t* to, unsigned from, unsigned length) {
    for (unsigned i = 0; i < length; ++i) {
        to[i] = window[from];
        from = (from + 1) & (kRingSize - 1);
    }
}

// Decodes symbols while the input buffer holds more than kFastInputMargin
// bytes and the current half of the ring is not full; the last symbol may
// run past the half's end into the slack. Writes out the full half.
// Returns kKeepGoing when the input runs short or a half was written out.
static InflateStatus DecodeFast(const CodeTables& codes, uint32_t& bitState, unsigned& countState,
                                unsigned& position) {
    const uint8_t* start = BufferedInput();
    const uint8_t* in = start;
    const uint8_t* inLimit = start + BufferedInputCount() - kFastInputMargin;
    uint8_t* const window = Inflater.Buffers->Ring;
    uint8_t* out = window + position;
    uint8_t* const halfEnd = window + (position & kWindowSize) + kWindowSize;
    const DecodeEntry* const literal = codes.literal;
    const DecodeEntry* const distances = codes.distance;
    const BitWord literalMask = Mask(codes.literalBits);
    const BitWord distanceMask = Mask(codes.distanceBits);
    BitWord bits = bitState;
    unsigned count = countState;  // at most 31 on entry
    InflateStatus status = kKeepGoing;

    // Each iteration starts with a full buffer (at least 56 or 24 bits) and
    // the root entry of the next literal/length code looked up; it decodes
    // a literal, or a match with a refill before its distance. A root entry
    // takes at most 16 bits (11 of code, 5 extra), a sub-table's at most 9
    // more (4 + 5); a distance code and its extra bits at most 28.
    Refill(bits, count, in);
    DecodeEntry entry = literal[bits & literalMask];
    do {
        // A link leads to its sub-table's entry, which is then taken as a
        // root entry is.
        if ((entry & (kEntryExceptional | kEntryLink)) == (kEntryExceptional | kEntryLink)) {
            Consume(bits, count, entry);
            entry = literal[EntryValue(entry) + (bits & Mask(EntryCodeBits(entry)))];
        }
        BitWord before = bits;
        Consume(bits, count, entry);
        if (entry & kEntryLiteral) {
            uint8_t byte = (uint8_t)(entry >> 16);
            entry = LookUpAndRefill(literal, literalMask, bits, count, in);
            *out++ = byte;
            continue;
        }
        // End of block, or invalid: a code no symbol has, or a link in a
        // sub-table, which holds none.
        if (entry & kEntryExceptional) {
            status = entry & kEntryEndOfBlock ? kInflateOk : kDataError;
            break;
        }
        unsigned length = EntryValue(entry) + ExtraBits(before, entry);

        entry = LookUpAndRefill(distances, distanceMask, bits, count, in);
        if (entry & kEntryExceptional) {
            if (!(entry & kEntryLink)) {
                status = kDataError;
                break;
            }
            Consume(bits, count, entry);
            entry = distances[EntryValue(entry) + (bits & Mask(EntryCodeBits(entry)))];
            if (entry & kEntryExceptional) {
                status = kDataError;
                break;
            }
            if (!kWideBits) Refill(bits, count, in);
        }
        before = bits;
        Consume(bits, count, entry);
        unsigned distance = EntryValue(entry) + ExtraBits(before, entry);
        entry = LookUpAndRefill(literal, literalMask, bits, count, in);

        size_t written = (size_t)(out - window);
        size_t from = written - distance;
        uint8_t* to = out;
        if (distance > written) {
            // Before the ring's start: the source lies in its second half,
            // from the lap before, unless nothing was written there yet.
            if (!Inflater.WindowWrapped) {
                status = kDataError;
                break;
            }
            from += kRingSize;
            if (from + length > kRingSize) {
                out += length;
                CopyAcrossRingEnd(window, to, (unsigned)from, length);
                continue;
            }
        }
        out += length;
        CopyWithOverrun(to, window + from, (size_t)(to - (window + from)), length);
    } while (in < inLimit && out < halfEnd);

    // Give back whole bytes loaded but not consumed, as far as this call
    // loaded them, so that the byte reader's 32-bit buffer can take the
    // rest: either fewer than 8 bits stay, or no more than were held on
    // entry (at most 31).
    unsigned loaded = (unsigned)(in - start);
    unsigned giveBack = count >> 3;
    if (giveBack > loaded) giveBack = loaded;
    count -= giveBack << 3;
    ConsumeBufferedInput(loaded - giveBack);
    bitState = (uint32_t)(bits & Mask(count));
    countState = count;

    position = (unsigned)(out - window);
    if (out >= halfEnd) {
        // The half is full: write it out. What ran past the ring's end
        // belongs at its start, over bytes a whole ring back.
        unsigned end = (unsigned)(halfEnd - window);
        unsigned over = position - end;
        position = CompleteHalf(end);
        if (position == 0) memcpy(window, window + kRingSize, over);
        position += over;
    }
    return status;
}

InflateStatus DecodeCodes() {
    InflateBuffers* buffers = Inflater.Buffers;
    CodeTables codes = {buffers->LiteralTable, buffers->DistanceTable, Inflater.LiteralBits,
                        Inflater.DistanceBits};
    uint32_t bits = Inflater.BitBuffer;
    unsigned count = Inflater.BitCount;
    unsigned position = Inflater.WindowPos;
    InflateStatus status;
    do {
        status = kKeepGoing;
        if (BufferedInputCount() > kFastInputMargin) {
            status = DecodeFast(codes, bits, count, position);
            if (status == kKeepGoing && BufferedInputCount() > kFastInputMargin) continue;
        }
        if (status == kKeepGoing) status = DecodeSymbolByBytes(codes, bits, count, position);
    } while (status == kKeepGoing);
    Inflater.BitBuffer = bits;
    Inflater.BitCount = (uint16_t)count;
    Inflater.WindowPos = (uint16_t)position;
    return status;
}
