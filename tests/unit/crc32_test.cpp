// The CRC-32 of ZIP against its published known answers.
#include <algorithm>
#include <random>
#include <vector>

#include "crc_table.h"

using Crc32 = WithCrcTable;

TEST_F(Crc32, TableHoldsThePublishedEntries) {
    EXPECT_EQ(Sfx.CrcTable[0], 0u);
    EXPECT_EQ(Sfx.CrcTable[1], 0x77073096u);
    EXPECT_EQ(Sfx.CrcTable[128], 0xEDB88320u);
    EXPECT_EQ(Sfx.CrcTable[255], 0x2D02EF8Du);
}

TEST_F(Crc32, CheckStringGivesTheStandardValue) {
    const char* digits = "123456789";
    uint32_t crc = 0xFFFFFFFF;
    UpdateCrcBuffer((const uint8_t*)digits, 9, crc);
    EXPECT_EQ(crc ^ 0xFFFFFFFF, 0xCBF43926u);
}

TEST_F(Crc32, CountsOfZeroOrLessChangeNothing) {
    uint32_t crc = 0x12345678;
    UpdateCrcBuffer((const uint8_t*)"abc", 0, crc);
    UpdateCrcBuffer((const uint8_t*)"abc", -3, crc);
    EXPECT_EQ(crc, 0x12345678u);
}

// The register after each byte in turn, through the 256-entry table alone.
static uint32_t ByteWise(const uint8_t* bytes, size_t count, uint32_t crc) {
    for (size_t i = 0; i < count; ++i) crc = UpdateCrc(bytes[i], crc);
    return crc;
}

// Buffers are folded in braids of words and eight bytes at a time with
// tables derived from the byte-wise one, or with carry-less multiplication
// where the processor has it; every length, start alignment and register
// value must give the byte-wise result either way, including the bytes
// left after the last block and the last eight.
TEST_F(Crc32, BufferFoldMatchesByteWiseForEveryLengthAndAlignment) {
    std::mt19937 random(2024);
    std::vector<uint8_t> data(4096 + 8);
    for (uint8_t& byte : data) byte = (uint8_t)random();
    for (bool carryless : {false, true}) {
        if (UseCarrylessCrc(carryless) != carryless) continue;  // the processor has none
        for (size_t offset = 0; offset < 8; ++offset) {
            for (size_t length = 0; length <= 4096; length += length < 80 ? 1 : 61) {
                uint32_t start = random();
                uint32_t crc = start;
                UpdateCrcBuffer(data.data() + offset, (int32_t)length, crc);
                ASSERT_EQ(crc, ByteWise(data.data() + offset, length, start))
                    << "carry-less " << carryless << ", offset " << offset << ", length " << length;
            }
        }
    }
}

// A buffer cut anywhere gives the CRC of the whole, as the chunks of a
// member do.
TEST_F(Crc32, ChunksGiveTheCrcOfTheWhole) {
    std::mt19937 random(7);
    std::vector<uint8_t> data(100000);
    for (uint8_t& byte : data) byte = (uint8_t)random();
    uint32_t whole = 0xFFFFFFFF;
    UpdateCrcBuffer(data.data(), (int32_t)data.size(), whole);
    for (int trial = 0; trial < 20; ++trial) {
        uint32_t crc = 0xFFFFFFFF;
        for (size_t at = 0; at < data.size();) {
            size_t piece = std::min<size_t>(random() % 9000, data.size() - at);
            UpdateCrcBuffer(data.data() + at, (int32_t)piece, crc);
            at += piece;
        }
        EXPECT_EQ(crc, whole);
    }
    EXPECT_EQ(whole, ByteWise(data.data(), data.size(), 0xFFFFFFFF));
}
