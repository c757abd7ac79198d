// The member list natively: an in-memory list that gives the results of a
// sorted, multiple-selection list box.
#include <stdint.h>

#include <algorithm>
#include <string_view>

#include "platform/platform.h"
#include "ui/control_ids.h"
#include "ui/native/native_dialog.h"

// Letter case folded in ASCII letters only. The names are UTF-8, in which
// no byte of a longer character is an ASCII letter.
static int CompareIgnoringCase(std::string_view a, std::string_view b) {
    size_t i = 0;
    for (; i < a.size() && i < b.size(); ++i) {
        unsigned char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
        if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Sorts the names added since the last sort into place, keeping names
// that sort equal in the order they were added, each after those already
// there: where the list box puts a new item among equal ones. An order of
// indices is sorted (ties broken by index, so the sort is stable) and then
// applied in place, which takes less memory than a stable sort of the items.
static void SettleItems(NativeMemberList& list) {
    std::vector<NativeMemberItem>& items = list.items;
    if (list.sortedCount == items.size()) return;
    std::vector<uint32_t> order(items.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&items](uint32_t a, uint32_t b) {
        int byName = CompareIgnoringCase(items[a].name, items[b].name);
        return byName != 0 ? byName < 0 : a < b;
    });
    // Position i receives item order[i]: follow each cycle of the
    // permutation once, marking placed positions with their own index.
    for (uint32_t start = 0; start < order.size(); ++start) {
        if (order[start] == start) continue;
        NativeMemberItem held = std::move(items[start]);
        uint32_t at = start;
        while (order[at] != start) {
            uint32_t from = order[at];
            items[at] = std::move(items[from]);
            order[at] = at;
            at = from;
        }
        items[at] = std::move(held);
        order[at] = at;
    }
    list.sortedCount = items.size();
}

static NativeMemberList& Items(MemberList list) {
    NativeMemberList& native = *(NativeMemberList*)list;
    SettleItems(native);
    return native;
}

MemberList MemberListOf(WindowHandle dialog, int listId) {
    NativeDialog* native = (NativeDialog*)dialog;
    return listId == IDC_MEMBER_LIST_FIXED ? &native->fixedMemberList : &native->memberList;
}

void ClearMemberList(MemberList list) {
    NativeMemberList& native = *(NativeMemberList*)list;
    native.items.clear();
    native.sortedCount = 0;
}

// A new item belongs after the items that sort equal to it. Inserting each
// in place would move half the list each time when names come in another
// order than the sorted one; they are appended instead and sorted together
// at the end of the listing. A name that sorts last keeps the list sorted.
void AddMemberName(MemberList list, const char* name, uint32_t ordinal) {
    NativeMemberList& native = *(NativeMemberList*)list;
    bool keepsOrder = native.sortedCount == native.items.size() &&
                      (native.items.empty() || CompareIgnoringCase(name, native.items.back().name) >= 0);
    native.items.push_back(NativeMemberItem{name, false, ordinal});
    if (keepsOrder) native.sortedCount = native.items.size();
}

void EndMemberListing(MemberList list) { Items(list); }

uint32_t MemberItemData(MemberList list, int32_t index) {
    const std::vector<NativeMemberItem>& items = Items(list).items;
    return index >= 0 && index < (int32_t)items.size() ? items[index].ordinal : (uint32_t)-1;
}

void SetMemberItemData(MemberList list, int32_t index, uint32_t data) {
    std::vector<NativeMemberItem>& items = Items(list).items;
    if (index >= 0 && index < (int32_t)items.size()) items[index].ordinal = data;
}

bool IsMemberSelected(MemberList list, int32_t index) {
    const std::vector<NativeMemberItem>& items = Items(list).items;
    return index >= 0 && index < (int32_t)items.size() && items[index].selected;
}

// Index -1 sets every item, as LB_SETSEL does.
void SetMemberSelected(MemberList list, int32_t index, bool selected) {
    std::vector<NativeMemberItem>& items = Items(list).items;
    if (index == -1) {
        for (NativeMemberItem& item : items) item.selected = selected;
    } else if (index >= 0 && index < (int32_t)items.size()) {
        items[index].selected = selected;
    }
}

int32_t CountMembers(MemberList list) { return (int32_t)Items(list).items.size(); }

int32_t CountSelectedMembers(MemberList list) {
    const std::vector<NativeMemberItem>& items = Items(list).items;
    return (int32_t)std::count_if(items.begin(), items.end(),
                                  [](const NativeMemberItem& item) { return item.selected; });
}
