#pragma once
// The archive-size check: a combined file that was cut short or extended
// no longer ends exactly where its end-of-central-directory record says.
#include <stdint.h>

#include "platform/platform.h"

// Whether the archive that starts at `archiveBase` of `archive` has an end
// record whose comment ends exactly at the end of the file. Only the last
// 65,558 bytes are searched, from their start; the first signature whose
// comment length fits decides. Moves the file pointer.
//
// A signed file carries a certificate table at its end, which the PE
// header's security directory names. When that table ends exactly at the
// end of the file and begins after `archiveBase`, the file also passes when
// the comment ends at the table's start, or up to 7 zero bytes before it
// (the signing tools align the table to 8 bytes). A table that lies
// anywhere else passes nothing beyond the plain check. The signature
// itself is not verified.
bool ArchiveSizeMatches(FileHandle archive, uint32_t archiveBase);

// Where the file's certificate table lies, as its PE header's security
// directory (data directory entry 4) gives it.
enum SignatureLayout {
    kNotSigned,         // no PE header, or an empty security directory
    kSigned,            // `start` and `size` hold the table's place
    kUnusableSecurity,  // the directory names a table outside the file
};
SignatureLayout FindCertificateTable(FileHandle file, uint32_t fileSize, uint32_t* start, uint32_t* size);

// Runs the check on Sfx.ArchiveHandle. On success sets Sfx.SizeChecked and
// leaves the archive right after the settings block's flags byte; on
// failure reports the damaged download and ends the process.
void CheckArchiveSize();
