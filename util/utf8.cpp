#include "util/utf8.h"

// The continuation bytes a lead byte announces; 0xFF for a byte that cannot
// lead a sequence (continuation bytes, C0 and C1, which could only start
// overlong forms, and F5 to FF, which would go beyond U+10FFFF).
static uint32_t FollowingBytes(uint8_t lead) {
    if (lead < 0x80) return 0;
    if (lead >= 0xC2 && lead <= 0xDF) return 1;
    if (lead >= 0xE0 && lead <= 0xEF) return 2;
    if (lead >= 0xF0 && lead <= 0xF4) return 3;
    return 0xFF;
}

bool IsStrictUtf8(const char* bytes, uint32_t length) {
    // By the number of continuation bytes: the lead byte's value bits, and
    // the smallest code point the sequence may carry (below it, overlong).
    static const uint8_t kLeadBits[4] = {0x7F, 0x1F, 0x0F, 0x07};
    static const uint32_t kSmallest[4] = {0, 0x80, 0x800, 0x10000};
    const uint8_t* text = (const uint8_t*)bytes;
    for (uint32_t i = 0; i < length;) {
        uint32_t following = FollowingBytes(text[i]);
        if (following == 0xFF || following >= length - i) return false;
        uint32_t value = text[i] & kLeadBits[following];
        for (uint32_t k = 1; k <= following; ++k) {
            if ((text[i + k] & 0xC0) != 0x80) return false;
            value = value << 6 | (text[i + k] & 0x3F);
        }
        if (value < kSmallest[following] || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
            return false;
        i += following + 1;
    }
    return true;
}

bool HasNonAscii(const char* bytes, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i)
        if ((uint8_t)bytes[i] >= 0x80) return true;
    return false;
}
