#include "decode/crc32.h"

#include "startup/sfx_globals.h"

static const uint32_t kReversedPolynomial = 0xEDB88320;

void BuildCrcTable() {
    for (uint32_t entry = 0; entry < 256; ++entry) {
        uint32_t x = entry;
        for (int bit = 0; bit < 8; ++bit) x = (x & 1) ? (x >> 1) ^ kReversedPolynomial : x >> 1;
        Sfx.CrcTable[entry] = x;
    }
}

uint32_t UpdateCrc(uint8_t byte, uint32_t crc) {
    return Sfx.CrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

void UpdateCrcBuffer(const uint8_t* bytes, int32_t count, uint32_t& crc) {
    uint32_t value = crc;
    for (int32_t i = 0; i < count; ++i) value = UpdateCrc(bytes[i], value);
    crc = value;
}
