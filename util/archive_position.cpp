#include "util/archive_position.h"

#include "platform/platform.h"
#include "startup/sfx_globals.h"

int32_t SeekArchive(uint32_t position) {
    Sfx.ArchivePosition = SetFilePosition(Sfx.ArchiveHandle, position, kFromStart);
    // 0xFFFFFFFF is also a real position; only the error code tells them apart.
    if (Sfx.ArchivePosition == kInvalidPosition && LastSystemError() != 0) return -1;
    return 0;
}
