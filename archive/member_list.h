#pragma once
// The member list: the catalogue of the archive and, through its selection,
// the work list of an extraction. In the stub it is a sorted, multiple-
// selection list box; natively an in-memory list with the same results.
#include <stdint.h>

#include "platform/platform.h"

typedef void* MemberList;

// The list that is item `listId` of `dialog`.
MemberList MemberListOf(WindowHandle dialog, int listId);

void ClearMemberList(MemberList list);
void AddMemberName(MemberList list, const char* name);
// Called when a listing pass has added its last name, also when it ended
// early: from then on the items are in their sorted order.
void EndMemberListing(MemberList list);

// Index of the item equal to `name` without regard to letter case,
// searching from the item after `after` to the end and on from the top up
// to `after` itself; -1 searches the whole list from the top. -1 when no
// item matches.
int32_t FindMemberName(MemberList list, int32_t after, const char* name);

// Compares `name` with item `index` in the order the list sorts its items
// by, in which the items FindMemberName takes for equal sort as equal:
// -1 when the name sorts before the item, 0 when the two are equal, 1 when
// it sorts after; kNotComparable when the item cannot be read.
enum : int { kNotComparable = 2 };
int CompareWithMember(MemberList list, int32_t index, const char* name);

bool IsMemberSelected(MemberList list, int32_t index);
void SetMemberSelected(MemberList list, int32_t index, bool selected);
int32_t CountMembers(MemberList list);
int32_t CountSelectedMembers(MemberList list);

// The index FindMemberName(list, after, name) gives, in about log2(count)
// comparisons instead of one per item.
int32_t FindMemberNameFast(MemberList list, int32_t after, const char* name);

// Finds the member's item from Sfx.LastListIndex on, leaves its index (or
// -1) there and tells whether it is selected. Members whose names differ
// only in letter case thus meet successive items.
bool IsNameSelected(MemberList list, const char* name);

// Deselects the item of the member found last: the member is done.
void MarkMemberDone(MemberList list);
