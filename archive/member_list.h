#pragma once
// The member list: the catalogue of the archive and, through its selection,
// the work list of an extraction. In the stub it is a sorted, multiple-
// selection list box; natively an in-memory list with the same results.
// Each item carries the member's ordinal (its place in the walk) as its
// data, so that every member finds its own item, also among names that
// are equal or differ only in letter case.
#include <stdint.h>

#include "platform/platform.h"

typedef void* MemberList;

// ---- Provided by each front end ----------------------------------------

// The list that is item `listId` of `dialog`.
MemberList MemberListOf(WindowHandle dialog, int listId);

void ClearMemberList(MemberList list);
// Adds the item `name` for the member `ordinal` (LB_ADDSTRING, then
// LB_SETITEMDATA on the item it gave).
void AddMemberName(MemberList list, const char* name, uint32_t ordinal);
// Called when a listing pass has added its last name, also when it ended
// early: from then on the items are in their sorted order.
void EndMemberListing(MemberList list);

// The ordinal of item `index` (LB_GETITEMDATA).
uint32_t MemberOrdinal(MemberList list, int32_t index);
bool IsMemberSelected(MemberList list, int32_t index);
void SetMemberSelected(MemberList list, int32_t index, bool selected);
int32_t CountMembers(MemberList list);
int32_t CountSelectedMembers(MemberList list);

// ---- Provided by the core ------------------------------------------------

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
