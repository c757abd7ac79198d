#pragma once
// Counted text: the program's ordinary string type. It may hold any byte,
// including NUL, owns its bytes on the heap and is released explicitly
// (texts live in the global Sfx too, whose destructor a static constructor
// would have to register, and the stub runs none).
// A text with bytes always has a NUL after its last byte as well, so that
// it can be handed to the system as it is.
#include <stdint.h>

struct Text {
    char* bytes;      // null when empty
    uint32_t length;  // number of bytes in `bytes`
};

// A new text holding a copy of `length` bytes, or that many zero bytes
// when `bytes` is null; empty when `length` is 0 or no memory can be had.
Text MakeText(const char* bytes, uint32_t length);

// Frees the bytes and leaves the text empty; safe on an empty text.
void ReleaseText(Text& text);

// Number of bytes before the first NUL, counted as an unsigned 16-bit
// number: a longer text counts as 65,535 rather than wrapping round.
uint16_t TextLength(const char* text);

// A new text of the first `count` bytes of `buffer`, cut before a NUL among
// them. Reads no further than that NUL.
Text TextFromBuffer(const char* buffer, uint16_t count);
