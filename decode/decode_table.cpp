#include "decode/decode_table.h"

#include <string.h>

enum : unsigned {
    kMaxCodeBits = 15,
    kMaxSymbols = 288,
};

// The entry of `symbol` whose code has `codeBits` bits at its level.
static inline DecodeEntry EntryFor(const SymbolMeaning& meaning, unsigned symbol, unsigned codeBits) {
    DecodeEntry bits = codeBits << 8 | codeBits;
    if (symbol < meaning.simpleCount) {
        if (symbol < 256) return kEntryLiteral | symbol << 16 | bits;
        return kEntryExceptional | kEntryEndOfBlock | bits;
    }
    unsigned i = symbol - meaning.simpleCount;
    if (i >= meaning.extendedCount) return kEntryInvalid;
    return (DecodeEntry)meaning.base[i] << 16 | (bits + meaning.extra[i]);
}

// The next canonical code of `length` bits, bit-reversed (the code's first
// bit in bit 0, as the stream sends it): add one at the code's last bit,
// which is the highest bit of the reversed form. After the last code of
// that length it wraps to 0.
static uint32_t NextReversedCode(uint32_t code, unsigned length) {
    uint32_t bit = 1u << (length - 1);
    while (code & bit) {
        code ^= bit;
        bit >>= 1;
    }
    return code ^ bit;
}

static void FillInvalid(DecodeEntry* from, DecodeEntry* to) {
    while (from < to) *from++ = kEntryInvalid;
}

InflateStatus BuildDecodeTable(const uint16_t* lengths, unsigned count, const SymbolMeaning& meaning,
                               DecodeEntry* table, unsigned capacity, unsigned& rootBits) {
    if (count > kMaxSymbols) return kDataError;
    // Counted in two halves: neighbours often have the same length, and
    // each count would otherwise wait for the one before.
    uint32_t codesOfLength[kMaxCodeBits + 1] = {}, odd[kMaxCodeBits + 1] = {};
    unsigned i = 0;
    for (; i + 1 < count; i += 2) {
        ++codesOfLength[lengths[i]];
        ++odd[lengths[i + 1]];
    }
    if (i < count) ++codesOfLength[lengths[i]];
    for (unsigned k = 0; k <= kMaxCodeBits; ++k) codesOfLength[k] += odd[k];
    unsigned shortest = 1, longest = kMaxCodeBits;
    while (longest > 0 && codesOfLength[longest] == 0) --longest;
    if (longest == 0) {  // no codes at all: every look-up fails
        rootBits = 0;
        table[0] = kEntryInvalid;
        return kInflateOk;
    }
    while (codesOfLength[shortest] == 0) ++shortest;

    // Codes left over at each length, from the shortest on: none may be
    // negative; any at the longest are codes no symbol has.
    int32_t unused = 1;
    for (unsigned k = 1; k <= longest; ++k) {
        unused = (unused << 1) - (int32_t)codesOfLength[k];
        if (unused < 0) return kOverSubscribed;
    }

    // The coded symbols by code length, then by symbol: canonical order.
    uint16_t sorted[kMaxSymbols];
    uint16_t offset[kMaxCodeBits + 2];
    offset[1] = 0;
    for (unsigned k = 1; k <= kMaxCodeBits; ++k) offset[k + 1] = (uint16_t)(offset[k] + codesOfLength[k]);
    for (i = 0; i < count; ++i)
        if (lengths[i] != 0) sorted[offset[lengths[i]]++] = (uint16_t)i;

    unsigned root = rootBits < longest ? rootBits : longest;
    rootBits = root;
    // The codes in canonical order fill the code space from its start; the
    // part an incomplete code leaves must hold invalid entries. The root
    // grows from the shortest codes' size by doubling, so what it holds at
    // each length repeats for the longer ones: filling it first is enough.
    unsigned tableEnd = 1u << (shortest < root ? shortest : root);
    if (unused != 0) FillInvalid(table, table + tableEnd);
    uint32_t code = 0;
    const uint16_t* symbol = sorted;
    for (unsigned length = shortest; length <= root; ++length) {
        for (uint32_t left = codesOfLength[length]; left > 0; --left) {
            table[code] = EntryFor(meaning, *symbol++, length);
            code = NextReversedCode(code, length);
        }
        if (length < root) {
            memcpy(table + tableEnd, table, tableEnd * sizeof(DecodeEntry));
            tableEnd <<= 1;
        }
    }

    // Longer codes, in sub-tables after the root. A sub-table holds every
    // code that starts with its root index: at least 2^(length - root)
    // entries for the first of them, more while the codes of that length
    // and the next ones do not fill it.
    uint32_t rootMask = (1u << root) - 1, prefix = ~0u;
    unsigned subStart = 0;
    for (unsigned length = root + 1; length <= longest; ++length) {
        for (uint32_t left = codesOfLength[length]; left > 0; --left) {
            if ((code & rootMask) != prefix) {
                prefix = code & rootMask;
                unsigned subBits = length - root;
                uint32_t filled = left;
                while (filled < (1u << subBits) && root + subBits < longest) {
                    ++subBits;
                    filled = (filled << 1) + codesOfLength[root + subBits];
                }
                subStart = tableEnd;
                tableEnd += 1u << subBits;
                if (tableEnd > capacity) return kOutOfMemory;  // never, for the sizes in the header
                if (unused != 0) FillInvalid(table + subStart, table + tableEnd);
                table[prefix] = subStart << 16 | kEntryExceptional | kEntryLink | subBits << 8 | root;
            }
            DecodeEntry entry = EntryFor(meaning, *symbol++, length - root);
            for (uint32_t i = subStart + (code >> root); i < tableEnd; i += 1u << (length - root))
                table[i] = entry;
            code = NextReversedCode(code, length);
        }
    }
    // A single code of one bit is complete enough: its other pattern is invalid.
    return unused != 0 && longest != 1 ? kDataError : kInflateOk;
}
