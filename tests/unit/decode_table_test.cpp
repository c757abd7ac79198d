// The lookup tables of a prefix code: every code decodes to its symbol,
// with its extra bits, through the root and sub-tables; the root size
// follows the request up to the longest code; codes that are not complete
// are told apart from over-full ones, and their tables, like all others,
// stay within the sizes the decoder allocates.
#include <gtest/gtest.h>

#include <vector>

#include "decode/decode_table.h"
#include "decode/deflate_tables.h"
#include "deflate_streams.h"

namespace {

const SymbolMeaning kLiteralLength = {257, LengthBase, LengthExtra, kLengthSymbolCount};
const SymbolMeaning kDistance = {0, DistanceBase, DistanceExtra, kDistanceSymbolCount};

struct Built {
    InflateStatus status;
    std::vector<DecodeEntry> table;
    unsigned rootBits;
    Built(const std::vector<unsigned>& lengths, unsigned requested,
          const SymbolMeaning& meaning = kLiteralLength, unsigned capacity = 1u << 16)
        : table(capacity), rootBits(requested) {
        std::vector<uint16_t> narrow(lengths.begin(), lengths.end());
        status = BuildDecodeTable(narrow.data(), (unsigned)narrow.size(), meaning, table.data(),
                                  capacity, rootBits);
    }

    // Looks up a code given as the stream's bits (first bit in bit 0);
    // `codeBits` is the code's bits over both levels.
    DecodeEntry Decode(uint32_t streamBits, unsigned& codeBits) const {
        DecodeEntry entry = table[streamBits & ((1u << rootBits) - 1)];
        codeBits = 0;
        if (entry & kEntryLink) {
            codeBits = EntryConsumedBits(entry);
            streamBits >>= codeBits;
            entry = table[EntryValue(entry) + (streamBits & ((1u << EntryCodeBits(entry)) - 1))];
        }
        codeBits += EntryCodeBits(entry);
        return entry;
    }
};

uint32_t Reversed(uint32_t code, unsigned length) {
    uint32_t reversed = 0;
    for (unsigned i = 0; i < length; ++i) reversed |= ((code >> i) & 1) << (length - 1 - i);
    return reversed;
}

// Decodes every symbol's code of a literal/length code, with random bits
// after it.
void ExpectEveryCodeDecodes(const Built& built, const std::vector<unsigned>& lengths) {
    std::vector<uint32_t> codes = CanonicalCodes(lengths);
    for (unsigned symbol = 0; symbol < lengths.size(); ++symbol) {
        if (lengths[symbol] == 0) continue;
        uint32_t bits = Reversed(codes[symbol], lengths[symbol]) | (0x5A5A5u << lengths[symbol]);
        unsigned codeBits;
        DecodeEntry entry = built.Decode(bits, codeBits);
        if (symbol >= 286) {
            EXPECT_TRUE(EntryIsInvalid(entry)) << symbol;
            continue;
        }
        EXPECT_EQ(codeBits, lengths[symbol]) << symbol;
        if (symbol < 256) {
            EXPECT_EQ(entry & (kEntryLiteral | kEntryExceptional), kEntryLiteral) << symbol;
            EXPECT_EQ(EntryValue(entry) & 0xFF, symbol);
        } else if (symbol == 256) {
            EXPECT_EQ(entry & (kEntryExceptional | kEntryEndOfBlock), kEntryExceptional | kEntryEndOfBlock);
        } else {
            EXPECT_EQ(entry & (kEntryLiteral | kEntryExceptional), 0u) << symbol;
            EXPECT_EQ(EntryValue(entry), LengthBase[symbol - 257]) << symbol;
            EXPECT_EQ(EntryConsumedBits(entry) - EntryCodeBits(entry), LengthExtra[symbol - 257]) << symbol;
        }
    }
}

std::vector<unsigned> FixedLengths() {
    std::vector<unsigned> lengths(288);
    for (unsigned s = 0; s < 288; ++s) lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    return lengths;
}

bool HasLinks(const Built& built) {
    for (unsigned i = 0; i < (1u << built.rootBits); ++i)
        if (built.table[i] & kEntryLink) return true;
    return false;
}

}  // namespace

TEST(DecodeTable, FixedCodeFitsItsRootOfNineBits) {
    std::vector<unsigned> lengths = FixedLengths();
    Built built(lengths, kFixedLiteralRootBits);
    ASSERT_EQ(built.status, kInflateOk);
    EXPECT_EQ(built.rootBits, 9u);
    EXPECT_FALSE(HasLinks(built));
    ExpectEveryCodeDecodes(built, lengths);
}

TEST(DecodeTable, CodesOfEveryShapeDecode) {
    // Lengths 1 to 15 down a chain, a flat code, and a mixed one.
    std::vector<unsigned> chain(286, 0);
    const unsigned symbols[] = {'a', 256, 'b', 257, 'c', 270, 'd', 284, 'e', 285, 'f', 'g', 260, 'h', 0, 255};
    for (unsigned i = 0; i < 16; ++i) chain[symbols[i]] = i < 15 ? i + 1 : 15;
    std::vector<unsigned> flat(256, 8);
    std::vector<unsigned> mixed(288, 0);
    for (unsigned s = 0; s < 288; ++s) mixed[s] = 7 + (s * 7) % 4;  // lengths 7 to 10
    for (const auto& lengths : {chain, flat}) {
        for (unsigned requested : {1u, 5u, 9u, 11u, 15u}) {
            Built built(lengths, requested);
            ASSERT_EQ(built.status, kInflateOk);
            ExpectEveryCodeDecodes(built, lengths);
        }
    }
    Built mixedBuilt(mixed, 9);  // over-full: 288 codes of 7 to 10 bits
    EXPECT_EQ(mixedBuilt.status, kOverSubscribed);
}

TEST(DecodeTable, RootSizeFollowsRequestUpToTheLongestCode) {
    std::vector<unsigned> flat(256, 8);
    EXPECT_EQ(Built(flat, 9).rootBits, 8u);  // never longer than the longest code
    Built narrow(flat, 5);                    // shorter than the codes: all of them in sub-tables
    EXPECT_EQ(narrow.rootBits, 5u);
    EXPECT_TRUE(HasLinks(narrow));
    ExpectEveryCodeDecodes(narrow, flat);
}

TEST(DecodeTable, IncompleteEmptyAndSingleCodes) {
    std::vector<unsigned> lengths(257, 0);
    Built empty(lengths, 9);  // no codes: one invalid entry
    EXPECT_EQ(empty.status, kInflateOk);
    EXPECT_EQ(empty.rootBits, 0u);
    EXPECT_TRUE(EntryIsInvalid(empty.table[0]));

    lengths[256] = 1;  // a single one-bit code counts as complete
    Built single(lengths, 9);
    EXPECT_EQ(single.status, kInflateOk);
    unsigned codeBits;
    EXPECT_TRUE(single.Decode(0, codeBits) & kEntryEndOfBlock);
    EXPECT_TRUE(EntryIsInvalid(single.Decode(1, codeBits)));

    lengths['a'] = lengths['b'] = lengths[256] = 2;  // 3/4 used: the last quarter invalid
    Built incomplete(lengths, 9);
    EXPECT_EQ(incomplete.status, kDataError);
    ExpectEveryCodeDecodes(incomplete, lengths);
    EXPECT_TRUE(EntryIsInvalid(incomplete.Decode(3, codeBits)));

    // One distance code of 15 bits: a sub-table for it, everything else invalid.
    std::vector<unsigned> distance(30, 0);
    distance[29] = 15;
    Built lone(distance, kDistanceRootBits, kDistance, kDistanceTableSize);
    EXPECT_EQ(lone.status, kDataError);
    EXPECT_EQ(lone.rootBits, 8u);
    DecodeEntry entry = lone.Decode(0, codeBits);
    EXPECT_EQ(codeBits, 15u);
    EXPECT_EQ(EntryValue(entry), DistanceBase[29]);
    for (uint32_t bits : {1u << 14, 1u, 0x7FFFu}) EXPECT_TRUE(EntryIsInvalid(lone.Decode(bits, codeBits))) << bits;
}

// More lengths than a deflate code has symbols (288) are refused unread,
// even when they make a complete code: 223 codes of 8 bits, 66 of 9.
TEST(DecodeTable, RefusesMoreSymbolsThanDeflateHas) {
    std::vector<unsigned> lengths(289, 8);
    std::fill(lengths.begin() + 223, lengths.end(), 9);
    EXPECT_EQ(Built(lengths, 9).status, kDataError);
}

// Random codes of every kind, complete and incomplete, never need more
// entries than the decoder allocates for their kind; a smaller room is
// reported, not overrun.
TEST(DecodeTable, TablesStayWithinTheirSizes) {
    struct Kind {
        unsigned symbols, rootBits, capacity, maxLength;
        SymbolMeaning meaning;
    };
    const Kind kinds[] = {{288, kLiteralRootBits, kLiteralTableSize, 15, kLiteralLength},
                          {32, kDistanceRootBits, kDistanceTableSize, 15, kDistance},
                          {19, kCodeLengthRootBits, kCodeLengthTableSize, 7, {19, nullptr, nullptr, 0}}};
    uint32_t state = 77;
    auto next = [&state](unsigned range) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % range;
    };
    int built = 0;
    for (const Kind& kind : kinds) {
        for (int round = 0; round < 3000; ++round) {
            // Mostly long codes on few symbols, so that many sub-tables open.
            std::vector<unsigned> lengths(kind.symbols, 0);
            unsigned coded = 1 + next(kind.symbols);
            unsigned shortest = 1 + next(kind.maxLength);
            for (unsigned i = 0; i < coded; ++i)
                lengths[next(kind.symbols)] = shortest + next(kind.maxLength - shortest + 1);
            Built table(lengths, kind.rootBits, kind.meaning, kind.capacity);
            EXPECT_NE(table.status, kOutOfMemory) << kind.symbols << " symbols, round " << round;
            if (table.status != kOverSubscribed) ++built;
        }
    }
    EXPECT_GT(built, 3000);

    std::vector<unsigned> flat(256, 8);
    EXPECT_EQ(Built(flat, 5, kLiteralLength, 100).status, kOutOfMemory);
}
