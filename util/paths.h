#pragma once
// Taking paths apart, testing whether they exist and creating directory
// chains. "\", "/" and ":" all end a component when a path is taken apart;
// the trailing-separator operations and CreateDirectoryPath look only at "\".
#include "platform/platform.h"
#include "util/text.h"

// "\" and "/" both separate the components of a path.
inline bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

// Length in bytes of the text in a path buffer (kPathBufferSize bytes),
// never looking past it.
uint32_t PathBufferLength(const char* path);

// Appends "\" to the text in a path buffer unless it already ends with
// one. A text of 255 characters (UTF-16 units, ExtractDir's limit) has no
// room left and stays as it is.
char* AddTrailingBackslash(char* path);

// Removes one trailing "\" from the text in a path buffer, also from a
// drive root ("C:\" becomes "C:").
char* RemoveTrailingBackslash(char* path);

// Turns every "/" of a NUL-terminated text into "\", in place.
char* ToBackslashes(char* text);

// The directory that holds the named file or directory: the path up to its
// last separator, which is dropped unless it is the "\" of a drive root.
Text DirectoryPart(const Text& path);

// The last component of a path, at most 255 characters (UTF-16 units, cut
// on a character boundary); empty when the path ends with a separator.
Text FileNamePart(const Text& path);

// What exists at exactly this path: nothing, a file or a directory;
// wildcards match nothing. A path ending with "\" asks whether that
// directory exists; any other path has its "/" turned into "\" in place
// first.
PathKind KindOfPath(char* path);

// Whether a file or directory exists at the path, taken as KindOfPath takes it.
bool PathExists(char* path);

// Creates every missing directory of a path, outermost first. True when the
// directory is known to exist afterwards: found at once, or its innermost
// level made. False proves nothing (a level may have been made meanwhile,
// or the path be one that cannot be taken apart): callers then test the
// outcome with PathExists.
bool CreateDirectoryPath(const Text& path);
