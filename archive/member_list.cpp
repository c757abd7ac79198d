#include "archive/member_list.h"

#include "startup/sfx_globals.h"

bool IsNameSelected(MemberList list, const char* name) {
    Sfx.LastListIndex = FindMemberName(list, Sfx.LastListIndex, name);
    return Sfx.LastListIndex >= 0 && IsMemberSelected(list, Sfx.LastListIndex);
}

// Index -1 would address every item of a list box at once.
void MarkMemberDone(MemberList list) {
    if (Sfx.LastListIndex >= 0) SetMemberSelected(list, Sfx.LastListIndex, false);
}
