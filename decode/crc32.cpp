#include "decode/crc32.h"

#include <string.h>

#include "startup/sfx_globals.h"

static const uint32_t kReversedPolynomial = 0xEDB88320;

// CrcSlices[k - 1][n] is the register change of byte n followed by k zero
// bytes: (T[n] >> 8k) folded k more times through the byte-wise table T.
// Eight bytes at a time, the byte j places before the last then contributes
// its entry of the table for j, and the eight look-ups are independent.
static uint32_t CrcSlices[7][256];

// Long buffers go in braids: kCrcLanes words side by side make a block, and
// each lane keeps a register of its own over its words, one block apart,
// so that the lanes' look-ups do not wait for one another (one lane alone
// waits for its previous word each time). CrcBraid[k][n] is the register
// change of byte n at place k of a word followed by the rest of its block
// and the lane's place in the next block: the register the lane then
// folds into its next word. Machine words: 8 bytes on 64-bit targets.
// All of these tables live beside the byte-wise one, which they are
// derived from; in the stub they take room in memory only, not in the
// image.
typedef uintptr_t CrcWord;
enum : uint32_t {
    kCrcLanes = 5,
    kCrcWordBytes = sizeof(CrcWord),
    kCrcBlockBytes = kCrcLanes * kCrcWordBytes,
};
static uint32_t CrcBraid[kCrcWordBytes][256];

// The register after `zeros` zero bytes.
static uint32_t ShiftThroughZeros(const uint32_t* table, uint32_t x, uint32_t zeros) {
    for (; zeros > 0; --zeros) x = table[x & 0xFF] ^ (x >> 8);
    return x;
}

void BuildCrcTable() {
    uint32_t* table = Sfx.CrcTable;
    for (uint32_t entry = 0; entry < 256; ++entry) {
        uint32_t x = entry;
        for (int bit = 0; bit < 8; ++bit) x = (x & 1) ? (x >> 1) ^ kReversedPolynomial : x >> 1;
        table[entry] = x;
    }
    for (uint32_t entry = 0; entry < 256; ++entry) {
        for (uint32_t k = 0; k < 7; ++k) CrcSlices[k][entry] = ShiftThroughZeros(table, table[entry], k + 1);
        for (uint32_t k = 0; k < kCrcWordBytes; ++k)
            CrcBraid[k][entry] = ShiftThroughZeros(table, table[entry], kCrcBlockBytes - 1 - k);
    }
}

uint32_t UpdateCrc(uint8_t byte, uint32_t crc) {
    return Sfx.CrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "words are loaded little-endian");

static inline uint32_t LoadLittleEndian32(const uint8_t* at) {
    uint32_t word;
    memcpy(&word, at, sizeof word);
    return word;
}

static inline CrcWord LoadCrcWord(const uint8_t* at) {
    CrcWord word;
    memcpy(&word, at, sizeof word);
    return word;
}

// Eight bytes at a time through the slices, the rest byte by byte.
static uint32_t SliceBytes(const uint8_t* bytes, uint32_t count, uint32_t value) {
    const uint32_t* table = Sfx.CrcTable;
    for (; count >= 8; count -= 8, bytes += 8) {
        // The register meets the first four bytes; the next four enter
        // unchanged. Byte i of the eight is folded through 7 - i zero bytes.
        uint32_t low = value ^ LoadLittleEndian32(bytes);
        uint32_t high = LoadLittleEndian32(bytes + 4);
        value = CrcSlices[6][low & 0xFF] ^ CrcSlices[5][(low >> 8) & 0xFF] ^
                CrcSlices[4][(low >> 16) & 0xFF] ^ CrcSlices[3][low >> 24] ^
                CrcSlices[2][high & 0xFF] ^ CrcSlices[1][(high >> 8) & 0xFF] ^
                CrcSlices[0][(high >> 16) & 0xFF] ^ table[high >> 24];
    }
    for (; count > 0; --count) value = table[(value ^ *bytes++) & 0xFF] ^ (value >> 8);
    return value;
}

// The register change of one lane's word: each byte through its table.
static inline CrcWord BraidWord(CrcWord word) {
    CrcWord change = 0;
#pragma GCC unroll 8
    for (uint32_t k = 0; k < kCrcWordBytes; ++k) change ^= CrcBraid[k][(word >> (8 * k)) & 0xFF];
    return change;
}

void UpdateCrcBuffer(const uint8_t* bytes, int32_t count, uint32_t& crc) {
    if (count <= 0) return;
    uint32_t left = (uint32_t)count;
    uint32_t value = crc;
    if (left >= 2 * kCrcBlockBytes) {
        // All blocks but the last in braids; the register starts in lane 0.
        CrcWord lane[kCrcLanes] = {value};
        for (uint32_t blocks = left / kCrcBlockBytes - 1; blocks > 0; --blocks) {
            // Unrolled, so that the lanes stay in registers.
#pragma GCC unroll 5
            for (uint32_t j = 0; j < kCrcLanes; ++j) lane[j] = BraidWord(lane[j] ^ LoadCrcWord(bytes + j * kCrcWordBytes));
            bytes += kCrcBlockBytes;
            left -= kCrcBlockBytes;
        }
        // The last block, its words with the lanes' registers folded in,
        // goes through one register from zero, in order.
        uint8_t last[kCrcBlockBytes];
        for (uint32_t j = 0; j < kCrcLanes; ++j) {
            CrcWord word = lane[j] ^ LoadCrcWord(bytes + j * kCrcWordBytes);
            memcpy(last + j * kCrcWordBytes, &word, sizeof word);
        }
        value = SliceBytes(last, kCrcBlockBytes, 0);
        bytes += kCrcBlockBytes;
        left -= kCrcBlockBytes;
    }
    crc = SliceBytes(bytes, left, value);
}

uint32_t CrcOfBytes(const uint8_t* bytes, uint32_t length) {
    uint32_t crc = 0xFFFFFFFF;
    for (uint32_t chunk; length > 0; bytes += chunk, length -= chunk) {
        chunk = length < 0x40000000 ? length : 0x40000000;
        UpdateCrcBuffer(bytes, (int32_t)chunk, crc);
    }
    return crc ^ 0xFFFFFFFF;
}
