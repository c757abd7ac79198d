#include "util/paths.h"

#include <string.h>

#include "platform/platform.h"
#include "startup/sfx_globals.h"
#include "util/utf8.h"

static const uint32_t kLongestComponent = 255;

// Where a path is taken apart, ":" ends a drive prefix as a separator
// ends a component.
static bool EndsComponent(char c) { return IsPathSeparator(c) || c == ':'; }

uint32_t PathBufferLength(const char* path) {
    uint32_t length = 0;
    while (length < kPathBufferSize && path[length]) ++length;
    return length;
}

// 1-based position of the last separator, 0 when there is none.
static uint32_t LastSeparator(const char* bytes, uint32_t length) {
    while (length > 0 && !EndsComponent(bytes[length - 1])) --length;
    return length;
}

char* AddTrailingBackslash(char* path) {
    uint32_t length = PathBufferLength(path);
    if (length > 0 && path[length - 1] == '\\') return path;
    // No room for one more character, or for it and the NUL.
    if (Utf16Units(path, length) >= kLongestExtractDir || length + 2 > kPathBufferSize) return path;
    path[length] = '\\';
    path[length + 1] = 0;
    return path;
}

char* RemoveTrailingBackslash(char* path) {
    uint32_t length = PathBufferLength(path);
    if (length > 0 && path[length - 1] == '\\') path[length - 1] = 0;
    return path;
}

char* ToBackslashes(char* text) {
    for (char* c = text; *c; ++c)
        if (*c == '/') *c = '\\';
    return text;
}

// How many leading bytes of a path DirectoryPart keeps; never more than
// the path's own length.
static uint32_t DirectoryPartLength(const char* bytes, uint32_t length) {
    if (length == 3 && memchr(bytes, ':', 3)) return 3;  // a drive root stays whole
    uint32_t end = LastSeparator(bytes, length);
    if (end == 0) return 0;
    bool dropsSeparator = bytes[end - 1] != ':';
    bool isDriveRoot = end == 3 && bytes[1] == ':';
    return dropsSeparator && !isDriveRoot ? end - 1 : end;
}

Text DirectoryPart(const Text& path) {
    return MakeText(path.bytes, DirectoryPartLength(path.bytes, path.length));
}

Text FileNamePart(const Text& path) {
    uint32_t start = LastSeparator(path.bytes, path.length);
    uint32_t length = BytesWithinUnits(path.bytes + start, path.length - start, kLongestComponent);
    return MakeText(path.bytes + start, length);
}

PathKind KindOfPath(char* path) {
    uint32_t length = (uint32_t)strlen(path);
    if (length == 0 || path[length - 1] != '\\') ToBackslashes(path);
    return EntryAt(path);
}

bool PathExists(char* path) { return KindOfPath(path) != kNoEntry; }

// One directory of the chain: its length within the working copy, and the
// byte that the NUL ending it there replaced.
struct ChainLevel {
    uint32_t end;
    char replaced;
};

// Walks outward from the full path, cutting the working copy at each level,
// until a level exists, is too short to create, or cannot be taken apart
// any further. Returns how many levels were cut; `*missing` receives how
// many of them, innermost first, have to be created.
static uint32_t CutMissingLevels(char* copy, uint32_t end, ChainLevel* levels, uint32_t* missing) {
    uint32_t cut = 0;
    *missing = 0;
    for (;;) {
        if (end > 0 && copy[end - 1] == '\\') --end;
        if (end < 3) return cut;  // drive prefixes and one- or two-letter names
        levels[cut].end = end;
        levels[cut].replaced = copy[end];
        copy[end] = 0;
        ++cut;
        if (PathExists(copy)) return cut;
        ++*missing;
        uint32_t parentEnd = DirectoryPartLength(copy, end);
        // A path such as "dir\name:" is its own directory part; going on
        // would never end, so it is tried as it stands.
        if (parentEnd >= end) return cut;
        end = parentEnd;
    }
}

// Creates the cut levels from the outermost inward, restoring each time the
// byte that ended the level outside it. True when the innermost was made.
static bool MakeMissingLevels(char* copy, const ChainLevel* levels, uint32_t cut, uint32_t missing) {
    bool made = false;
    for (uint32_t level = missing; level-- > 0;) {
        if (level + 1 < cut) copy[levels[level + 1].end] = levels[level + 1].replaced;
        made = MakeDirectory(copy);
    }
    return made;
}

bool CreateDirectoryPath(const Text& path) {
    uint32_t length = 0;
    while (length < path.length && path.bytes[length]) ++length;
    if (length < 3) return false;
    Text copy = MakeText(path.bytes, length);
    ChainLevel* levels = (ChainLevel*)AllocateBlock((length + 1) * sizeof(ChainLevel));
    bool exists = false;
    if (copy.bytes && levels) {
        uint32_t missing;
        uint32_t cut = CutMissingLevels(copy.bytes, length, levels, &missing);
        exists = missing == 0 ? cut > 0 : MakeMissingLevels(copy.bytes, levels, cut, missing);
    }
    ReleaseBlock(levels);
    ReleaseText(copy);
    return exists;
}
