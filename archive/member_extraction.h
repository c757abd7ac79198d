#pragma once
#include "archive/pass_state.h"

// Writes one selected member below Sfx.ExtractDir: password, target path,
// existing-file policy, directories, decoding, CRC check and file time.
// Deselects the member's item when it is done.
MemberOutcome ExtractMember(PassState& pass);
