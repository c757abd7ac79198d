#pragma once
// What one extraction pass knows about the member in hand. Shared by the
// walk and the extraction of one member; nothing of it outlives the pass.
#include <stdint.h>

#include "archive/member_list.h"
#include "util/text.h"

// Name bytes a member may have; longer names are refused, never cut into
// another name.
static const uint16_t kLongestMemberName = 256;
static const uint32_t kNameBufferSize = kLongestMemberName + 2;

struct PassState {
    WindowHandle dialog;
    MemberList list;
    char* nameBuffer;         // kNameBufferSize bytes
    Text name;                // the member name, cut at its first NUL
    uint32_t headerPosition;  // file offset of the member's local header
    bool ready;               // the last selected member passed its password step
};

// How the walk goes on after a member.
enum MemberOutcome {
    kNextMember,
    kEndWalk,         // the closing steps of the pass follow
    kEndPassAtOnce,   // no closing step
};

// Offset of the member's encryption header or data.
uint32_t MemberDataPosition(const PassState& pass);
