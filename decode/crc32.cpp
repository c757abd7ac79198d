#include "decode/crc32.h"

#include <string.h>

#include "startup/sfx_globals.h"

static const uint32_t kReversedPolynomial = 0xEDB88320;

// CrcSlices[k - 1][n] is the register change of byte n followed by k zero
// bytes: (T[n] >> 8k) folded k more times through the byte-wise table T.
// Eight bytes at a time, the byte j places before the last then contributes
// its entry of the table for j, and the eight look-ups are independent.
// They live beside the byte-wise table, which they are derived from; in the
// stub they take room in memory only, not in the image.
static uint32_t CrcSlices[7][256];

void BuildCrcTable() {
    uint32_t* table = Sfx.CrcTable;
    for (uint32_t entry = 0; entry < 256; ++entry) {
        uint32_t x = entry;
        for (int bit = 0; bit < 8; ++bit) x = (x & 1) ? (x >> 1) ^ kReversedPolynomial : x >> 1;
        table[entry] = x;
    }
    for (uint32_t entry = 0; entry < 256; ++entry) {
        uint32_t x = table[entry];
        for (int k = 0; k < 7; ++k) {
            x = table[x & 0xFF] ^ (x >> 8);
            CrcSlices[k][entry] = x;
        }
    }
}

uint32_t UpdateCrc(uint8_t byte, uint32_t crc) {
    return Sfx.CrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

static inline uint32_t LoadLittleEndian32(const uint8_t* at) {
    uint32_t word;
    memcpy(&word, at, sizeof word);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    word = __builtin_bswap32(word);
#endif
    return word;
}

void UpdateCrcBuffer(const uint8_t* bytes, int32_t count, uint32_t& crc) {
    if (count <= 0) return;
    const uint32_t* table = Sfx.CrcTable;
    uint32_t value = crc;
    uint32_t left = (uint32_t)count;
    for (; left >= 8; left -= 8, bytes += 8) {
        // The register meets the first four bytes; the next four enter
        // unchanged. Byte i of the eight is folded through 7 - i zero bytes.
        uint32_t low = value ^ LoadLittleEndian32(bytes);
        uint32_t high = LoadLittleEndian32(bytes + 4);
        value = CrcSlices[6][low & 0xFF] ^ CrcSlices[5][(low >> 8) & 0xFF] ^
                CrcSlices[4][(low >> 16) & 0xFF] ^ CrcSlices[3][low >> 24] ^
                CrcSlices[2][high & 0xFF] ^ CrcSlices[1][(high >> 8) & 0xFF] ^
                CrcSlices[0][(high >> 16) & 0xFF] ^ table[high >> 24];
    }
    for (; left > 0; --left) value = table[(value ^ *bytes++) & 0xFF] ^ (value >> 8);
    crc = value;
}

uint32_t CrcOfBytes(const uint8_t* bytes, uint32_t length) {
    uint32_t crc = 0xFFFFFFFF;
    for (uint32_t chunk; length > 0; bytes += chunk, length -= chunk) {
        chunk = length < 0x40000000 ? length : 0x40000000;
        UpdateCrcBuffer(bytes, (int32_t)chunk, crc);
    }
    return crc ^ 0xFFFFFFFF;
}
