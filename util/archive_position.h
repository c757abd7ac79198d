#pragma once
// Positioning of the archive file, the program's own executable.
#include <stdint.h>

// Moves the file pointer of Sfx.ArchiveHandle by `distance` bytes from the
// start (0), the current position (1) or the end (2), and records the
// position the system reports in Sfx.ArchivePosition. Returns -1 when the
// move failed, 0 otherwise.
int32_t SeekArchive(int32_t distance, uint16_t moveMethod);
