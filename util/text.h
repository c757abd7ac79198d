#pragma once
// Counted text: the program's ordinary string type. It may hold any byte,
// including NUL, owns its bytes on the heap and is released explicitly
// (the stub has no C++ runtime library, so there is no destructor magic).
#include <stdint.h>

struct Text {
    char* bytes;      // null when empty
    uint32_t length;  // number of bytes in `bytes`
};

// Frees the bytes and leaves the text empty; safe on an empty text.
void ReleaseText(Text& text);
