// The lookup tables of a prefix code: every code decodes to its symbol
// through root and sub-tables, the root size follows the request, the
// shortest and longest codes and the end-of-block code, and codes that
// are not complete are told apart from over-full ones.
#include <gtest/gtest.h>

#include <vector>

#include "decode/decode_table.h"
#include "decode/deflate_tables.h"
#include "deflate_streams.h"

namespace {

struct Built {
    InflateStatus status;
    DecodeEntry* root = nullptr;
    DecodeEntry* chain = nullptr;
    uint8_t rootBits;
    Built(const std::vector<unsigned>& lengths, uint8_t requested, uint16_t simpleCount = 257)
        : rootBits(requested) {
        std::vector<uint16_t> narrow(lengths.begin(), lengths.end());
        status = BuildDecodeTable(narrow.data(), (uint16_t)narrow.size(), simpleCount, LengthBase,
                                  kLengthSymbolCount, LengthExtra, kLengthSymbolCount, root, chain,
                                  rootBits);
    }
    ~Built() { ReleaseDecodeTables(chain); }

    // Looks up a code given as the stream's bits (first bit in bit 0);
    // `consumed` is the bits the entries took over all levels.
    const DecodeEntry& Decode(uint32_t streamBits, unsigned& consumed) const {
        const DecodeEntry* entry = &root[streamBits & ((1u << rootBits) - 1)];
        consumed = 0;
        while (entry->Op > kOpLiteral && entry->Op != kOpInvalid) {
            consumed += entry->Bits;
            streamBits >>= entry->Bits;
            unsigned bits = entry->Op - kOpLiteral;
            entry = &entry->Next[streamBits & ((1u << bits) - 1)];
        }
        consumed += entry->Bits;
        return *entry;
    }
};

uint32_t Reversed(uint32_t code, unsigned length) {
    uint32_t reversed = 0;
    for (unsigned i = 0; i < length; ++i) reversed |= ((code >> i) & 1) << (length - 1 - i);
    return reversed;
}

// Decodes every symbol's code, with random bits after it.
void ExpectEveryCodeDecodes(const Built& built, const std::vector<unsigned>& lengths) {
    std::vector<uint32_t> codes = CanonicalCodes(lengths);
    for (unsigned symbol = 0; symbol < lengths.size(); ++symbol) {
        if (lengths[symbol] == 0) continue;
        uint32_t bits = Reversed(codes[symbol], lengths[symbol]) | (0x5A5A5u << lengths[symbol]);
        unsigned consumed;
        const DecodeEntry& entry = built.Decode(bits, consumed);
        EXPECT_EQ(consumed, lengths[symbol]) << symbol;
        if (symbol < 256) {
            EXPECT_EQ(entry.Op, kOpLiteral) << symbol;
            EXPECT_EQ(entry.Value, symbol);
        } else if (symbol == 256) {
            EXPECT_EQ(entry.Op, kOpEndOfBlock);
        } else if (symbol < 286) {
            EXPECT_EQ(entry.Op, LengthExtra[symbol - 257]) << symbol;
            EXPECT_EQ(entry.Value, LengthBase[symbol - 257]) << symbol;
        } else {
            EXPECT_EQ(entry.Op, kOpInvalid) << symbol;
        }
    }
}

std::vector<unsigned> FixedLengths() {
    std::vector<unsigned> lengths(288);
    for (unsigned s = 0; s < 288; ++s) lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    return lengths;
}

}  // namespace

TEST(DecodeTable, FixedCodeHasSevenRootBitsAndShortSubTables) {
    std::vector<unsigned> lengths = FixedLengths();
    Built built(lengths, 7);
    ASSERT_EQ(built.status, kInflateOk);
    EXPECT_EQ(built.rootBits, 7);
    ExpectEveryCodeDecodes(built, lengths);
    // 8-bit codes hang off one-bit sub-tables, 9-bit ones off two-bit ones.
    std::vector<uint32_t> codes = CanonicalCodes(lengths);
    EXPECT_EQ(built.root[Reversed(codes[0], 8) & 0x7F].Op, kOpLiteral + 1);
    EXPECT_EQ(built.root[Reversed(codes[200], 9) & 0x7F].Op, kOpLiteral + 2);
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
        for (uint8_t requested : {1, 5, 9, 15}) {
            Built built(lengths, requested);
            EXPECT_EQ(built.status, kInflateOk);
            ExpectEveryCodeDecodes(built, lengths);
        }
    }
    Built mixedBuilt(mixed, 9);  // over-full: 288 codes of 7 to 10 bits
    EXPECT_EQ(mixedBuilt.status, kOverSubscribed);
}

TEST(DecodeTable, RootSizeFollowsRequestCodesAndEndOfBlock) {
    std::vector<unsigned> lengths = FixedLengths();
    lengths[256] = 7;  // end of block among the 7-bit codes: root of 7, not 9
    Built eob(lengths, 9);
    EXPECT_EQ(eob.rootBits, 7);
    ExpectEveryCodeDecodes(eob, lengths);

    std::vector<unsigned> flat(256, 8);
    EXPECT_EQ(Built(flat, 9).rootBits, 8);  // never longer than the longest code
    EXPECT_EQ(Built(flat, 5).rootBits, 8);  // never shorter than the shortest
}

TEST(DecodeTable, IncompleteEmptyAndSingleCodes) {
    std::vector<unsigned> lengths(257, 0);
    EXPECT_EQ(Built(lengths, 9).status, kInflateOk);  // no codes: nothing built
    EXPECT_EQ(Built(lengths, 9).root, nullptr);

    lengths[256] = 1;  // a single one-bit code counts as complete
    Built single(lengths, 9);
    EXPECT_EQ(single.status, kInflateOk);
    unsigned consumed;
    EXPECT_EQ(single.Decode(0, consumed).Op, kOpEndOfBlock);
    EXPECT_EQ(single.Decode(1, consumed).Op, kOpInvalid);

    lengths['a'] = lengths['b'] = lengths[256] = 2;  // 3/4 used: the last quarter invalid
    Built incomplete(lengths, 9);
    EXPECT_EQ(incomplete.status, kDataError);
    ExpectEveryCodeDecodes(incomplete, lengths);
    EXPECT_EQ(incomplete.Decode(3, consumed).Op, kOpInvalid);
}
