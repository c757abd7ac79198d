#include "decode/member_io.h"

#include "decode/aes_ctr.h"
#include "decode/crc32.h"
#include "decode/zip_cipher.h"

CompressedInput Input;

// Decrypts bytes as they arrive: with the AES key stream when an AES
// member is in hand, with the traditional cipher otherwise.
static void DecryptArrived(uint8_t* bytes, uint32_t count) {
    if (!(Sfx.Header.flags & kFlagEncrypted)) return;
    if (AesStream.aes) ApplyAesStream(bytes, count);
    else DecryptBuffer(bytes, count);
}

// The size of the next read: the budget, at most one chunk, 0 when spent.
static uint32_t NextChunkSize() {
    return Sfx.CompressedLeft < kChunkSize ? Sfx.CompressedLeft : kChunkSize;
}

// Writes bytes to the output file, no more than the member may, and folds
// into the CRC exactly the bytes the file took: a short or failed write
// leaves the CRC of the member short of those bytes, so the CRC comparison
// fails.
static void WriteAndFoldCrc(const uint8_t* bytes, uint32_t count) {
    if (count > Sfx.OutputLeft) {
        count = Sfx.OutputLeft;
        Sfx.OutputOverrun = true;
    }
    Sfx.OutputLeft -= count;
    if (count == 0) return;
    uint32_t written = WriteToFile(Sfx.OutputHandle, bytes, count);
    if (written > count) written = count;
    UpdateCrcBuffer(bytes, (int32_t)written, Sfx.RunningCrc);
}

bool StartCompressedInput() {
    Input.InputCount = 0;
    Input.InputPos = 0;
    Input.InputBuffer = (uint8_t*)AllocateBlock(kChunkBufferSize);
    return Input.InputBuffer != nullptr;
}

void EndCompressedInput() {
    ReleaseBlock(Input.InputBuffer);
    Input.InputBuffer = nullptr;
    Input.InputCount = 0;
    Input.InputPos = 0;
}

int32_t RefillCompressedInput() {
    uint32_t arrived = ReadFromFile(Sfx.ArchiveHandle, Input.InputBuffer, NextChunkSize());
    DecryptArrived(Input.InputBuffer, arrived);
    Input.InputCount = arrived;
    Input.InputPos = 0;
    if (arrived == 0) {  // end of file or a read error: the member has no more bytes
        Sfx.CompressedLeft = 0;
        return -1;
    }
    Input.InputPos = 1;
    --Sfx.CompressedLeft;
    return Input.InputBuffer[0];
}

void FlushWindow(const uint8_t* window, uint32_t count) { WriteAndFoldCrc(window, count); }

void CopyStoredMember() {
    uint8_t* buffer = (uint8_t*)AllocateBlock(NextChunkSize() + 2);
    if (!buffer) return;  // nothing written: the member fails its CRC comparison
    while (Sfx.CompressedLeft != 0) {
        uint32_t arrived = ReadFromFile(Sfx.ArchiveHandle, buffer, NextChunkSize());
        if (arrived == 0) break;  // truncated or unreadable archive: bytes still owed never come
        Sfx.CompressedLeft -= arrived;
        DecryptArrived(buffer, arrived);
        WriteAndFoldCrc(buffer, arrived);
    }
    ReleaseBlock(buffer);
}
