#include "archive/member_list.h"

#include "startup/sfx_globals.h"

// The item data: the member's ordinal below this bit, the mark in it.
static const uint32_t kPasswordDistrusted = 0x80000000u;

bool MapMemberItems(MemberList list, MemberItems& items) {
    int32_t count = CountMembers(list);
    items.count = count > 0 ? (uint32_t)count : 0;
    items.itemOf = (int32_t*)AllocateBlock(items.count * sizeof(int32_t));
    if (!items.itemOf) return false;
    for (uint32_t ordinal = 0; ordinal < items.count; ++ordinal) items.itemOf[ordinal] = -1;
    for (int32_t index = 0; index < count; ++index) {
        uint32_t ordinal = MemberItemData(list, index) & ~kPasswordDistrusted;
        if (ordinal < items.count) items.itemOf[ordinal] = index;
    }
    return true;
}

void ReleaseMemberItems(MemberItems& items) {
    ReleaseBlock(items.itemOf);
    items.itemOf = 0;
    items.count = 0;
}

bool IsMemberOrdinalSelected(MemberList list, const MemberItems& items, uint32_t ordinal) {
    Sfx.LastListIndex = ordinal < items.count ? items.itemOf[ordinal] : -1;
    return Sfx.LastListIndex >= 0 && IsMemberSelected(list, Sfx.LastListIndex);
}

// Index -1 would address every item of a list box at once.
void MarkMemberDone(MemberList list) {
    if (Sfx.LastListIndex >= 0) SetMemberSelected(list, Sfx.LastListIndex, false);
}

void DistrustPasswordFor(MemberList list) {
    if (Sfx.LastListIndex < 0) return;
    SetMemberItemData(list, Sfx.LastListIndex, MemberItemData(list, Sfx.LastListIndex) | kPasswordDistrusted);
}

bool IsPasswordDistrusted(MemberList list) {
    return Sfx.LastListIndex >= 0 && (MemberItemData(list, Sfx.LastListIndex) & kPasswordDistrusted) != 0;
}
