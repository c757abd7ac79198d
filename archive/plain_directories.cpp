#include "archive/plain_directories.h"

#include <string.h>

#include "platform/platform.h"

static const uint32_t kPlainDirectorySlots = 4096;  // a power of two

// FNV-1a; the slot where a path's probe starts.
static uint32_t FirstSlot(const char* path, uint32_t length) {
    uint32_t hash = 2166136261u;
    for (uint32_t i = 0; i < length; ++i) hash = (hash ^ (uint8_t)path[i]) * 16777619u;
    return hash & (kPlainDirectorySlots - 1);
}

// The slot that holds the path, or the empty one where it would go.
static Text* SlotOf(const PlainDirectories& known, const char* path, uint32_t length) {
    for (uint32_t slot = FirstSlot(path, length);; slot = (slot + 1) & (kPlainDirectorySlots - 1)) {
        Text* entry = &known.slots[slot];
        if (!entry->bytes || (entry->length == length && memcmp(entry->bytes, path, length) == 0)) return entry;
    }
}

bool IsKnownPlain(const PlainDirectories& known, const char* path, uint32_t length) {
    return known.slots && SlotOf(known, path, length)->bytes;
}

void RememberPlain(PlainDirectories& known, const char* path, uint32_t length) {
    if (!known.slots) {
        known.slots = (Text*)AllocateBlock(kPlainDirectorySlots * sizeof(Text));
        if (!known.slots) return;
        memset(known.slots, 0, kPlainDirectorySlots * sizeof(Text));
    }
    if (known.used >= kPlainDirectorySlots / 4 * 3) return;
    Text* entry = SlotOf(known, path, length);
    if (entry->bytes) return;
    *entry = MakeText(path, length);
    if (entry->bytes) ++known.used;
}

void ReleasePlainDirectories(PlainDirectories& known) {
    if (known.slots)
        for (uint32_t slot = 0; slot < kPlainDirectorySlots; ++slot) ReleaseText(known.slots[slot]);
    ReleaseBlock(known.slots);
    known.slots = 0;
    known.used = 0;
}
