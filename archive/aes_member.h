#pragma once
// AES-encrypted members (WinZip's AE-1 and AE-2): compression method 99
// with an extra field 0x9901 naming the key strength and the real method;
// before the data a salt (8, 12 or 16 bytes) and a 2-byte password
// verifier, after it a 10-byte authentication code (HMAC-SHA1 over the
// encrypted data). Keys come from PBKDF2-HMAC-SHA1 with 1,000 iterations.
#include <stdint.h>

#include "archive/zip_format.h"

struct AesMember {
    uint16_t version;  // 1 (AE-1: the CRC is checked too) or 2 (AE-2: no CRC)
    uint8_t strength;  // 1, 2, 3: 128, 192, 256-bit keys
    uint16_t method;   // the real compression method
};

// The one decision whether a member is AES-encrypted: its header's
// `method` is 99, its `flags` say it is encrypted (bit 0), and `extra`
// holds a complete 0x9901 field of vendor "AE", version 1 or 2, strength 1
// to 3 and a real method of stored or deflated. Any other member of method
// 99 has a method nothing here can decode.
bool FindAesField(uint16_t method, uint16_t flags, const uint8_t* extra, uint32_t extraLength, AesMember& member);

// What the password step of an AES member ends with.
enum AesStepOutcome {
    kAesReady,        // keys derived, the data authenticated, the archive at the first data byte
    kAesNoPassword,   // three typed passwords failed the verifier: the walk ends
    kAesUnauthentic,  // the authentication code does not match: the member fails
    kAesUnavailable,  // the system has no AES (a box has said so): the member fails
};

// Reads the salt and verifier at the archive position (the member's data
// position), finds a password (FindPassword: the remembered one first
// unless `askFirst`, then up to three typed ones, each in all its forms),
// checks the authentication code over all the encrypted data, and starts
// the key stream. Sfx.CompressedLeft is left at the encrypted data's size.
AesStepOutcome PrepareAesMember(const AesMember& member, uint32_t dataPosition, bool askFirst);
