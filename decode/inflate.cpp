// The block layer of the inflate decoder: the member loop, block headers,
// stored blocks, and the code tables of fixed and dynamic blocks. The
// codes themselves are decoded by DecodeCodes (decode_codes.cpp).
#include "decode/inflate.h"

#include <string.h>

#include "decode/deflate_tables.h"
#include "decode/inflate_state.h"
#include "platform/platform.h"

InflateState Inflater;

enum : unsigned {
    kFixedLiteralCount = 288,
    kFixedDistanceCount = 30,
    kMaxLengthCount = 288 + 32,  // literal/length plus distance code lengths
};

void FillBits(uint32_t& bits, unsigned& count) {
    while (count < 24) {
        int32_t next = NextCompressedByte();
        if (next < 0) ++Inflater.PaddingBytes;
        bits |= (uint32_t)next << count;
        count += 8;
    }
}

// What the symbols of each code stand for.
static const SymbolMeaning kLiteralLengthSymbols = {257, LengthBase, LengthExtra, kLengthSymbolCount};
static const SymbolMeaning kDistanceSymbols = {0, DistanceBase, DistanceExtra, kDistanceSymbolCount};
static const SymbolMeaning kCodeLengthSymbols = {kCodeLengthSymbolCount, nullptr, nullptr, 0};

// The value of the next `n` bits, which are then consumed.
static unsigned TakeBits(uint32_t& bits, unsigned& count, unsigned n) {
    NeedBits(bits, count, n);
    unsigned value = bits & BitMask[n];
    DumpBits(bits, count, n);
    return value;
}

unsigned CompleteHalf(unsigned position) {
    if ((position & (kWindowSize - 1)) != 0) return position;
    FlushWindow(Inflater.Buffers->Ring + position - kWindowSize, kWindowSize);
    Inflater.WindowWrapped = true;
    return position & (kRingSize - 1);
}

static void SaveBits(uint32_t bits, unsigned count) {
    Inflater.BitBuffer = bits;
    Inflater.BitCount = (uint16_t)count;
}

// Copies `length` stored bytes that follow in the input into the window.
// Bytes still in the bit buffer go first; the rest are taken from the
// input buffer in runs, each cut at the end of a half of the ring.
static InflateStatus CopyStoredBytes(uint32_t& bits, unsigned& count, unsigned& position,
                                     unsigned length) {
    for (; length > 0 && count > 0; --length) {  // count is a multiple of 8 here
        PutByte(position, (uint8_t)bits);
        DumpBits(bits, count, 8);
        if (ConsumedPastEnd(count)) return kDataError;
    }
    while (length > 0) {
        uint32_t run = BufferedInputCount();
        if (run == 0) {  // refill; the byte that comes with it goes through the window first
            int32_t next = NextCompressedByte();
            if (next < 0) return kDataError;  // the block is longer than the member
            PutByte(position, (uint8_t)next);
            --length;
            continue;
        }
        if (run > length) run = length;
        unsigned room = kWindowSize - (position & (kWindowSize - 1));
        if (run > room) run = room;
        memcpy(Inflater.Buffers->Ring + position, BufferedInput(), run);
        ConsumeBufferedInput(run);
        position = CompleteHalf(position + run);
        length -= run;
    }
    return kInflateOk;
}

// A stored block: byte-aligned LEN and its complement NLEN, then LEN bytes
// that go through the window like decoded bytes.
static InflateStatus InflateStoredBlock() {
    uint32_t bits = Inflater.BitBuffer;
    unsigned count = Inflater.BitCount;
    unsigned position = Inflater.WindowPos;
    DumpBits(bits, count, count & 7);
    unsigned length = TakeBits(bits, count, 16);
    unsigned complement = TakeBits(bits, count, 16);
    if (complement != (~length & 0xFFFF) || ConsumedPastEnd(count)) return kDataError;
    InflateStatus status = CopyStoredBytes(bits, count, position, length);
    Inflater.WindowPos = (uint16_t)position;
    SaveBits(bits, count);
    return status;
}

// Builds the tables of the fixed codes. They stay until a dynamic block
// builds its own, so that a run of fixed blocks builds them once.
static void LoadFixedTables() {
    uint16_t lengths[kFixedLiteralCount];
    unsigned symbol = 0;
    for (; symbol < 144; ++symbol) lengths[symbol] = 8;
    for (; symbol < 256; ++symbol) lengths[symbol] = 9;
    for (; symbol < 280; ++symbol) lengths[symbol] = 7;
    for (; symbol < kFixedLiteralCount; ++symbol) lengths[symbol] = 8;
    InflateBuffers* buffers = Inflater.Buffers;
    unsigned bits = kFixedLiteralRootBits;
    BuildDecodeTable(lengths, kFixedLiteralCount, kLiteralLengthSymbols, buffers->LiteralTable,
                     kLiteralTableSize, bits);  // complete: always kInflateOk
    Inflater.LiteralBits = (uint8_t)bits;
    // 30 of the 32 five-bit codes are used: always incomplete, never a fault.
    for (symbol = 0; symbol < kFixedDistanceCount; ++symbol) lengths[symbol] = 5;
    bits = kFixedDistanceRootBits;
    BuildDecodeTable(lengths, kFixedDistanceCount, kDistanceSymbols, buffers->DistanceTable,
                     kDistanceTableSize, bits);
    Inflater.DistanceBits = (uint8_t)bits;
    Inflater.FixedTablesLoaded = true;
}

static InflateStatus InflateFixedBlock() {
    if (!Inflater.FixedTablesLoaded) LoadFixedTables();
    return DecodeCodes();
}

// Reads the code lengths of a dynamic block's literal/length and distance
// codes, `total` of them, with the code-length code's table.
static InflateStatus ReadCodeLengths(uint16_t* lengths, unsigned total, const DecodeEntry* table,
                                     unsigned tableBits) {
    uint32_t bits = Inflater.BitBuffer;
    unsigned count = Inflater.BitCount;
    unsigned previous = 0;
    for (unsigned stored = 0; stored < total;) {
        // Code-length codes have at most 7 bits, so the table has one level.
        NeedBits(bits, count, tableBits);
        DecodeEntry entry = table[bits & BitMask[tableBits]];
        if (EntryIsInvalid(entry)) return kDataError;
        DumpBits(bits, count, EntryCodeBits(entry));
        unsigned symbol = EntryValue(entry) & 0xFF;
        unsigned repeat, value;
        if (symbol < 16) {
            lengths[stored++] = (uint16_t)symbol;
            previous = symbol;
            if (ConsumedPastEnd(count)) return kDataError;
            continue;
        }
        unsigned extraBits = symbol == 16 ? 2 : symbol == 17 ? 3 : 7;
        repeat = (symbol == 18 ? 11 : 3) + TakeBits(bits, count, extraBits);
        if (ConsumedPastEnd(count)) return kDataError;
        value = symbol == 16 ? previous : 0;
        previous = value;
        if (repeat > total - stored) return kDataError;  // would run past the lengths' count
        while (repeat-- > 0) lengths[stored++] = (uint16_t)value;
    }
    SaveBits(bits, count);
    return kInflateOk;
}

// Reads the header of a dynamic block: the counts and the code-length
// code, then the lengths of the two codes into `lengths`.
static InflateStatus ReadDynamicHeader(uint16_t* lengths, unsigned& literalCount,
                                       unsigned& distanceCount) {
    uint32_t bits = Inflater.BitBuffer;
    unsigned count = Inflater.BitCount;
    literalCount = 257 + TakeBits(bits, count, 5);
    distanceCount = 1 + TakeBits(bits, count, 5);
    unsigned codeLengthCount = 4 + TakeBits(bits, count, 4);
    unsigned i = 0;
    for (; i < codeLengthCount; ++i) lengths[CodeLengthOrder[i]] = (uint16_t)TakeBits(bits, count, 3);
    for (; i < kCodeLengthSymbolCount; ++i) lengths[CodeLengthOrder[i]] = 0;
    if (ConsumedPastEnd(count)) return kDataError;
    SaveBits(bits, count);

    DecodeEntry table[kCodeLengthTableSize];
    unsigned tableBits = kCodeLengthRootBits;
    InflateStatus status = BuildDecodeTable(lengths, kCodeLengthSymbolCount, kCodeLengthSymbols, table,
                                            kCodeLengthTableSize, tableBits);
    if (status == kInflateOk && tableBits == 0) status = kDataError;  // no code-length codes at all
    if (status == kInflateOk)
        status = ReadCodeLengths(lengths, literalCount + distanceCount, table, tableBits);
    return status;
}

static InflateStatus InflateDynamicBlock() {
    uint16_t lengths[kMaxLengthCount];
    unsigned literalCount, distanceCount;
    InflateStatus status = ReadDynamicHeader(lengths, literalCount, distanceCount);
    if (status != kInflateOk) return status;

    InflateBuffers* buffers = Inflater.Buffers;
    Inflater.FixedTablesLoaded = false;
    unsigned literalBits = kLiteralRootBits;
    status = BuildDecodeTable(lengths, literalCount, kLiteralLengthSymbols, buffers->LiteralTable,
                              kLiteralTableSize, literalBits);
    if (status != kInflateOk) return status;

    // An incomplete distance code is allowed: its missing codes are invalid
    // entries, a fault only if they occur.
    unsigned distanceBits = kDistanceRootBits;
    status = BuildDecodeTable(lengths + literalCount, distanceCount, kDistanceSymbols,
                              buffers->DistanceTable, kDistanceTableSize, distanceBits);
    if (status != kInflateOk && status != kDataError) return status;
    Inflater.LiteralBits = (uint8_t)literalBits;
    Inflater.DistanceBits = (uint8_t)distanceBits;
    return DecodeCodes();
}

// One block: its header (last-block flag, then type), then its body.
static InflateStatus InflateBlock(bool& lastBlock) {
    uint32_t bits = Inflater.BitBuffer;
    unsigned count = Inflater.BitCount;
    lastBlock = TakeBits(bits, count, 1) != 0;
    unsigned type = TakeBits(bits, count, 2);
    // Past the member's bytes a header reads as a last block of type 3,
    // which ends decoding below.
    SaveBits(bits, count);
    switch (type) {
    case 0: return InflateStoredBlock();
    case 1: return InflateFixedBlock();
    case 2: return InflateDynamicBlock();
    default: return kDataError;
    }
}

static void StartMember() {
    Inflater.BitBuffer = 0;
    Inflater.BitCount = 0;
    Inflater.WindowPos = 0;
    Inflater.WindowWrapped = false;
    Inflater.PaddingBytes = 0;
    Inflater.FixedTablesLoaded = false;
}

static void EndMember() {
    ReleaseBlock(Inflater.Buffers);
    Inflater.Buffers = nullptr;
    EndCompressedInput();
}

InflateStatus DecodeMember() {
    StartMember();
    bool haveInput = StartCompressedInput();
    Inflater.Buffers = (InflateBuffers*)AllocateBlock(sizeof(InflateBuffers));
    InflateStatus status = kOutOfMemory;
    if (haveInput && Inflater.Buffers) {
        bool lastBlock = false;
        do status = InflateBlock(lastBlock);
        while (status == kInflateOk && !lastBlock);
        // What the ring holds since its last write leaves too, also after a
        // failure: the file keeps what was decoded.
        unsigned start = Inflater.WindowPos & kWindowSize;
        if (Inflater.WindowPos > start) FlushWindow(Inflater.Buffers->Ring + start, Inflater.WindowPos - start);
        Inflater.WindowPos = 0;
    }
    EndMember();
    return status;
}

void InflateMember() { DecodeMember(); }
