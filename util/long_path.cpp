#include "util/long_path.h"

#include <string.h>

static bool IsSeparator(PathUnit unit) { return unit == '\\' || unit == '/'; }

// Where the first separator at or after `at` stands; `length` when none.
static uint32_t NextSeparator(const PathUnit* path, uint32_t at, uint32_t length) {
    while (at < length && !IsSeparator(path[at])) ++at;
    return at;
}

// Units of the root no ".." may climb above, without a separator after it:
// "C:" or "\\server\share". 0 when the path has neither.
static uint32_t RootLength(const PathUnit* path, uint32_t length) {
    PathUnit letter = (PathUnit)(path[0] | 0x20);
    if (length >= 3 && letter >= 'a' && letter <= 'z' && path[1] == ':' && IsSeparator(path[2])) return 2;
    if (length < 5 || !IsSeparator(path[0]) || !IsSeparator(path[1])) return 0;
    uint32_t serverEnd = NextSeparator(path, 2, length);
    uint32_t shareEnd = serverEnd < length ? NextSeparator(path, serverEnd + 1, length) : length;
    return serverEnd > 2 && shareEnd > serverEnd + 1 ? shareEnd : 0;
}

bool IsShortFullPath(const PathUnit* path, uint32_t length, uint32_t longestPlain) {
    return length <= longestPlain && RootLength(path, length) > 0;
}

static bool IsDots(const PathUnit* part, uint32_t units, uint32_t dots) {
    if (units != dots) return false;
    for (uint32_t at = 0; at < units; ++at)
        if (part[at] != '.') return false;
    return true;
}

// Rewrites the components after the root in place; the new length. The
// write position never passes the read position, as every component is
// written with the one separator that stood before it.
static uint32_t NormaliseComponents(PathUnit* path, uint32_t root, uint32_t length) {
    bool trailingSeparator = IsSeparator(path[length - 1]);
    uint32_t written = root;
    for (uint32_t at = root; at < length;) {
        uint32_t end = NextSeparator(path, at + 1, length);
        const PathUnit* part = path + at + 1;
        uint32_t units = end - at - 1;
        if (IsDots(part, units, 2)) {
            while (written > root && path[written - 1] != '\\') --written;
            if (written > root) --written;  // the separator before the dropped component
        } else if (units > 0 && !IsDots(part, units, 1)) {
            path[written] = '\\';
            memmove(path + written + 1, part, units * sizeof(PathUnit));
            written += 1 + units;
        }
        at = end;
    }
    bool bareDrive = path[1] == ':' && written == root;  // "C:" alone is no full path
    if (trailingSeparator || bareDrive) path[written++] = '\\';
    return written;
}

static bool HasPrefix(const PathUnit* path, uint32_t length, const char* prefix) {
    for (uint32_t at = 0; prefix[at]; ++at)
        if (at >= length || path[at] != (PathUnit)prefix[at]) return false;
    return true;
}

uint32_t SystemPathForm(PathUnit* path, uint32_t length, uint32_t capacity, uint32_t longestPlain) {
    if (length >= capacity) return 0;
    if (HasPrefix(path, length, "\\\\?\\") || HasPrefix(path, length, "\\\\.\\")) return length;
    for (uint32_t at = 0; at < length; ++at)
        if (path[at] == '/') path[at] = '\\';
    uint32_t root = RootLength(path, length);
    if (root == 0) return 0;
    length = NormaliseComponents(path, root, length);
    if (length > longestPlain) {
        // "\\?\" before a drive; "\\?\UNC" in the place of the first "\" of
        // "\\server\share".
        bool unc = path[1] != ':';
        const char* prefix = unc ? "\\\\?\\UNC" : "\\\\?\\";
        uint32_t prefixLength = unc ? 7 : 4, replaced = unc ? 1 : 0;
        uint32_t extended = prefixLength + length - replaced;
        if (extended > kLongestSystemPath || extended >= capacity) return 0;
        memmove(path + prefixLength, path + replaced, (length - replaced) * sizeof(PathUnit));
        for (uint32_t at = 0; at < prefixLength; ++at) path[at] = (PathUnit)prefix[at];
        length = extended;
    }
    path[length] = 0;
    return length;
}
