#include "util/archive_position.h"

#include "platform/platform.h"
#include "startup/sfx_globals.h"

int32_t SeekArchive(int32_t distance, uint16_t moveMethod) {
    Sfx.ArchivePosition = SetFilePosition(Sfx.ArchiveHandle, distance, moveMethod);
    // 0xFFFFFFFF is also a real position; only the error code tells them apart.
    if (Sfx.ArchivePosition == kInvalidPosition && LastSystemError() != 0) return -1;
    return 0;
}
