#pragma once
// The archive-size check: a combined file that was cut short or extended
// no longer ends exactly where its end-of-central-directory record says.
#include <stdint.h>

#include "platform/platform.h"

// Whether the archive that starts at `archiveBase` of `archive` has an end
// record whose comment ends exactly at the end of the file. Only the last
// 65,558 bytes are searched, from their start; the first signature whose
// comment length fits decides. Moves the file pointer.
bool ArchiveSizeMatches(FileHandle archive, uint32_t archiveBase);

// Runs the check on Sfx.ArchiveHandle. On success sets Sfx.SizeChecked and
// leaves the archive right after the settings block's flags byte; on
// failure reports the damaged download and ends the process.
void CheckArchiveSize();
