// The inner loop of the inflate decoder: literal/length and distance codes
// into the window. Two readers share one bit state:
//  - the fast path, taken while the input buffer holds a safe margin of
//    bytes and the window has room for the longest match: it reads the
//    buffer directly, a machine word at a time, and never flushes;
//  - the byte reader, for everything near the end of the input buffer, the
//    member or the window: one symbol at a time through NextCompressedByte.
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

// Internal to this file: neither success nor failure yet.
static const InflateStatus kKeepGoing = (InflateStatus)0xFF;

// Bytes the fast path wants buffered before an iteration. With 64 bits,
// one refill per iteration consumes at most 7 bytes and loads 8; with 32
// bits, up to three refills consume 3 bytes each and the last loads 4, so
// an iteration reads at most 10 bytes ahead.
enum : uint32_t { kFastInputMargin = 16 };

// A distance code without any codes: every look-up is invalid.
static const DecodeEntry kNoDistanceCode[1] = {{kOpInvalid, 0, 0, nullptr}};

struct CodeTables {
    const DecodeEntry* literal;
    const DecodeEntry* distance;
    unsigned literalBits;
    unsigned distanceBits;
};

// Copies a match whose source lies `distance` bytes behind `position`
// inside the window and which ends at or before the window's end.
static inline void CopyBackwards(uint8_t* window, unsigned position, unsigned distance,
                                 unsigned length) {
    uint8_t* to = window + position;
    const uint8_t* from = to - distance;
    if (distance >= length) {  // no overlap: one block move
        memcpy(to, from, length);
    } else if (distance == 1) {  // one byte repeated
        memset(to, *from, length);
    } else {
        // An overlapping copy repeats the last `distance` bytes. Eight
        // bytes at a time are safe when the distance is at least eight,
        // since each word's source is then fully written already.
        unsigned i = 0;
        if (distance >= 8)
            for (; i + 8 <= length; i += 8) memcpy(to + i, from + i, 8);
        for (; i < length; ++i) to[i] = from[i];
    }
}

// ---- The byte reader ----------------------------------------------------

static inline unsigned LowBits(uint32_t bits, unsigned n) { return bits & BitMask[n]; }

// Follows link entries to the entry of the code, taking more bits for each
// sub-table. False on an invalid entry.
static bool FollowLinks(const DecodeEntry*& entry, uint32_t& bits, unsigned& count) {
    unsigned op = entry->Op;
    while (op > kOpLiteral) {
        if (op == kOpInvalid) return false;
        DumpBits(bits, count, entry->Bits);
        op -= kOpLiteral;
        NeedBits(bits, count, op);
        entry = &entry->Next[LowBits(bits, op)];
        op = entry->Op;
    }
    return true;
}

// A base value plus its extra bits.
static unsigned TakeExtra(const DecodeEntry* entry, uint32_t& bits, unsigned& count) {
    unsigned extra = entry->Op;
    NeedBits(bits, count, extra);
    unsigned value = entry->Value + LowBits(bits, extra);
    DumpBits(bits, count, extra);
    return value;
}

// Copies a match in pieces that stop at the window's end for source and
// destination alike; each full window is flushed and the copy goes on from
// position 0. A source before the member's first byte is refused: that
// part of the window was never written.
static InflateStatus CopyMatch(unsigned& position, unsigned distance, unsigned length) {
    if (distance > position && !Inflater.WindowWrapped) return kDataError;
    uint8_t* window = Inflater.Window;
    unsigned from = (position - distance) & (kWindowSize - 1);
    while (length > 0) {
        unsigned further = from > position ? from : position;
        unsigned run = kWindowSize - further;
        if (run > length) run = length;
        length -= run;
        if ((int)(position - from) >= (int)run) {  // source wholly behind: a block move
            memcpy(window + position, window + from, run);
            position += run;
            from += run;
        } else {  // overlapping, or source ahead of the destination: forward, byte by byte
            for (unsigned i = 0; i < run; ++i) window[position++] = window[from++];
        }
        if (position == kWindowSize) {
            FlushFullWindow();
            position = 0;
        }
        from &= kWindowSize - 1;
    }
    return kInflateOk;
}

// Decodes one literal, match or end of block.
static InflateStatus DecodeSymbolByBytes(const CodeTables& codes, uint32_t& bits, unsigned& count,
                                         unsigned& position) {
    NeedBits(bits, count, codes.literalBits);
    const DecodeEntry* entry = &codes.literal[LowBits(bits, codes.literalBits)];
    if (!FollowLinks(entry, bits, count)) return kDataError;
    DumpBits(bits, count, entry->Bits);
    if (ConsumedPastEnd(count)) return kDataError;  // the member ended inside this code

    if (entry->Op == kOpLiteral) {
        uint8_t* window = Inflater.Window;
        window[position++] = (uint8_t)entry->Value;
        if (position == kWindowSize) {
            FlushFullWindow();
            position = 0;
        }
        return kKeepGoing;
    }
    if (entry->Op == kOpEndOfBlock) return kInflateOk;

    unsigned length = TakeExtra(entry, bits, count);
    NeedBits(bits, count, codes.distanceBits);
    entry = &codes.distance[LowBits(bits, codes.distanceBits)];
    if (!FollowLinks(entry, bits, count)) return kDataError;
    DumpBits(bits, count, entry->Bits);
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

// Tops the bit buffer up to at least kWordBits - 8 bits without a branch:
// a whole word is loaded, and the input advances by the bytes that fitted.
// Bits above the count then hold the next stream bits, which a later
// refill ORs in again unchanged.
static inline void Refill(BitWord& bits, unsigned& count, const uint8_t*& in) {
    bits |= LoadWord(in) << count;
    unsigned bytes = (kWordBits - 1 - count) >> 3;
    in += bytes;
    count += bytes << 3;
}

static inline BitWord LowWordBits(BitWord bits, unsigned n) {
    return bits & (((BitWord)1 << n) - 1);
}

static inline void Drop(BitWord& bits, unsigned& count, unsigned n) {
    bits >>= n;
    count -= n;
}

// Looks a code up and follows its links; null for an invalid code. The
// bits are held: a code has at most 15 bits over all its levels.
static inline const DecodeEntry* LookUp(const DecodeEntry* table, unsigned tableBits,
                                        BitWord& bits, unsigned& count) {
    const DecodeEntry* entry = &table[LowWordBits(bits, tableBits)];
    unsigned op = entry->Op;
    while (op > kOpLiteral) {
        if (op == kOpInvalid) return nullptr;
        Drop(bits, count, entry->Bits);
        op -= kOpLiteral;
        entry = &entry->Next[LowWordBits(bits, op)];
        op = entry->Op;
    }
    Drop(bits, count, entry->Bits);
    return entry;
}

// Copies a match while the window has room for it (`position` plus
// `length` stays within the window). The source may lie in the window's
// older part, at its end, when the window has wrapped.
static inline bool CopyMatchWithRoom(uint8_t* window, unsigned& position, unsigned distance,
                                     unsigned length) {
    if (distance > position) {
        if (!Inflater.WindowWrapped) return false;  // before the member's first byte
        // The source starts `distance` back, past the wrap, and runs to the
        // window's end at most; it lies at or ahead of the destination, so
        // a forward move copies it right.
        unsigned from = position + kWindowSize - distance;
        unsigned run = kWindowSize - from;
        if (run > length) run = length;
        memmove(window + position, window + from, run);
        position += run;
        length -= run;
        if (length == 0) return true;
        // Whatever is left starts at the window's position 0.
    }
    CopyBackwards(window, position, distance, length);
    position += length;
    return true;
}

// Decodes symbols while the input buffer holds more than kFastInputMargin
// bytes and the window has room for a longest match. Returns kKeepGoing
// when either runs short.
static InflateStatus DecodeFast(const CodeTables& codes, uint32_t& bitState, unsigned& countState,
                                unsigned& position) {
    const uint8_t* start = BufferedInput();
    const uint8_t* in = start;
    const uint8_t* inLimit = start + BufferedInputCount() - kFastInputMargin;
    uint8_t* window = Inflater.Window;
    unsigned w = position;
    BitWord bits = bitState;
    unsigned count = countState;  // at most 23 on entry
    InflateStatus status = kKeepGoing;

    do {
        // After a refill at least 24 (32-bit) or 56 (64-bit) bits are held:
        // enough for a literal/length code and its extra bits (15 + 5); the
        // 64-bit buffer also holds the distance code and its extra bits
        // (15 + 13), the 32-bit one refills for them.
        Refill(bits, count, in);
        const DecodeEntry* entry = LookUp(codes.literal, codes.literalBits, bits, count);
        if (!entry) {
            status = kDataError;
            break;
        }
        if (entry->Op == kOpLiteral) {
            window[w++] = (uint8_t)entry->Value;
            continue;
        }
        if (entry->Op == kOpEndOfBlock) {
            status = kInflateOk;
            break;
        }
        unsigned length = entry->Value + (unsigned)LowWordBits(bits, entry->Op);
        Drop(bits, count, entry->Op);

        if (kWordBits < 64) Refill(bits, count, in);
        entry = LookUp(codes.distance, codes.distanceBits, bits, count);
        if (!entry) {
            status = kDataError;
            break;
        }
        if (kWordBits < 64 && count < entry->Op) Refill(bits, count, in);
        unsigned distance = entry->Value + (unsigned)LowWordBits(bits, entry->Op);
        Drop(bits, count, entry->Op);
        if (!CopyMatchWithRoom(window, w, distance, length)) {
            status = kDataError;
            break;
        }
    } while (in < inLimit && w <= kWindowSize - kMaxMatchLength);

    // Give back whole bytes loaded but not consumed, as far as this call
    // loaded them, so that the byte reader's 32-bit buffer can take the
    // rest: either fewer than 8 bits stay, or no more than were held on
    // entry (at most 23).
    unsigned loaded = (unsigned)(in - start);
    unsigned giveBack = count >> 3;
    if (giveBack > loaded) giveBack = loaded;
    count -= giveBack << 3;
    ConsumeBufferedInput(loaded - giveBack);
    bitState = (uint32_t)LowWordBits(bits, count);
    countState = count;
    // A match may end exactly at the window's end; everyone after this
    // expects a position below it.
    if (w == kWindowSize) {
        FlushFullWindow();
        w = 0;
    }
    position = w;
    return status;
}

static bool FastPathFits(unsigned position) {
    return BufferedInputCount() > kFastInputMargin && position <= kWindowSize - kMaxMatchLength;
}

InflateStatus DecodeCodes(const DecodeEntry* literalTable, const DecodeEntry* distanceTable,
                          unsigned literalBits, unsigned distanceBits) {
    if (!literalTable) return kDataError;  // an empty code: any look-up fails
    CodeTables codes = {literalTable, distanceTable, literalBits, distanceBits};
    if (!distanceTable) {
        codes.distance = kNoDistanceCode;
        codes.distanceBits = 0;
    }
    uint32_t bits = Inflater.BitBuffer;
    unsigned count = Inflater.BitCount;
    unsigned position = Inflater.WindowPos;
    InflateStatus status = kKeepGoing;
    do {
        if (FastPathFits(position)) status = DecodeFast(codes, bits, count, position);
        if (status == kKeepGoing) status = DecodeSymbolByBytes(codes, bits, count, position);
    } while (status == kKeepGoing);
    Inflater.BitBuffer = bits;
    Inflater.BitCount = (uint16_t)count;
    Inflater.WindowPos = (uint16_t)position;
    return status;
}
