#include "decode/crc32.h"

#include <string.h>

#include "startup/sfx_globals.h"

#if defined(__x86_64__)
#include <cpuid.h>
#include <emmintrin.h>
#include <wmmintrin.h>
#define DOROMI_CRC_CARRYLESS 1
#endif

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

#ifdef DOROMI_CRC_CARRYLESS
// On x86-64 processors with carry-less multiplication (PCLMULQDQ), long
// buffers are folded 64 bytes at a time: four 128-bit lanes, each multiplied
// by x^k mod P for the distance it moves and added to the data there, then
// folded into one, reduced to 64 and to 32 bits, the last step by Barrett
// reduction. The constants are x^k mod P for the k named, bit-reflected
// and shifted left by one as the reflected domain wants; `barrett` holds
// x^64 / P and the polynomial itself, both reflected.
static bool CrcCarryless;  // whether the processor has it; set by BuildCrcTable

static inline __m128i Load128(const uint8_t* at) { return _mm_loadu_si128((const __m128i*)at); }

// A lane moved by the distance `by` stands for, added to the data there.
__attribute__((target("pclmul"))) static inline __m128i Fold(__m128i lane, __m128i by, __m128i data) {
    return _mm_xor_si128(
        _mm_xor_si128(_mm_clmulepi64_si128(lane, by, 0x00), _mm_clmulepi64_si128(lane, by, 0x11)), data);
}

// `count` is 64 or more and a multiple of 16.
__attribute__((target("pclmul"))) static uint32_t FoldCarryless(const uint8_t* bytes, uint32_t count,
                                                                 uint32_t crc) {
    const __m128i fold4 = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);  // x^(512-32), x^(512+32)
    const __m128i fold1 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);  // x^(128-32), x^(128+32)
    const __m128i fold64 = _mm_set_epi64x(0, 0x163cd6124);           // x^64
    const __m128i barrett = _mm_set_epi64x(0x1f7011641, 0x1db710641);
    const __m128i low32 = _mm_set_epi32(0, ~0, 0, ~0);
    __m128i a = _mm_xor_si128(Load128(bytes), _mm_cvtsi32_si128((int)crc));
    __m128i b = Load128(bytes + 16), c = Load128(bytes + 32), d = Load128(bytes + 48);
    for (bytes += 64, count -= 64; count >= 64; bytes += 64, count -= 64) {
        a = Fold(a, fold4, Load128(bytes));
        b = Fold(b, fold4, Load128(bytes + 16));
        c = Fold(c, fold4, Load128(bytes + 32));
        d = Fold(d, fold4, Load128(bytes + 48));
    }
    a = Fold(Fold(Fold(a, fold1, b), fold1, c), fold1, d);
    for (; count >= 16; bytes += 16, count -= 16) a = Fold(a, fold1, Load128(bytes));

    // 128 bits to 64, with 32 zero bits appended, then to 32 bits.
    a = _mm_xor_si128(_mm_srli_si128(a, 8), _mm_clmulepi64_si128(a, fold1, 0x10));
    a = _mm_xor_si128(_mm_srli_si128(a, 4), _mm_clmulepi64_si128(_mm_and_si128(a, low32), fold64, 0x00));
    __m128i quotient = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(a, low32), barrett, 0x10), low32);
    a = _mm_xor_si128(a, _mm_clmulepi64_si128(quotient, barrett, 0x00));
    return (uint32_t)_mm_cvtsi128_si32(_mm_srli_si128(a, 4));
}

static bool HasCarryless() {
    unsigned eax, ebx, ecx, edx;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (ecx & bit_PCLMUL);
}
#endif

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
    UseCarrylessCrc(true);
}

bool UseCarrylessCrc(bool wanted) {
#ifdef DOROMI_CRC_CARRYLESS
    CrcCarryless = wanted && HasCarryless();
    return CrcCarryless;
#else
    return wanted && false;
#endif
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
#ifdef DOROMI_CRC_CARRYLESS
    if (CrcCarryless && left >= 64) {
        uint32_t folded = left & ~15u;
        value = FoldCarryless(bytes, folded, value);
        bytes += folded;
        left -= folded;
    }
#endif
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
