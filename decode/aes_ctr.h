#pragma once
// The counter mode of AES-encrypted ZIP members (WinZip's AE-1 and AE-2):
// the key stream is AES of a 16-byte counter, little-endian, starting at 1;
// encrypting and decrypting are the same XOR. Counter blocks are encrypted
// many at a time, since the system's AES is called per run of blocks.
#include <stdint.h>

#include "platform/platform.h"

struct AesCounterMode {
    CryptoHandle aes;      // null when no AES member is in hand
    uint64_t counter;      // the next counter block's value
    uint8_t* stream;       // key stream not yet used: stream[position, length)
    uint32_t position, length;
    bool failed;           // the system's AES failed: what was decrypted is wrong
};
extern AesCounterMode AesStream;

// Starts the key stream for a member with its AES key; false on failure
// (no memory, or the system's AES refused the key).
bool StartAesStream(const uint8_t* key, uint32_t keyLength);
void EndAesStream();

// XORs `count` bytes with the next bytes of the key stream.
bool ApplyAesStream(uint8_t* bytes, uint32_t count);
