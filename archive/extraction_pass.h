#pragma once
// The walk over the archive's local headers, from Sfx.ArchiveBase to the
// first position that holds no local header. The central directory is
// never read: every fact about a member comes from its local header.
#include "platform/platform.h"

// Lists every member's name in the dialog's list `listId` (list-only), or
// extracts every member selected in that list below Sfx.ExtractDir.
void ExtractionPass(WindowHandle dialog, int listId, bool listOnly);

// Reads the next local header into Sfx.Header, skipping data descriptors
// that stand before it, and sets Sfx.CompressedLeft. False when the
// position holds no complete local header.
bool ReadLocalHeader();
