#pragma once
// The core's shared state (Sfx) as the tool uses it: reset between uses,
// with the CRC table the cipher and the CRC routines need, and files
// opened through the core's own platform seam.
#include <string>

#include "platform/platform.h"

// Gives Sfx the CRC table (made on the first call and kept for the rest of
// the run) without touching the rest of the state.
void EnsureCrcTable();

// Resets Sfx to its initial values and gives it a filled CRC table, made
// on the first call and kept for the rest of the run.
void PrepareCoreState();

// A file opened for reading the way the stub opens its own executable, so
// that the core reads it exactly as it would there. kInvalidFile when it
// cannot be opened.
FileHandle OpenWithCore(const std::string& nativePath);
