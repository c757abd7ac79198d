#pragma once
// The directories below the target that a pass has found to be plain
// directories, no links, so that each is looked at once per pass whatever
// order the archive lists its members in (under Wine each look costs a scan
// of a directory). The paths themselves are kept, not their hashes alone,
// so that no name can pass for another.
#include <stdint.h>

#include "util/text.h"

struct PlainDirectories {
    Text* slots;  // kPlainDirectorySlots, allocated with the first path
    uint32_t used;
};

// Whether the first `length` bytes of `path` name a directory found plain.
bool IsKnownPlain(const PlainDirectories& known, const char* path, uint32_t length);

// Keeps the first `length` bytes of `path` as a directory found plain. When
// memory is short, or the table is three quarters full, nothing is kept:
// the directory is then looked at again, which costs time only.
void RememberPlain(PlainDirectories& known, const char* path, uint32_t length);

void ReleasePlainDirectories(PlainDirectories& known);
