#include "util/subdirectory.h"

#include <string.h>

#include "platform/platform.h"
#include "util/paths.h"
#include "util/text.h"

static void CreateBelow(const char* base, const char* name, uint32_t nameLength) {
    uint32_t baseLength = TextLength(base);
    Text full = MakeText(0, baseLength + nameLength);
    if (!full.bytes) return;
    memcpy(full.bytes, base, baseLength);
    memcpy(full.bytes + baseLength, name, nameLength);
    CreateDirectoryPath(full);
    ReleaseText(full);
}

// Tests "<name>\" relative to the current directory (the base), so that
// only a directory counts, and enters it.
static bool EnterIfDirectory(const char* name, uint32_t nameLength) {
    Text probe = MakeText(0, nameLength + 1);
    if (!probe.bytes) return false;
    memcpy(probe.bytes, name, nameLength);
    probe.bytes[nameLength] = '\\';
    bool exists = PathExists(probe.bytes);
    ReleaseText(probe);
    if (exists) EnterDirectory(name);
    return exists;
}

bool MakeSubdirectory(const char* base, const char* name) {
    Text typed = TextFromBuffer(name, TextLength(name));
    bool made = false;
    uint32_t skipped = 0;
    // "/new" or "\\new" means "new" below the base, not at the root of the drive.
    while (skipped < typed.length && IsPathSeparator(typed.bytes[skipped])) ++skipped;
    bool acceptable = skipped < typed.length && !memchr(typed.bytes, ':', typed.length);
    if (acceptable) {
        // The rest of the name ends where the typed text does, with its NUL.
        const char* rest = typed.bytes + skipped;
        CreateBelow(base, rest, typed.length - skipped);
        made = EnterIfDirectory(rest, typed.length - skipped);
    }
    ReleaseText(typed);
    return made;
}
