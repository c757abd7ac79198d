#include "decode/zip_cipher.h"

#include "decode/crc32.h"
#include "startup/sfx_globals.h"

static const uint32_t kKeyMultiplier = 134775813;

void InitKeys(const Text& password) {
    Sfx.Key0 = 0x12345678;
    Sfx.Key1 = 0x23456789;
    Sfx.Key2 = 0x34567890;
    for (uint32_t i = 0; i < password.length; ++i) UpdateKeys((uint8_t)password.bytes[i]);
}

void UpdateKeys(uint8_t plain) {
    Sfx.Key0 = UpdateCrc(plain, Sfx.Key0);
    Sfx.Key1 = (Sfx.Key1 + (Sfx.Key0 & 0xFF)) * kKeyMultiplier + 1;
    Sfx.Key2 = UpdateCrc((uint8_t)(Sfx.Key1 >> 24), Sfx.Key2);
}

uint8_t DecryptByte() {
    uint16_t t = (uint16_t)((Sfx.Key2 & 0xFFFF) | 2);
    return (uint8_t)(((uint32_t)t * (t ^ 1)) >> 8);
}

uint8_t DecryptNext(uint8_t cipher) {
    uint8_t plain = cipher ^ DecryptByte();
    UpdateKeys(plain);
    return plain;
}

void DecryptBuffer(uint8_t* bytes, uint32_t count) {
    const uint32_t* table = Sfx.CrcTable;
    uint32_t key0 = Sfx.Key0, key1 = Sfx.Key1, key2 = Sfx.Key2;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t t = (key2 & 0xFFFF) | 2;
        uint8_t plain = bytes[i] ^ (uint8_t)((t * (t ^ 1)) >> 8);
        bytes[i] = plain;
        key0 = table[(key0 ^ plain) & 0xFF] ^ (key0 >> 8);
        key1 = (key1 + (key0 & 0xFF)) * kKeyMultiplier + 1;
        key2 = table[(key2 ^ (key1 >> 24)) & 0xFF] ^ (key2 >> 8);
    }
    Sfx.Key0 = key0;
    Sfx.Key1 = key1;
    Sfx.Key2 = key2;
}

bool CheckPasswordHeader(uint8_t* work, uint8_t headerLength, uint16_t flags, uint32_t crc,
                         uint32_t timeAndDate, const Text& password) {
    if (password.length == 0 || headerLength == 0) return false;
    InitKeys(password);
    for (uint8_t i = 0; i < headerLength; ++i) work[i] = DecryptNext(work[headerLength + i]);
    uint8_t checkByte = work[headerLength - 1];
    if (flags & kFlagSizesAfterData) return checkByte == (uint8_t)((timeAndDate & 0xFFFF) >> 8);
    return checkByte == (uint8_t)(crc >> 24);
}
