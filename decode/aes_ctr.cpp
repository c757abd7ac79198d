#include "decode/aes_ctr.h"

#include <string.h>

AesCounterMode AesStream;

// Counter blocks made per call of the system's AES: 2,048 blocks, 32 KB,
// the size of a read.
enum : uint32_t { kAesBlock = 16, kStreamBlocks = 2048 };

bool StartAesStream(const uint8_t* key, uint32_t keyLength) {
    EndAesStream();
    AesStream.stream = (uint8_t*)AllocateBlock(2 * kStreamBlocks * kAesBlock);
    AesStream.aes = AesStream.stream ? StartAes(key, keyLength) : 0;
    AesStream.counter = 1;
    AesStream.position = AesStream.length = 0;
    if (AesStream.aes) return true;
    EndAesStream();
    return false;
}

void EndAesStream() {
    if (AesStream.aes) EndAes(AesStream.aes);
    ReleaseBlock(AesStream.stream);
    memset(&AesStream, 0, sizeof AesStream);
}

// Fills the key stream with the next run of encrypted counter blocks. The
// counters are written in the second half of the buffer, the key stream
// into the first.
static bool RefillStream() {
    uint8_t* counters = AesStream.stream + kStreamBlocks * kAesBlock;
    memset(counters, 0, kStreamBlocks * kAesBlock);
    for (uint32_t block = 0; block < kStreamBlocks; ++block, ++AesStream.counter)
        for (uint32_t i = 0; i < 8; ++i) counters[block * kAesBlock + i] = (uint8_t)(AesStream.counter >> (8 * i));
    AesStream.position = 0;
    AesStream.length = kStreamBlocks * kAesBlock;
    return EncryptAesBlocks(AesStream.aes, counters, AesStream.stream, kStreamBlocks);
}

bool ApplyAesStream(uint8_t* bytes, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        if (AesStream.position == AesStream.length && !RefillStream()) {
            AesStream.failed = true;
            return false;
        }
        bytes[i] ^= AesStream.stream[AesStream.position++];
    }
    return true;
}
