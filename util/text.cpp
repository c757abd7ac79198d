#include "util/text.h"

#include <string.h>

#include "platform/platform.h"

Text MakeText(const char* bytes, uint32_t length) {
    Text text = {0, 0};
    if (length == 0) return text;
    text.bytes = (char*)AllocateBlock(length + 1);
    if (!text.bytes) return text;
    if (bytes) memcpy(text.bytes, bytes, length);
    else memset(text.bytes, 0, length);
    text.bytes[length] = 0;
    text.length = length;
    return text;
}

void ReleaseText(Text& text) {
    ReleaseBlock(text.bytes);
    text.bytes = 0;
    text.length = 0;
}

uint16_t TextLength(const char* text) {
    uint16_t length = 0;
    while (length < 0xFFFF && text[length]) ++length;
    return length;
}

Text TextFromBuffer(const char* buffer, uint16_t count) {
    uint16_t length = 0;
    while (length < count && buffer[length]) ++length;
    return MakeText(buffer, length);
}
