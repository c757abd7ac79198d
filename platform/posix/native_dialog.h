#pragma once
// Natively, the main dialog is this plain record: its two member lists
// behave as the list boxes 301 and 302 do, and it keeps the progress texts
// a pass shows. The doromi tool and the tests hand its address to the core
// wherever the stub hands a window.
#include <string>
#include <vector>

struct NativeMemberItem {
    std::string name;
    bool selected;
};

// Sorted without regard to letter case, as a sorted list box sorts.
struct NativeMemberList {
    std::vector<NativeMemberItem> items;
};

struct NativeDialog {
    NativeMemberList memberList;       // item 301
    NativeMemberList fixedMemberList;  // item 302
    std::vector<std::string> progress;
};
