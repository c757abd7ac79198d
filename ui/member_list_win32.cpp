// The member list in the stub: the main dialog's sorted, multiple-selection
// list box, driven with list-box messages.
#include <windows.h>

#include "archive/member_list.h"
#include "archive/pass_state.h"

static LRESULT Send(MemberList list, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageA((HWND)list, message, wParam, lParam);
}

MemberList MemberListOf(WindowHandle dialog, int listId) { return GetDlgItem((HWND)dialog, listId); }

void ClearMemberList(MemberList list) { Send(list, LB_RESETCONTENT, 0, 0); }

void AddMemberName(MemberList list, const char* name) { Send(list, LB_ADDSTRING, 0, (LPARAM)name); }

// The list box sorts each item into place as it is added.
void EndMemberListing(MemberList) {}

int32_t FindMemberName(MemberList list, int32_t after, const char* name) {
    return (int32_t)Send(list, LB_FINDSTRINGEXACT, (WPARAM)after, (LPARAM)name);
}

// One item's text at a time; items are member names, at most
// kLongestMemberName bytes.
static char itemText[kNameBufferSize];

// Compares as the list box sorts and as LB_FINDSTRINGEXACT compares: the
// list box's locale, without regard to letter case, its texts converted
// with the ANSI code page.
int CompareWithMember(MemberList list, int32_t index, const char* name) {
    LRESULT length = Send(list, LB_GETTEXTLEN, index, 0);
    if (length < 0 || length >= (LRESULT)sizeof itemText) return kNotComparable;
    if (Send(list, LB_GETTEXT, index, (LPARAM)itemText) < 0) return kNotComparable;
    LCID locale = (LCID)Send(list, LB_GETLOCALE, 0, 0);
    int order = CompareStringA(locale, NORM_IGNORECASE | LOCALE_USE_CP_ACP, name, -1, itemText, -1);
    if (order == 0) return kNotComparable;
    return order - CSTR_EQUAL;
}

bool IsMemberSelected(MemberList list, int32_t index) { return Send(list, LB_GETSEL, index, 0) > 0; }

void SetMemberSelected(MemberList list, int32_t index, bool selected) {
    Send(list, LB_SETSEL, selected, index);
}

int32_t CountMembers(MemberList list) { return (int32_t)Send(list, LB_GETCOUNT, 0, 0); }

int32_t CountSelectedMembers(MemberList list) { return (int32_t)Send(list, LB_GETSELCOUNT, 0, 0); }
