#include "archive/member_list.h"

#include "startup/sfx_globals.h"

// The list's own search looks at every item from the one after `after`,
// wrapping round, until one is equal to the name: one comparison per item,
// so a pass whose archive order is not the list's sorted order would make
// a number of comparisons that grows with the square of the members. The
// list is sorted, and items equal to a name sort as equal, so they form
// one run of neighbours. The search then meets the item after `after`
// first when it is in the run, and otherwise the run's first item, whether
// that lies ahead or is reached by wrapping round; a binary search finds
// that first item. A name the binary search does not find (or an item that
// cannot be read) is left to the list's own search, so the result is
// always the one it gives.
int32_t FindMemberNameFast(MemberList list, int32_t after, const char* name) {
    int32_t count = CountMembers(list);
    if (count <= 0 || name[0] == 0) return FindMemberName(list, after, name);
    int32_t start = after < 0 || after + 1 >= count ? 0 : after + 1;
    if (CompareWithMember(list, start, name) == 0) return start;
    int32_t low = 0, high = count;  // the first item that does not sort before the name
    while (low < high) {
        int32_t middle = low + (high - low) / 2;
        int order = CompareWithMember(list, middle, name);
        if (order == kNotComparable) return FindMemberName(list, after, name);
        if (order > 0) low = middle + 1;
        else high = middle;
    }
    if (low < count && CompareWithMember(list, low, name) == 0) return low;
    return FindMemberName(list, after, name);
}

bool IsNameSelected(MemberList list, const char* name) {
    Sfx.LastListIndex = FindMemberNameFast(list, Sfx.LastListIndex, name);
    return Sfx.LastListIndex >= 0 && IsMemberSelected(list, Sfx.LastListIndex);
}

// Index -1 would address every item of a list box at once.
void MarkMemberDone(MemberList list) {
    if (Sfx.LastListIndex >= 0) SetMemberSelected(list, Sfx.LastListIndex, false);
}
