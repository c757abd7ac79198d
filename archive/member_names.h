#pragma once
// Which member names may be joined to the target directory.
#include "util/text.h"

// False for a name that would put a file outside the target directory or
// somewhere other than its name says: one that starts with "\" or "/";
// holds a ":" (a drive prefix, or an alternate data stream on Windows); has
// a component other than "." ending in a dot or a blank (Windows drops
// those, so ".." and forms such as "..." or ". ." climb up, and "a." would
// become "a"); or
// has a component that Windows takes for a device (CON, PRN, AUX, NUL,
// COM1 to COM9, LPT1 to LPT9, with or without an extension).
bool IsSafeMemberName(const Text& name);
