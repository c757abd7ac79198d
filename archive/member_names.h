#pragma once
// Which member names may be joined to the target directory.
#include "util/text.h"

// False for a name that would put a file outside the target directory: one
// that starts with "\" or "/", holds a ":" (a drive prefix, or an alternate
// data stream on Windows), or has a component of dots only with two or
// more of them ("..", and forms such as "..." or ". ." that Windows
// shortens to ".." by dropping trailing dots and blanks).
bool IsSafeMemberName(const Text& name);
