#pragma once
// Making a new subdirectory below the folder chosen as target directory.

// Creates `name` below `base` (a folder ending in "\", which must be the
// current directory), with every missing level when the name holds "\" or
// "/", and makes it the current directory. Leading separators of the name
// are ignored. Fails for a name with ":" anywhere, a name made only of
// separators, and a name whose directory does not exist afterwards (an
// existing file of that name, a character the file system refuses, no
// permission). Levels made before a later one failed stay.
bool MakeSubdirectory(const char* base, const char* name);
