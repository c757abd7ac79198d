#include "util/text.h"

#include "platform/platform.h"

void ReleaseText(Text& text) {
    ReleaseBlock(text.bytes);
    text.bytes = 0;
    text.length = 0;
}
