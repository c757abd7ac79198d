#pragma once
// Natively, the main dialog is this plain record: its two member lists
// behave as the list boxes 301 and 302 do, and it keeps the progress texts
// a pass shows. The doromi tool and the tests hand its address to the core
// wherever the stub hands a window.
#include <stdint.h>

#include <string>
#include <vector>

struct NativeMemberItem {
    std::string name;
    bool selected;
    uint32_t ordinal;  // the item's data: its member's place in the walk
};

// Sorted without regard to letter case, as a sorted list box sorts. While
// a listing pass adds names, the items from `sortedCount` on are the names
// added since the list was last sorted, in the order they came; the pass
// sorts them into place when it ends (EndMemberListing), and so does any
// other operation on the list before that.
struct NativeMemberList {
    std::vector<NativeMemberItem> items;
    size_t sortedCount = 0;
};

struct NativeDialog {
    NativeMemberList memberList;       // item 301
    NativeMemberList fixedMemberList;  // item 302
    std::vector<std::string> progress;
};
