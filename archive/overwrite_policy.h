#pragma once
// The overwrite radio buttons of the main dialog and the modes they choose.
// The default stays a button's id (Sfx.DefaultOverwriteButton), as the
// dialog checks it; this is the one conversion from a button to its mode.
#include <stdint.h>

#include "startup/sfx_globals.h"
#include "ui/control_ids.h"

static_assert(IDC_OVERWRITE - IDC_OVERWRITE == kOverwrite, "the first button overwrites");
static_assert(IDC_SKIP - IDC_OVERWRITE == kSkip, "the second button skips");
static_assert(IDC_ASK - IDC_OVERWRITE == kAsk, "the third button asks");

// The mode that the button IDC_OVERWRITE, IDC_SKIP or IDC_ASK chooses.
inline uint8_t OverwriteModeOfButton(int button) { return (uint8_t)(button - IDC_OVERWRITE); }
