// The CRC-32 of ZIP against its published known answers.
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
