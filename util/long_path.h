#pragma once
// The form of a full path that the system's file calls take whatever its
// length. A plain path must be shorter than MAX_PATH (260 units with its
// terminator, so 259 at most; CreateDirectoryW takes 247 at most, leaving
// room for an 8.3 name inside). A longer one is written in the extended
// form, "\\?\C:\..." or "\\?\UNC\server\share\...", which reaches 32,767
// units but which Windows takes literally: no "/" becomes "\" and no "." or
// ".." is resolved. So the path is normalised here first, for the plain
// form too, and the extended form is only ever made from a normalised full
// path, never from a member's name as the archive gives it.
#include <stdint.h>

// A unit of a wide path: WCHAR in the stub, char16_t natively (the tests).
#ifdef _WIN32
typedef wchar_t PathUnit;
#else
typedef char16_t PathUnit;
#endif

enum : uint32_t {
    kLongestPlainPath = 259,
    kLongestPlainDirectory = 247,
    kLongestSystemPath = 32767,  // the extended form's limit, its prefix included
    kExtendedPrefixGrowth = 6,   // "\\?\UNC\" in the place of "\\"
};

// Whether `path` (`length` units) is a full path, with a drive or a share,
// that the plain form takes as it is: no longer than `longestPlain`, as
// normalising never lengthens it and Windows normalises a plain path
// itself.
bool IsShortFullPath(const PathUnit* path, uint32_t length, uint32_t longestPlain);

// Normalises the full path in `path` (`length` units, in a buffer of
// `capacity` units) in place: "/" becomes "\", empty and "." components go,
// ".." takes the component before it away (never the drive or the share),
// and a trailing separator stays. When the result is longer than
// `longestPlain` units it is put in the extended form. Returns its length,
// NUL-terminated; 0 when `path` is no full path (a drive letter, ":" and a
// separator, or "\\server\share"), or the extended form would be longer
// than kLongestSystemPath or not fit `capacity`. A path already in the
// "\\?\" or "\\.\" form is left as it is.
uint32_t SystemPathForm(PathUnit* path, uint32_t length, uint32_t capacity, uint32_t longestPlain);
