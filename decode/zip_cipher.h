#pragma once
// The traditional ZIP stream cipher (PKWARE's, of the ZIP application
// note). Its three keys live in Sfx.Key0, Key1 and Key2; decrypting a byte
// is DecryptNext, which advances the keys with the plain byte.
#include <stdint.h>

#include "util/text.h"

// Sets the keys to their start values and advances them over every byte
// of the password.
void InitKeys(const Text& password);

// Advances the keys by one plain byte.
void UpdateKeys(uint8_t plain);

// The next key-stream byte, taken from Key2; the keys do not change.
uint8_t DecryptByte();

// Decrypts one cipher byte and advances the keys with the plain result.
uint8_t DecryptNext(uint8_t cipher);

// Decrypts `count` bytes in place, first to last: the same as DecryptNext
// on each, with the keys kept in registers over the whole run.
void DecryptBuffer(uint8_t* bytes, uint32_t count);

// Tests a password against a member's encryption header. `work` holds
// 2 * headerLength bytes, the raw header in its second half; the first
// half receives the decrypted header, the second is only read so the same
// area serves the next attempt. The check byte, the header's last, must
// equal the top byte of `crc`, or when bit 3 of `flags` is set (sizes and
// CRC come after the data) the high byte of the DOS time in the low half
// of `timeAndDate`. On success the keys stand right after the header. An
// empty password fails at once and leaves the keys alone.
bool CheckPasswordHeader(uint8_t* work, uint8_t headerLength, uint16_t flags, uint32_t crc,
                         uint32_t timeAndDate, const Text& password);
