#pragma once
// What one extraction pass knows about the member in hand. Shared by the
// walk and the extraction of one member; nothing of it outlives the pass.
#include <stdint.h>

#include "archive/member_list.h"
#include "archive/member_names.h"
#include "archive/plain_directories.h"
#include "util/text.h"

// The pass's one work block: the header's name and extra field as read,
// then room for converting the name.
static const uint32_t kLongestExtraField = 0xFFFF;
static const uint32_t kNameWorkSize = kLongestRawMemberName + kLongestExtraField + kNameWorkBytes;

struct PassState {
    WindowHandle dialog;
    MemberList list;
    MemberItems items;     // extraction only: each member's item
    char* nameWork;        // kNameWorkSize bytes
    Text name;             // the member's name in UTF-8, cut at its first NUL
    bool nameUsable;       // false: `name` is only a form to show (see DecodeMemberName)
    const uint8_t* extra;  // the member's extra field as read (in nameWork)
    uint32_t extraLength;
    bool sizesKnown;                    // no ZIP64 placeholder is left in Sfx.Header (TakeZip64Sizes)
    PlainDirectories plainDirectories;  // directories below the target found to be no links
    uint32_t ordinal;                   // the member's place in the walk, from 0
    uint32_t headerPosition;            // file offset of the member's local header
    bool ready;                         // the last selected member passed its password step
    // The member in hand once its password step is done:
    uint16_t method;      // how its data is compressed (for AES members, the real method)
    uint32_t dataLength;  // its compressed bytes, without encryption header or code
    bool crcChecked;      // false for AE-2 members, whose code stands for the CRC
};

// How the walk goes on after a member.
enum MemberOutcome {
    kNextMember,
    kEndWalk,        // the closing steps of the pass follow
    kEndPassAtOnce,  // no closing step
};

// Offset of the member's encryption header or data.
uint32_t MemberDataPosition(const PassState& pass);
