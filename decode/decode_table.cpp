#include "decode/decode_table.h"

#include "platform/platform.h"

enum : unsigned {
    kMaxCodeBits = 15,
    kMaxSymbols = 288,
    kNoEndOfBlock = 16,  // longer than any code: the end-of-block rule never applies
};

// Everything one build works on. Code lengths never exceed 15 (they come
// from 3-bit fields, from code-length symbols 0 to 15 or from the fixed
// code), so a count per length fits in `codesOfLength[0..15]` and a code
// has at most 15 levels of one bit or more.
struct TableBuild {
    uint32_t codesOfLength[kMaxCodeBits + 1];
    uint16_t sorted[kMaxSymbols + 1];  // symbols with codes, by length, then symbol
    unsigned codedSymbols;
    unsigned shortest, longest;
    unsigned rootBitsWanted;
    unsigned endOfBlockLength;

    // Symbol meanings.
    uint16_t simpleCount;
    const uint16_t* base;
    const uint8_t* extra;
    uint16_t extendedCount;  // entries both `base` and `extra` have

    // The levels currently open: level 0 is the root table.
    DecodeEntry* levelTable[kMaxCodeBits + 1];
    unsigned levelBits[kMaxCodeBits + 1];
    uint32_t levelPrefix[kMaxCodeBits + 1];  // low code bits that lead to the level's table
    int level;                               // -1 before the root is opened
    unsigned covered;                        // bits taken by the levels above `level`

    DecodeEntry* lastTable;  // most recently allocated table and its size
    uint32_t lastTableSize;
    DecodeEntry* root;
};

static void ReleaseChainUntil(DecodeEntry* head, DecodeEntry* stop) {
    while (head && head != stop) {
        DecodeEntry* header = head - 1;
        DecodeEntry* previous = header->Next;
        ReleaseBlock(header);
        head = previous;
    }
}

void ReleaseDecodeTables(DecodeEntry* chainHead) { ReleaseChainUntil(chainHead, nullptr); }

// Counts the codes of each length and finds the shortest and longest.
// Returns false when no symbol has a code.
static bool CountLengths(TableBuild& build, const uint16_t* lengths, unsigned count) {
    for (unsigned k = 0; k <= kMaxCodeBits; ++k) build.codesOfLength[k] = 0;
    for (unsigned i = 0; i < count; ++i) ++build.codesOfLength[lengths[i]];
    build.codedSymbols = count - build.codesOfLength[0];
    if (build.codedSymbols == 0) return false;
    build.shortest = 1;
    while (build.codesOfLength[build.shortest] == 0) ++build.shortest;
    build.longest = kMaxCodeBits;
    while (build.codesOfLength[build.longest] == 0) --build.longest;
    return true;
}

// The number of codes of the longest length that no symbol takes, or -1
// when the lengths describe more codes than exist.
static int32_t UnusedCodes(const TableBuild& build) {
    int32_t unused = 1 << build.shortest;  // codes available at the shortest length
    for (unsigned k = build.shortest; k < build.longest; ++k) {
        unused -= (int32_t)build.codesOfLength[k];
        if (unused < 0) return -1;
        unused <<= 1;
    }
    unused -= (int32_t)build.codesOfLength[build.longest];
    return unused < 0 ? -1 : unused;
}

// Orders the coded symbols by code length and then by symbol: the order in
// which canonical codes are assigned.
static void SortSymbols(TableBuild& build, const uint16_t* lengths, unsigned count) {
    uint32_t offset[kMaxCodeBits + 1];
    offset[1] = 0;
    for (unsigned k = 1; k < build.longest; ++k) offset[k + 1] = offset[k] + build.codesOfLength[k];
    for (unsigned i = 0; i < count; ++i)
        if (lengths[i] != 0) build.sorted[offset[lengths[i]]++] = (uint16_t)i;
}

static unsigned LevelBits(const TableBuild& build, int level) {
    return level < 0 ? 0 : build.levelBits[level];
}

// Index bits of a new table whose first code has `length` bits, `left` of
// them (this one included) still to place. The table grows beyond the
// first code's remaining bits only while the longer codes would fill it,
// up to the requested root size and never past the longest code; and it
// ends exactly where the end-of-block code ends, so that code never needs
// a sub-table.
static unsigned NewTableBits(const TableBuild& build, unsigned length, uint32_t left) {
    unsigned covered = build.covered;
    unsigned limit = build.longest - covered;
    if (limit > build.rootBitsWanted) limit = build.rootBitsWanted;
    unsigned bits = length - covered;
    uint32_t patterns = 1u << bits;
    if (patterns > left) {
        patterns -= left;  // patterns of this size the codes of `length` leave free
        for (unsigned longer = length + 1; bits < limit; ++longer) {
            if (++bits == limit) break;
            patterns <<= 1;
            if (patterns <= build.codesOfLength[longer]) break;
            patterns -= build.codesOfLength[longer];
        }
    }
    unsigned eob = build.endOfBlockLength;
    if (covered + bits > eob && covered < eob) bits = eob - covered;
    return bits;
}

// Opens the table of the next level down for a code of `length` bits whose
// bit-reversed form is `code`, and links it into the table above.
static bool OpenTable(TableBuild& build, DecodeEntry*& chainHead, unsigned length, uint32_t left,
                      uint32_t code) {
    build.covered += LevelBits(build, build.level);
    int level = ++build.level;
    unsigned bits = NewTableBits(build, length, left);
    uint32_t size = 1u << bits;

    // One header entry before the table carries the chain.
    DecodeEntry* block = (DecodeEntry*)AllocateBlock((size + 1) * (uint32_t)sizeof(DecodeEntry));
    if (!block) return false;
    block->Next = chainHead;
    DecodeEntry* table = block + 1;
    chainHead = table;

    build.levelBits[level] = bits;
    build.levelTable[level] = table;
    build.lastTable = table;
    build.lastTableSize = size;
    if (!build.root) build.root = table;
    build.levelPrefix[level] = code & ((1u << build.covered) - 1);
    if (level > 0) {
        unsigned bitsAbove = build.levelBits[level - 1];
        DecodeEntry link;
        link.Op = (uint8_t)(kOpLiteral + bits);
        link.Bits = (uint8_t)bitsAbove;
        link.Value = 0;
        link.Next = table;
        // The link sits at the index the last `bitsAbove` of the prefix bits select.
        build.levelTable[level - 1][build.levelPrefix[level] >> (build.covered - bitsAbove)] = link;
    }
    return true;
}

// The entry of the next code in canonical order; `next` walks the sorted
// symbols, and the filler codes after the last of them are invalid.
static DecodeEntry EntryForNextCode(const TableBuild& build, unsigned& next, unsigned bits) {
    DecodeEntry entry;
    entry.Bits = (uint8_t)bits;
    entry.Op = kOpInvalid;
    entry.Value = 0;
    entry.Next = nullptr;
    if (next >= build.codedSymbols) return entry;
    unsigned symbol = build.sorted[next++];
    if (symbol < build.simpleCount) {
        entry.Op = symbol < 256 ? kOpLiteral : kOpEndOfBlock;
        entry.Value = (uint16_t)symbol;
    } else if (symbol - build.simpleCount < build.extendedCount) {
        entry.Op = build.extra[symbol - build.simpleCount];
        entry.Value = build.base[symbol - build.simpleCount];
    }
    return entry;
}

// The next canonical code of `length` bits, bit-reversed: add one at the
// code's first bit, which is the highest bit of the reversed form.
static uint32_t NextReversedCode(uint32_t code, unsigned length) {
    uint32_t bit = 1u << (length - 1);
    while (code & bit) {
        code ^= bit;
        bit >>= 1;
    }
    return code ^ bit;
}

// Walks every code in canonical order (the filler codes last), opening
// tables as the codes grow longer and closing them when the code's prefix
// leaves them.
static bool FillTables(TableBuild& build, DecodeEntry*& chainHead) {
    build.level = -1;
    build.covered = 0;
    build.root = nullptr;
    build.lastTable = nullptr;
    build.lastTableSize = 0;
    uint32_t code = 0;
    unsigned next = 0;
    for (unsigned length = build.shortest; length <= build.longest; ++length) {
        for (uint32_t left = build.codesOfLength[length]; left > 0; --left) {
            while (length > build.covered + LevelBits(build, build.level))
                if (!OpenTable(build, chainHead, length, left, code)) return false;

            // A code shorter than its table's index fills every entry whose
            // low bits are the code: `length - covered` bits, so a stride of
            // 2^(length - covered) through the table.
            unsigned bits = length - build.covered;
            DecodeEntry entry = EntryForNextCode(build, next, bits);
            for (uint32_t j = code >> build.covered; j < build.lastTableSize; j += 1u << bits)
                build.lastTable[j] = entry;

            code = NextReversedCode(code, length);
            while ((code & ((1u << build.covered) - 1)) != build.levelPrefix[build.level]) {
                --build.level;
                build.covered -= build.levelBits[build.level];
            }
        }
    }
    return true;
}

InflateStatus BuildDecodeTable(const uint16_t* lengths, uint16_t count, uint16_t simpleCount,
                               const uint16_t* base, uint16_t baseCount, const uint8_t* extra,
                               uint16_t extraCount, DecodeEntry*& root, DecodeEntry*& chainHead,
                               uint8_t& rootBits) {
    TableBuild build;
    root = nullptr;
    if (count > kMaxSymbols) return kDataError;
    if (!CountLengths(build, lengths, count)) {
        rootBits = 0;
        return kInflateOk;
    }
    int32_t unused = UnusedCodes(build);
    if (unused < 0) return kOverSubscribed;
    build.codesOfLength[build.longest] += (uint32_t)unused;  // filler codes, decoded as invalid

    build.rootBitsWanted = rootBits;
    if (build.rootBitsWanted < build.shortest) build.rootBitsWanted = build.shortest;
    if (build.rootBitsWanted > build.longest) build.rootBitsWanted = build.longest;
    build.endOfBlockLength = count > 256 ? lengths[256] : (unsigned)kNoEndOfBlock;
    build.simpleCount = simpleCount;
    build.base = base;
    build.extra = extra;
    build.extendedCount = baseCount < extraCount ? baseCount : extraCount;
    SortSymbols(build, lengths, count);

    DecodeEntry* chainAtStart = chainHead;
    if (!FillTables(build, chainHead)) {
        ReleaseChainUntil(chainHead, chainAtStart);
        chainHead = chainAtStart;
        return kOutOfMemory;
    }
    root = build.root;
    rootBits = (uint8_t)build.levelBits[0];
    // A single code of one bit is complete enough: its other pattern is invalid.
    return unused != 0 && build.longest != 1 ? kDataError : kInflateOk;
}
