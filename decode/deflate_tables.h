#pragma once
// The constant tables of the deflate format (RFC 1951, sections 3.2.5 and
// 3.2.7) in the form the decoder's table builder takes them.
#include <stdint.h>

enum : uint16_t {
    kLengthSymbolCount = 29,    // symbols 257 to 285; 286 and 287 stand for nothing
    kDistanceSymbolCount = 30,  // symbols 0 to 29
    kCodeLengthSymbolCount = 19,
};

// Base length and extra-bit count of literal/length symbols 257 to 285.
extern const uint16_t LengthBase[kLengthSymbolCount];
extern const uint8_t LengthExtra[kLengthSymbolCount];

// Base distance and extra-bit count of distance symbols 0 to 29.
extern const uint16_t DistanceBase[kDistanceSymbolCount];
extern const uint8_t DistanceExtra[kDistanceSymbolCount];

// BitMask[n] = 2^n - 1, for n from 0 to 16.
extern const uint16_t BitMask[17];

// The order in which a dynamic block lists its code-length code lengths.
extern const uint8_t CodeLengthOrder[kCodeLengthSymbolCount];
