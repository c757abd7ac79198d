#pragma once
// What an extraction pass needs of the member list beyond the front end's
// operations (platform/platform.h): each member's item found by its
// ordinal, and the item of the member done deselected.
#include <stdint.h>

#include "platform/platform.h"

// Each member's item index, by ordinal, read once per extraction pass: the
// items do not move while a pass runs.
struct MemberItems {
    int32_t* itemOf;  // -1 for an ordinal without an item
    uint32_t count;
};

// Reads every item's ordinal; false when there is no memory for the table.
bool MapMemberItems(MemberList list, MemberItems& items);
void ReleaseMemberItems(MemberItems& items);

// Leaves the index of member `ordinal`'s item (or -1) in Sfx.LastListIndex
// and tells whether the item is selected.
bool IsMemberOrdinalSelected(MemberList list, const MemberItems& items, uint32_t ordinal);

// Deselects the item of the member found last: the member is done.
void MarkMemberDone(MemberList list);

// A member that failed its CRC check or its authentication code after the
// remembered password opened it keeps a mark on its item: the password may
// have passed its one-byte check by chance. A marked member asks for a
// password rather than trying the remembered one, which the other members
// keep trying first. Both act on the item of the member found last.
void DistrustPasswordFor(MemberList list);
bool IsPasswordDistrusted(MemberList list);
