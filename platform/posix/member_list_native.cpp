// The member list natively: an in-memory list that gives the results of a
// sorted, multiple-selection list box.
#include <algorithm>

#include "archive/member_list.h"
#include "platform/posix/native_dialog.h"
#include "ui/control_ids.h"

static NativeMemberList& Items(MemberList list) { return *(NativeMemberList*)list; }

// Letter case folded as the system folds it in code page 949: only single
// ASCII letters; the trail byte of a double-byte character is never folded.
static int CompareIgnoringCase(const std::string& a, const std::string& b) {
    size_t i = 0;
    bool trail = false;
    for (; i < a.size() && i < b.size(); ++i) {
        unsigned char x = a[i], y = b[i];
        if (!trail) {
            if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
            if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
        }
        if (x != y) return x < y ? -1 : 1;
        trail = !trail && x >= 0x81;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

MemberList MemberListOf(WindowHandle dialog, int listId) {
    NativeDialog* native = (NativeDialog*)dialog;
    return listId == IDC_MEMBER_LIST_FIXED ? &native->fixedMemberList : &native->memberList;
}

void ClearMemberList(MemberList list) { Items(list).items.clear(); }

// A new item goes after the items that sort equal to it.
void AddMemberName(MemberList list, const char* name) {
    std::vector<NativeMemberItem>& items = Items(list).items;
    auto place = std::upper_bound(items.begin(), items.end(), std::string(name),
                                  [](const std::string& n, const NativeMemberItem& item) {
                                      return CompareIgnoringCase(n, item.name) < 0;
                                  });
    items.insert(place, NativeMemberItem{name, false});
}

int32_t FindMemberName(MemberList list, int32_t after, const char* name) {
    const std::vector<NativeMemberItem>& items = Items(list).items;
    int32_t count = (int32_t)items.size();
    if (count == 0) return -1;
    int32_t start = after < 0 || after >= count ? 0 : after + 1;
    for (int32_t step = 0; step < count; ++step) {
        int32_t index = (start + step) % count;
        if (CompareIgnoringCase(items[index].name, name) == 0) return index;
    }
    return -1;
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
