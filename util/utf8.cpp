#include "util/utf8.h"

uint32_t FollowingBytes(uint8_t lead) {
    if (lead < 0x80) return 0;
    if (lead >= 0xC2 && lead <= 0xDF) return 1;
    if (lead >= 0xE0 && lead <= 0xEF) return 2;
    if (lead >= 0xF0 && lead <= 0xF4) return 3;
    return kNotALeadByte;
}

bool IsStrictUtf8(const char* bytes, uint32_t length) {
    // By the number of continuation bytes: the lead byte's value bits, and
    // the smallest code point the sequence may carry (below it, overlong).
    static const uint8_t kLeadBits[4] = {0x7F, 0x1F, 0x0F, 0x07};
    static const uint32_t kSmallest[4] = {0, 0x80, 0x800, 0x10000};
    const uint8_t* text = (const uint8_t*)bytes;
    for (uint32_t i = 0; i < length;) {
        uint32_t following = FollowingBytes(text[i]);
        if (following == kNotALeadByte || following >= length - i) return false;
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

static bool IsContinuation(uint8_t byte) { return (byte & 0xC0) == 0x80; }

uint32_t Utf16Units(const char* utf8, uint32_t length) {
    uint32_t units = 0;
    for (uint32_t i = 0; i < length; ++i) {
        uint8_t byte = (uint8_t)utf8[i];
        if (!IsContinuation(byte)) units += byte >= 0xF0 ? 2 : 1;
    }
    return units;
}

uint32_t BytesWithinUnits(const char* utf8, uint32_t length, uint32_t units) {
    uint32_t end = 0, used = 0;
    while (end < length) {
        uint8_t lead = (uint8_t)utf8[end];
        uint32_t next = end + 1;
        while (next < length && IsContinuation((uint8_t)utf8[next])) ++next;
        used += lead >= 0xF0 ? 2 : 1;
        if (used > units) break;
        end = next;
    }
    return end;
}

// ---- Hangul composition -------------------------------------------------

enum : uint32_t {
    kLeadFirst = 0x1100, kLeadCount = 19,
    kVowelFirst = 0x1161, kVowelCount = 21,
    kTrailBefore = 0x11A7, kTrailCount = 28,  // index 0 is "no trailing consonant"
    kSyllableFirst = 0xAC00, kSyllableCount = kLeadCount * kVowelCount * kTrailCount,
};

// The code point of a three-byte sequence at `at`, or 0 when none is there.
// Every jamo and syllable is one.
static uint32_t ThreeByteCharacter(const uint8_t* at, uint32_t left) {
    if (left < 3 || (at[0] & 0xF0) != 0xE0 || !IsContinuation(at[1]) || !IsContinuation(at[2])) return 0;
    return (uint32_t)(at[0] & 0x0F) << 12 | (uint32_t)(at[1] & 0x3F) << 6 | (at[2] & 0x3F);
}

static void PutThreeBytes(uint8_t* at, uint32_t character) {
    at[0] = (uint8_t)(0xE0 | character >> 12);
    at[1] = (uint8_t)(0x80 | (character >> 6 & 0x3F));
    at[2] = (uint8_t)(0x80 | (character & 0x3F));
}

static bool InRange(uint32_t character, uint32_t first, uint32_t count) {
    return character >= first && character < first + count;
}

// The syllable without trailing consonant that starts at `at` (a lead and
// a vowel, or a precomposed one), 0 when none; `*used` takes its bytes.
static uint32_t OpenSyllable(const uint8_t* at, uint32_t left, uint32_t* used) {
    uint32_t first = ThreeByteCharacter(at, left);
    *used = 3;
    if (InRange(first, kSyllableFirst, kSyllableCount) && (first - kSyllableFirst) % kTrailCount == 0) return first;
    if (!InRange(first, kLeadFirst, kLeadCount)) return 0;
    uint32_t vowel = ThreeByteCharacter(at + 3, left - 3);
    if (!InRange(vowel, kVowelFirst, kVowelCount)) return 0;
    *used = 6;
    return kSyllableFirst + ((first - kLeadFirst) * kVowelCount + (vowel - kVowelFirst)) * kTrailCount;
}

uint32_t ComposeHangulJamo(char* utf8, uint32_t length) {
    uint8_t* text = (uint8_t*)utf8;
    uint32_t in = 0, out = 0;
    while (in < length) {
        uint32_t used;
        uint32_t syllable = OpenSyllable(text + in, length - in, &used);
        if (syllable == 0) {
            text[out++] = text[in++];
            continue;
        }
        uint32_t trail = ThreeByteCharacter(text + in + used, length - in - used);
        if (InRange(trail, kTrailBefore + 1, kTrailCount - 1)) {
            syllable += trail - kTrailBefore;
            used += 3;
        }
        PutThreeBytes(text + out, syllable);
        out += 3;
        in += used;
    }
    return out;
}
