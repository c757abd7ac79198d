#pragma once
// Positioning of the archive file, the program's own executable.
#include <stdint.h>

// Moves the file pointer of Sfx.ArchiveHandle to `position` bytes from the
// start (any offset below 4 GiB), and records the position the system
// reports in Sfx.ArchivePosition. Returns -1 when the move failed, 0
// otherwise.
int32_t SeekArchive(uint32_t position);
