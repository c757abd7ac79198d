#pragma once
// The byte plumbing of one member: its compressed bytes in, buffered and
// decrypted under the budget Sfx.CompressedLeft; the inflate window out to
// Sfx.OutputHandle; and the copy of a stored member. Every byte that
// reaches the output file, and only such a byte, is folded into
// Sfx.RunningCrc, so the CRC comparison judges the file as written.
#include <stdint.h>

#include "startup/sfx_globals.h"

enum : uint32_t {
    kChunkSize = 32768,               // the largest single read or write
    kChunkBufferSize = kChunkSize + 2,  // buffers are 2 bytes larger than their chunk
};

// The member's output is bounded by Sfx.OutputLeft: bytes beyond it are not
// written (nor folded into the CRC) and set Sfx.OutputOverrun, so that a
// member cannot write more than its header declares.

// Buffered input of a deflated member. InputBuffer holds InputCount bytes
// from the last read, already decrypted; InputPos is the next to hand out.
// Bytes not yet handed out never exceed the budget: a read asks for no more
// than Sfx.CompressedLeft, which counts every byte not yet handed out.
struct CompressedInput {
    uint8_t* InputBuffer;
    uint32_t InputCount;
    uint16_t InputPos;
};
extern CompressedInput Input;

// Allocates InputBuffer and empties it, so that the first byte asked for
// triggers a read; false when there is no memory.
bool StartCompressedInput();
// Releases InputBuffer.
void EndCompressedInput();

// Reads the next chunk and hands out its first byte; -1 when the read
// delivers nothing, which also ends the budget.
int32_t RefillCompressedInput();

// The member's next compressed byte (0 to 255), decrypted; -1 (all bits
// set) once the budget is used up, without reading anything.
inline int32_t NextCompressedByte() {
    if (Sfx.CompressedLeft == 0) return -1;
    if (Input.InputPos >= Input.InputCount) return RefillCompressedInput();
    --Sfx.CompressedLeft;
    return Input.InputBuffer[Input.InputPos++];
}

// Direct access for decoders that take many bytes at once: the bytes
// buffered and not yet handed out, and handing out `count` of them.
inline uint32_t BufferedInputCount() { return Input.InputCount - Input.InputPos; }
inline const uint8_t* BufferedInput() { return Input.InputBuffer + Input.InputPos; }
inline void ConsumeBufferedInput(uint32_t count) {
    Input.InputPos = (uint16_t)(Input.InputPos + count);
    Sfx.CompressedLeft -= count;
}

// Writes the first `count` bytes of the window to the output file and
// folds the bytes the file took into the running CRC.
void FlushWindow(const uint8_t* window, uint32_t count);

// Copies the member's Sfx.CompressedLeft bytes from the archive to the
// output file in chunks, decrypting them when the member is encrypted.
void CopyStoredMember();
